// The host file system as the controller and the platform reach it: what a
// path is, folders listed, made and removed, links read and paths made
// canonical. Every call goes through the system call table
// (common/syscalls.h), so that a fault test reaches these calls as it
// reaches reads and writes; nothing here throws.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

namespace orva::files {

// What a path names. Unknown: it could not be looked at (errno says why).
enum class Kind { Missing, Regular, Directory, Symlink, Fifo, CharDevice, BlockDevice, Socket, Unknown };

// What `path` names: with `follow`, what a final symbolic link leads to
// (a link that leads nowhere is Missing); without, the link itself.
Kind kind(const std::filesystem::path& path, bool follow = true);

// Whether something (even a symbolic link that leads nowhere) has the name.
inline bool exists(const std::filesystem::path& path) { return kind(path, false) != Kind::Missing; }
inline bool is_directory(const std::filesystem::path& path) { return kind(path) == Kind::Directory; }
inline bool is_regular(const std::filesystem::path& path, bool follow = true) {
    return kind(path, follow) == Kind::Regular;
}

// "is a directory", "is a FIFO", ... for a kind that is not a regular file.
const char* kind_text(Kind kind);

// The names in a folder ("." and ".." left out), in the order the folder
// gives them. false with errno set when it cannot be read (`names` then
// holds what was read until then).
bool list(const std::filesystem::path& folder, std::vector<std::string>* names);

// Makes a folder and any missing folders above it. false with errno set.
bool make_folders(const std::filesystem::path& folder);

// Removes a file, a symbolic link or an empty folder; a missing name is no
// failure. false with errno set.
bool remove(const std::filesystem::path& path);

// Removes a folder with everything in it (symbolic links are removed, never
// followed); a missing name is no failure. false with errno set, having
// removed what it could.
bool remove_tree(const std::filesystem::path& path);

// Reads a whole file (a pipe too, to its end), handing each piece to `sink`
// as it is read. false with errno set when it cannot be opened or read
// (ENOENT when it is missing, EISDIR for a folder); the pieces handed until
// then are all there was to read before the failure.
bool read_pieces(const std::filesystem::path& file, const std::function<void(std::string_view)>& sink);

// Adds permission bits to a file's mode. false with errno set.
bool add_mode(const std::filesystem::path& path, mode_t bits);

// Where a symbolic link leads (as written in it); nullopt with errno set.
std::optional<std::filesystem::path> read_link(const std::filesystem::path& link);

// The path with every symbolic link, "." and ".." resolved, for the part
// that exists; the part below it that does not is appended as given, made
// lexically normal (as std::filesystem::weakly_canonical does). A relative
// path is taken from the current folder.
std::filesystem::path canonical(const std::filesystem::path& path);

}  // namespace orva::files
