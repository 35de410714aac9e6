// Controller paths ("\Storage Card\nk.bin") resolved inside the controller's
// file system folder on the host.
#pragma once

#include <filesystem>
#include <string_view>

#include "simulator/controller.h"

namespace orva::sim {

// Resolves `controller_path` (backslash or slash separated, with or without a
// leading separator) below `fs_root`, matching each existing component
// case-insensitively (ASCII; an exact match wins). Outside when ".." or a
// symbolic link would leave fs_root; ParentMissing when a folder on the way
// does not exist or is not a folder.
ResolvedPath resolve_controller_path(const std::filesystem::path& fs_root, std::string_view controller_path);

}  // namespace orva::sim
