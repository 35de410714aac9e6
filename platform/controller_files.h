// The controller's own file system (fs/ of the controller) as the platform's
// file calls and every frontend see it: controller paths such as
// "\Storage Card\nk.bin" resolved case-insensitively inside fs/ and never
// above it (neither ".." nor a symbolic link leads out), folders listed with
// a Windows wildcard pattern, the Win32 error of a path that leads nowhere,
// and new files placed inside fs/. Nothing else reaches the host files of
// fs/.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wince.h"

namespace orva::platform {

// Where a controller path leads.
struct ControllerFile {
    enum class Status {
        Found,          // the file or folder exists
        Missing,        // its folder exists, the last name does not
        ParentMissing,  // a folder on the way is missing or is a file
        Outside,        // ".." or a symbolic link would leave fs/
        NoController,   // no controller is attached
    };
    Status status = Status::NoController;
    bool folder = false;         // Found, and a folder
    std::u16string path;         // Found and Missing: "\Storage Card\nk.bin", each name as stored ("\" is fs/)
    std::filesystem::path host;  // Found and Missing: where it lies on the host
};

// Resolves a controller path (backslash or slash separated, with or without
// a leading separator, "." and ".." allowed as long as they stay inside).
// Names match case-insensitively (ASCII; an exact match wins).
ControllerFile resolve_controller_path(std::u16string_view path);

// The Win32 error a file call gives for a path: ERROR_SUCCESS (Found),
// ERROR_FILE_NOT_FOUND (Missing), ERROR_PATH_NOT_FOUND (ParentMissing, and no
// controller) or ERROR_ACCESS_DENIED (Outside).
DWORD path_error(const ControllerFile& file);

// Whether `name` matches a Windows wildcard pattern: * any run of
// characters, ? exactly one, ASCII letters in either case. "*.*" matches
// every name, with or without a dot, as on Windows.
bool wildcard_match(std::u16string_view pattern, std::u16string_view name);

struct FolderEntry {
    std::u16string name;
    bool folder = false;
    std::filesystem::path host;
};

// Who lists a folder, and so which entries the pattern filters.
enum class ListFor {
    Search,  // FindFirstFileW: files and folders alike match the one pattern
    Dialog,  // an open-file dialog: every folder is listed; the pattern is a
             // filter's, several patterns separated by ";"
};

struct FolderListing {
    DWORD error = ERROR_SUCCESS;
    std::u16string path;               // the folder, as resolve_controller_path gives it
    std::vector<FolderEntry> entries;  // sorted by name (by code unit)
};

// The entries of the folder at controller path `folder` that match
// `pattern`. Entries no controller path reaches are never listed: names that
// hold a backslash and symbolic links that lead out of fs/. The error is the
// folder's path_error, ERROR_PATH_NOT_FOUND when it is a file or missing, or
// the host's error when it cannot be read (entries read until then are kept).
FolderListing list_controller_folder(std::u16string_view folder, std::u16string_view pattern, ListFor purpose);

// Writes `bytes` as the file at controller path `path`, whose folder must
// exist, replacing a file of that name whole: the controller writes a new
// file in the same folder and renames it over the name, so that no reader
// sees half of it and no link is followed. ERROR_SUCCESS, the path's error (a
// missing file is no error here), ERROR_ACCESS_DENIED for a folder, or
// ERROR_WRITE_FAULT when the write fails.
DWORD place_controller_file(std::u16string_view path, std::string_view bytes);

}  // namespace orva::platform
