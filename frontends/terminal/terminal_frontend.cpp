// The terminal frontend (not yet drawn).
#include "frontends/frontends.h"

namespace orva {

std::unique_ptr<platform::Frontend> make_terminal_frontend(std::string* error) {
    *error = "the terminal frontend is not available yet";
    return nullptr;
}

}  // namespace orva
