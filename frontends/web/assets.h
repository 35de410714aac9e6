// The page's files, embedded in the program at build time from
// frontends/web/assets (embed_assets.cmake).
#pragma once

#include <string_view>

namespace orva::web {

struct Asset {
    std::string_view name;  // "app.js"
    std::string_view type;  // "text/javascript; charset=utf-8"
    std::string_view body;
};

// The file called `name`, or nullptr.
const Asset* find_asset(std::string_view name);

}  // namespace orva::web
