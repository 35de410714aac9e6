// Image bytes for the tests that write OS images: a pattern that differs
// from segment to segment and holds both 0x00 and 0xFF, and a host file
// written with it.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace orva::test {

inline std::string pattern(size_t size, uint32_t seed = 1) {
    std::string out(size, '\0');
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = char(x >> 23);
    }
    return out;
}

// Writes `bytes` to `file`, making its folders; a failure fails the test.
inline void write_host_file(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out.good()) ADD_FAILURE() << "cannot write " << file;
}

}  // namespace orva::test
