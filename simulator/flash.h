// The image area of NOR flash, kept in a file and the erased-segment map
// beside it (flash_map.h): erasing a segment only marks it there, and
// programming an erased segment writes the whole segment over the old blocks
// in place, as a plain copy would.
//
// A new flash file starts with a 4096-byte header ("ORVAFLSH", then
// little-endian numbers: 32 bits each of version 1, the header's length
// 4096, the storage 0 for plain bytes and the stretch size; 64 bits each of
// an identifier made when the file was made, which its map repeats, and a
// checksum of the 32 bytes before it), and the flash bytes as they are after
// it. A file without the header is one made before it: its flash bytes start
// at offset 0, and one made before the map as well holds their complements
// (an erased byte is a zero, so that a sparse file is erased throughout) and
// keeps them. So a new flash file whose map is gone or damaged is reported,
// never read as an older one.
//
// Each erase and each program is in the files when it returns: a process
// killed at any point leaves a flash that reads as if the operations that
// returned had happened and the one under way had or had not (a program over
// bytes that were not erased may be cut short, as on a real flash). sync()
// writes both files to the disk.
#pragma once

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "simulator/flash_map.h"

namespace orva::sim {

class NorFlash {
public:
    ~NorFlash();
    NorFlash(const NorFlash&) = delete;
    NorFlash& operator=(const NorFlash&) = delete;

    // Opens the flash file for an image area of `area_size` bytes in
    // segments of `segment_size` bytes, with its map. The image area starts
    // at segment 23578 for 128 KiB segments and at 0 for 256 KiB; any other
    // segment size (or a non-positive area) has no image segments. A file
    // holding less than the area is padded with erased bytes, and notice()
    // says so. nullptr and a message naming the file when the file or its map
    // is missing or cannot be used (a directory, a FIFO, unreadable, a
    // damaged header, a map that is not its own); opening never blocks and
    // never makes a file.
    static std::unique_ptr<NorFlash> open(const std::filesystem::path& file, uint32_t segment_size, int32_t area_size,
                                          std::string* error);
    // Makes a new flash file, erased throughout, with its map, in place of
    // whatever is there, and opens it. The new map and the new file are each
    // written whole and renamed into place: a process killed in between
    // leaves a flash that open() reports as damaged, never one read wrongly.
    static std::unique_ptr<NorFlash> create(const std::filesystem::path& file, uint32_t segment_size, int32_t area_size,
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
    // `count` bytes of the image area from `offset` (0 is the first byte of
    // the first image segment); false when they reach past the area or on error.
    bool read_area(uint64_t offset, uint8_t* out, size_t count);
    // How many bytes of the segment are not 0xFF (0 for an erased segment);
    // -1 when refused or on error.
    int64_t programmed_bytes(int64_t segment);
    // Segments holding a byte other than 0xFF, in order, with how many such
    // bytes each holds. Erased segments and holes of the file are skipped unread.
    std::vector<std::pair<int64_t, int64_t>> programmed_segments();
    // Writes the flash file and then its map to the disk.
    bool sync();

    const std::string& last_error() const { return m_error; }
    // What opening found that the operator should hear of (a file shorter
    // than the image area, with both sizes); empty when nothing.
    const std::string& notice() const { return m_notice; }

private:
    NorFlash() = default;
    bool io_fail(const char* what);
    int64_t offset_of(int64_t segment) const { return (segment - m_first) * m_segment_size; }
    // Reads the header, if the file has one. false with m_error when it has
    // one that is damaged or of another version.
    bool read_header(FlashFormat* format);
    // Makes the flash `want` bytes long (from `size`), the added bytes erased.
    bool pad(int64_t size, int64_t want);
    // The stored bytes of [off, off + n) as the map shows them: erased
    // bytes where marked erased, the file elsewhere.
    bool load_stored(int64_t off, uint8_t* out, size_t n);

    std::string m_path;
    int m_fd = -1;
    int64_t m_data = 0;             // where the flash bytes start in the file
    bool m_read_only = false;       // the file could only be opened for reading
    int m_read_only_error = EROFS;  // and why not for writing
    uint32_t m_segment_size = 0;
    int64_t m_first = 0;
    int64_t m_count = 0;
    FlashMap m_map;
    uint8_t m_erased_byte = 0;   // how the file stores 0xFF
    std::vector<uint8_t> m_buf;  // one segment of stored bytes, reused
    std::string m_error;
    std::string m_notice;
};

}  // namespace orva::sim
