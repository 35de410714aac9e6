// The board's controller paths: a root folder on the host and named
// controller folders ("Storage Card", "Windows\www") that stand for other
// host folders. Each folder is resolved by the simulator's resolver
// (case-insensitive, nothing above the folder reachable, links included).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "controller/controller.h"

namespace orva::board {

class FileMap {
public:
    FileMap(std::filesystem::path root, std::vector<std::pair<std::string, std::filesystem::path>> mounts);

    const std::filesystem::path& root() const { return m_root; }

    // Where a controller path lands: in the folder of the longest mount whose
    // name its first components match (case-insensitively), else in the root.
    ctl::ResolvedPath resolve(std::string_view controller_path) const;
    // The controller path of a host path in one of the folders (see
    // Controller::controller_path_of); the mount whose host folder holds it
    // most closely wins.
    std::optional<std::string> controller_path_of(const std::filesystem::path& host) const;
    // Writes a file at a controller path, never outside its folder.
    bool write_file(std::string_view controller_path, const std::string& text, std::string* error) const;

    // Makes a folder in the root for each mount that has none, so that the
    // mount is listed where it stands, and spells each mount's controller
    // path as the root's folders are spelled. Best effort: a root that
    // cannot be written still reaches its mounts.
    void make_mount_points();

private:
    struct Mount {
        std::vector<std::string> parts;  // the controller folder's components
        std::string spelling;            // "\Storage Card"
        std::filesystem::path host;
    };
    // The mount a path's components fall in and how many of them it takes.
    const Mount* mount_of(const std::vector<std::string>& parts) const;

    std::filesystem::path m_root;
    std::vector<Mount> m_mounts;
};

// The components of a controller path ('\' or '/' separated), "." dropped
// and ".." taken back; nullopt when ".." would rise above the root.
std::optional<std::vector<std::string>> path_parts(std::string_view controller_path);

}  // namespace orva::board
