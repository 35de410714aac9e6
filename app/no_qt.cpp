// Stands in for the Qt frontend in a build without Qt.
#include "frontends/frontends.h"

namespace orva {

std::unique_ptr<platform::Frontend> make_qt_frontend(int&, char**, std::string* error) {
    *error = "this build has no Qt frontend: use --frontend terminal or --frontend script";
    return nullptr;
}

}  // namespace orva
