// Reading a whole small file, and replacing one whole, for the controller's
// description files, its factory registry and its file system.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace orva::sim {

// Writes `text` to `file` through a temporary file renamed over it, synced.
bool write_file_atomically(const std::filesystem::path& file, const std::string& text, std::string* error);

// The most read_whole_file reads unless told otherwise.
inline constexpr size_t kMaxFileSize = size_t(64) << 20;

// Reads a whole file of at most `limit` bytes. false with "FILE: reason" on
// failure; a directory, a device or a socket is refused without reading, and
// so is anything longer than the limit (reading stops there).
bool read_whole_file(const std::filesystem::path& file, std::string& out, std::string* error,
                     size_t limit = kMaxFileSize);

}  // namespace orva::sim
