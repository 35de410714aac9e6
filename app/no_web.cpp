// Stands in for the web frontend in a build without it.
#include "frontends/frontends.h"

namespace orva {

std::unique_ptr<platform::Frontend> make_web_frontend(const WebFrontendOptions&, std::string* error) {
    *error = "this build has no web frontend: use --frontend terminal or --frontend script";
    return nullptr;
}

std::vector<std::string> remove_leftover_uploads(const std::filesystem::path&) { return {}; }

}  // namespace orva
