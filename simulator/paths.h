// Controller paths ("\Storage Card\nk.bin") resolved inside the controller's
// file system folder on the host.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "simulator/controller.h"

namespace orva::sim {

// Resolves `controller_path` (backslash or slash separated, with or without a
// leading separator) below `fs_root`, matching each existing component
// case-insensitively (ASCII; an exact match wins). Outside when ".." or a
// symbolic link would leave fs_root; ParentMissing when a folder on the way
// does not exist or is not a folder.
ResolvedPath resolve_controller_path(const std::filesystem::path& fs_root, std::string_view controller_path);

// Writes `text` to the file at `controller_path`, resolved as above: never
// outside fs_root, symbolic links included. The text goes to a new file in
// the same folder, synced and renamed over the old one, so that a link in the
// file's place is replaced and never followed, and a folder swapped for a
// link on the way is noticed. false and a message naming the path when the
// path leads out of fs_root, its folder is missing, it names a folder, or
// the write fails.
// `executable` makes the file 0755 instead of 0644.
bool write_controller_file(const std::filesystem::path& fs_root, std::string_view controller_path,
                           const std::string& text, std::string* error, bool executable = false);

}  // namespace orva::sim
