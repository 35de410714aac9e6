// The image area of NOR flash, kept in a sparse file. The file holds the
// complement of every flash byte, so an erased byte (0xFF) is a zero in the
// file and erasing a segment is punching a hole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orva::sim {

class NorFlash {
public:
    ~NorFlash();
    NorFlash(const NorFlash&) = delete;
    NorFlash& operator=(const NorFlash&) = delete;

    // Opens (creating when missing) the flash file for an image area of
    // `area_size` bytes in segments of `segment_size` bytes. The image area
    // starts at segment 23578 for 128 KiB segments and at 0 for 256 KiB; any
    // other segment size (or a non-positive area) has no image segments.
    static std::unique_ptr<NorFlash> open(const std::filesystem::path& file, uint32_t segment_size, int32_t area_size,
                                          std::string* error);

    // Whether `segment` is an image segment.
    bool valid_segment(int64_t segment) const;
    int64_t first_segment() const { return m_first; }
    int64_t segment_count() const { return m_count; }
    uint32_t segment_size() const { return m_segment_size; }

    // Sets every byte of the segment to 0xFF. false when refused or on an I/O error.
    bool erase(int64_t segment);
    // Programs bytes at `offset`: each flash bit can only go from 1 to 0.
    // Reads back and returns false when the flash does not now hold `data`
    // (a 1 written over a 0), and when refused or on an I/O error.
    bool program(int64_t segment, uint32_t offset, const uint8_t* data, uint32_t count);
    // The flash contents of a whole segment; false when refused or on error.
    bool read(int64_t segment, std::vector<uint8_t>& out);
    // How many bytes of the segment are not 0xFF (0 for an erased segment);
    // -1 when refused or on error.
    int64_t programmed_bytes(int64_t segment);
    // Segments holding a byte other than 0xFF, in order, with how many such
    // bytes each holds. Erased stretches of the file are skipped unread.
    std::vector<std::pair<int64_t, int64_t>> programmed_segments();
    // Writes everything to the disk.
    bool sync();

    const std::string& last_error() const { return m_error; }

private:
    NorFlash() = default;
    bool io_fail(const char* what);
    // Whether [off, off+len) of the file is a hole (erased throughout).
    bool is_hole(int64_t off, int64_t len) const;

    std::string m_path;
    int m_fd = -1;
    bool m_read_only = false;  // the file could only be opened for reading
    uint32_t m_segment_size = 0;
    int64_t m_first = 0;
    int64_t m_count = 0;
    std::string m_error;
};

}  // namespace orva::sim
