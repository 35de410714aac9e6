// The erased-segment map: loading, making and marking it.
#include "simulator/flash_map.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "simulator/flash_io.h"

namespace orva::sim {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'A', 'F', 'M', 'A', 'P'};
constexpr uint32_t kVersion = 2;
constexpr int64_t kHeader = 64;
constexpr int64_t kHeaderV1 = 32;
constexpr size_t kSummed = 32;  // the header's bytes that its checksum covers

// What to do about a map that does not fit its flash file.
constexpr const char* kRemedy = "orva-controller flash reset makes a new, erased flash";

}  // namespace

uint64_t header_checksum(const uint8_t* bytes, size_t n) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 0x100000001b3ULL;
    return h;
}

uint64_t get_le(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

void put_le(uint8_t* p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

FlashMap::~FlashMap() { flash_io::close_fd(m_fd); }

std::filesystem::path FlashMap::file_for(const std::filesystem::path& flash_file) {
    return flash_file.string() + ".map";
}

bool FlashMap::fail(const std::string& what, std::string* error) const {
    if (error) *error = m_file.string() + ": " + what;
    return false;
}

bool FlashMap::open(const std::filesystem::path& file, int64_t stretches, const FlashFormat& flash, bool read_only,
                    std::string* error) {
    m_file = file;
    m_read_only = read_only;
    m_complemented = true;
    m_id = 0;
    m_header = kHeader;
    m_erased.assign(static_cast<size_t>(stretches > 0 ? stretches : 0), 0);
    std::string why;
    flash_io::OpenResult o = flash_io::open_regular(file, &why);
    // Only a flash file from before the header may lack its map.
    if (o.fd < 0 && errno == ENOENT && !flash.headed) return true;
    if (o.fd < 0 && errno == ENOENT)
        return fail(std::string("missing: the flash file cannot be read without it (") + kRemedy + ")", error);
    if (o.fd < 0) return fail("cannot open the erased-segment map: " + why, error);
    m_fd = o.fd;
    m_read_only = m_read_only || o.read_only;
    uint8_t header[kHeader] = {};
    const int64_t size = flash_io::file_size(m_fd);
    if (size < 0 || !flash_io::pread_all(m_fd, header, sizeof header, 0))
        return fail(std::string("cannot read the erased-segment map: ") + std::strerror(errno), error);
    const uint64_t version = get_le(header + 8, 4), storage = get_le(header + 16, 4);
    if (size < kHeaderV1 || std::memcmp(header, kMagic, sizeof kMagic) != 0 || (version != 1 && version != 2) ||
        get_le(header + 12, 4) != static_cast<uint64_t>(kStretch) || storage > 1)
        return fail("not an erased-segment map of this version", error);
    if (version == 1) {
        if (flash.headed)
            return fail(std::string("a map of an older version, not of this flash file (") + kRemedy + ")", error);
        m_header = kHeaderV1;
    } else {
        if (size < kHeader || get_le(header + kSummed, 8) != header_checksum(header, kSummed))
            return fail(std::string("its header is damaged (") + kRemedy + ")", error);
        m_id = get_le(header + 24, 8);
        if (m_id != flash.id)
            return fail(std::string(flash.headed ? "the map of another flash file"
                                                 : "the map of a flash file with a header, which this one has lost") +
                            " (" + kRemedy + ")",
                        error);
        if (flash.headed && (storage == 1) != flash.complemented)
            return fail(std::string("its storage is not its flash file's (") + kRemedy + ")", error);
    }
    m_complemented = storage == 1;
    const int64_t stored = std::min<int64_t>(size - m_header, static_cast<int64_t>(m_erased.size()));
    if (stored > 0 && !flash_io::pread_all(m_fd, m_erased.data(), static_cast<size_t>(stored), m_header))
        return fail(std::string("cannot read the erased-segment map: ") + std::strerror(errno), error);
    for (uint8_t& e : m_erased) e = e != 0;
    return true;
}

bool FlashMap::create_erased(const std::filesystem::path& file, int64_t stretches, uint64_t id, std::string* error) {
    flash_io::close_fd(m_fd);
    m_fd = -1;
    m_file = file;
    m_read_only = false;
    m_complemented = false;
    m_id = id;
    return write_whole(std::vector<uint8_t>(static_cast<size_t>(stretches > 0 ? stretches : 0), 1), error);
}

bool FlashMap::write_whole(std::vector<uint8_t> entries, std::string* error) {
    uint8_t header[kHeader] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    put_le(header + 8, kVersion, 4);
    put_le(header + 12, static_cast<uint64_t>(kStretch), 4);
    put_le(header + 16, m_complemented ? 1 : 0, 4);
    put_le(header + 24, m_id, 8);
    put_le(header + kSummed, header_checksum(header, kSummed), 8);
    std::string bytes(reinterpret_cast<const char*>(header), sizeof header);
    bytes.append(entries.begin(), entries.end());
    if (!flash_io::replace_file(m_file, bytes))
        return fail(std::string("cannot write the erased-segment map: ") + std::strerror(errno), error);
    flash_io::close_fd(m_fd);
    std::string why;
    m_fd = flash_io::open_regular(m_file, &why).fd;
    if (m_fd < 0) return fail("cannot open the erased-segment map: " + why, error);
    m_erased = std::move(entries);
    m_header = kHeader;
    return true;
}

bool FlashMap::all_erased(int64_t first, int64_t count) const {
    for (int64_t s = first; s < first + count; ++s)
        if (!erased(s)) return false;
    return true;
}

bool FlashMap::mark(int64_t first, int64_t count, bool erased, std::string* error) {
    if (first < 0 || count < 0 || first + count > static_cast<int64_t>(m_erased.size()))
        return fail("stretches out of the map", error);
    if (m_read_only) return fail(std::string("cannot mark the erased-segment map: ") + std::strerror(EROFS), error);
    if (m_fd < 0) {
        // The first mark on a flash file from before the map: the map is made
        // whole, as it is after this mark.
        std::vector<uint8_t> entries = m_erased;
        std::fill(entries.begin() + first, entries.begin() + first + count, erased ? 1 : 0);
        return write_whole(std::move(entries), error);
    }
    const std::vector<uint8_t> entries(static_cast<size_t>(count), erased ? 1 : 0);
    if (!flash_io::pwrite_all(m_fd, entries.data(), entries.size(), m_header + first))
        return fail(std::string("cannot mark the erased-segment map: ") + std::strerror(errno), error);
    std::fill(m_erased.begin() + first, m_erased.begin() + first + count, erased ? 1 : 0);
    return true;
}

bool FlashMap::sync(std::string* error) {
    if (m_fd < 0 || flash_io::sync_data(m_fd)) return true;
    return fail(std::string("cannot sync the erased-segment map: ") + std::strerror(errno), error);
}

}  // namespace orva::sim
