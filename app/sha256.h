// SHA-256 of a file, for checking an image before it is written.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace orva::app {

// The SHA-256 of the whole file as 64 lower-case hexadecimal digits; nullopt
// and the reason (strerror text) when the file cannot be read.
std::optional<std::string> file_sha256(const std::filesystem::path& file, std::string* error);

}  // namespace orva::app
