// What --check answers to a registry value's removal.
#include "app/check_controller.h"

namespace orva::app {

ctl::RegResult CheckController::reg_delete_value(std::string_view key, std::string_view name) {
    ctl::RegValue value;
    return m_real.reg_get(key, name, &value);
}

}  // namespace orva::app
