// The erased-segment map kept beside a flash file ("flash.img.map"): which
// 128 KiB stretches of the flash read as erased whatever the flash file holds
// there, and how the flash file stores its bytes. Erasing marks a stretch
// here instead of touching the flash file, so that the next program writes
// over the old blocks in place.
//
// The map file: a 64-byte header ("ORVAFMAP", then little-endian numbers:
// 32 bits each of version 2, the stretch size, the storage (0 plain bytes, 1
// complemented bytes) and a zero; 64 bits each of the identifier of its
// flash file (0: a flash file without a header, made before the header) and
// a checksum of the 32 bytes before it; the rest zeros), then one byte per
// stretch from the start of the flash: 1 erased, 0 (or no byte at all) what
// the flash file holds. A map of version 1 has a 32-byte header without
// identifier and checksum; it is read, and replaced by version 2 when the
// map is next written whole.
//
// A flash file with a header (flash.h) needs its map, of version 2, with its
// identifier and its storage: anything else is damage, reported as such. A
// flash file without a header is one from before it: without a map it is
// one from before the map (complemented bytes, no stretch marked), which is
// how it opens unchanged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/device_library.h"

namespace orva::sim {

// 64-bit FNV-1a of a header's bytes: any one byte changed changes it.
uint64_t header_checksum(const uint8_t* bytes, size_t n);
// Little-endian numbers in a header.
uint64_t get_le(const uint8_t* p, int bytes);
void put_le(uint8_t* p, uint64_t v, int bytes);

// What the flash file says of itself, which its map must match.
struct FlashFormat {
    bool headed = false;        // the file starts with a header
    uint64_t id = 0;            // the header's identifier (0 without one)
    bool complemented = false;  // the header's storage (without one: the map's)
};

class FlashMap {
public:
    // The smaller segment size: every segment is whole stretches.
    static constexpr int64_t kStretch = FLASH_SEGMENT_SIZE_128K;

    FlashMap() = default;
    ~FlashMap();
    FlashMap(const FlashMap&) = delete;
    FlashMap& operator=(const FlashMap&) = delete;

    // The map file of a flash file.
    static std::filesystem::path file_for(const std::filesystem::path& flash_file);

    // Loads the map of `stretches` stretches of the flash file `flash` from
    // `file`. For a flash file without a header a missing map has no entries
    // and complemented storage; it is made by the first mark (never when
    // `read_only`). false with a message naming the file when it cannot be
    // read, is not a map, is damaged or is not the map of `flash` (a flash
    // file with a header whose map is missing included).
    bool open(const std::filesystem::path& file, int64_t stretches, const FlashFormat& flash, bool read_only,
              std::string* error);
    // Replaces the map with one for the new flash file `id` of plain bytes,
    // in which every stretch is erased.
    bool create_erased(const std::filesystem::path& file, int64_t stretches, uint64_t id, std::string* error);

    // Whether the flash file stores the complement of each flash byte.
    bool complemented() const { return m_complemented; }
    int64_t stretches() const { return static_cast<int64_t>(m_erased.size()); }
    bool erased(int64_t stretch) const {
        return stretch >= 0 && stretch < stretches() && m_erased[static_cast<size_t>(stretch)];
    }
    // Whether every stretch of [first, first + count) is erased.
    bool all_erased(int64_t first, int64_t count) const;
    // Marks [first, first + count) erased or not. The map file holds the marks
    // when this returns (not yet synced): a process killed afterwards leaves
    // them for the next one. They go in one write, which for the two marks
    // of a 256 KiB segment never crosses a page of the file (the header's
    // length is even, such a segment starts at an even stretch): a process
    // killed during it leaves both or neither.
    bool mark(int64_t first, int64_t count, bool erased, std::string* error);
    // Writes the map to the disk.
    bool sync(std::string* error);

private:
    bool fail(const std::string& what, std::string* error) const;
    // Replaces the map file with a whole new one holding `entries`.
    bool write_whole(std::vector<uint8_t> entries, std::string* error);

    std::filesystem::path m_file;
    int m_fd = -1;
    bool m_read_only = false;
    bool m_complemented = true;
    uint64_t m_id = 0;
    int64_t m_header = 0;           // where the entries start in the file
    std::vector<uint8_t> m_erased;  // one entry per stretch of the image area
};

}  // namespace orva::sim
