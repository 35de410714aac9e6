// The Qt frontend (not yet drawn).
#include "frontends/frontends.h"

namespace orva {

std::unique_ptr<platform::Frontend> make_qt_frontend(int&, char**, std::string* error) {
    *error = "the Qt frontend is not available yet";
    return nullptr;
}

}  // namespace orva
