// The erased-segment map: loading, making and marking it.
#include "simulator/flash_map.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "simulator/flash_io.h"

namespace orva::sim {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'A', 'F', 'M', 'A', 'P'};
constexpr uint32_t kVersion = 1;
constexpr int64_t kHeader = 32;

void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

FlashMap::~FlashMap() { flash_io::close_fd(m_fd); }

std::filesystem::path FlashMap::file_for(const std::filesystem::path& flash_file) {
    return flash_file.string() + ".map";
}

bool FlashMap::fail(const std::string& what, std::string* error) const {
    if (error) *error = m_file.string() + ": " + what;
    return false;
}

bool FlashMap::open(const std::filesystem::path& file, int64_t stretches, bool read_only, std::string* error) {
    m_file = file;
    m_read_only = read_only;
    m_complemented = true;
    m_erased.assign(static_cast<size_t>(stretches > 0 ? stretches : 0), 0);
    std::string why;
    flash_io::OpenResult o = flash_io::open_regular(file, flash_io::OpenMode::ReadWrite, &why);
    if (o.fd < 0 && errno == ENOENT) return true;
    if (o.fd < 0) return fail("cannot open the erased-segment map: " + why, error);
    m_fd = o.fd;
    m_read_only = m_read_only || o.read_only;
    uint8_t header[kHeader];
    const int64_t size = flash_io::file_size(m_fd);
    if (size < 0 || !flash_io::pread_all(m_fd, header, sizeof header, 0))
        return fail(std::string("cannot read the erased-segment map: ") + std::strerror(errno), error);
    const uint32_t storage = get32(header + 16);
    if (size < kHeader || std::memcmp(header, kMagic, sizeof kMagic) != 0 || get32(header + 8) != kVersion ||
        get32(header + 12) != static_cast<uint32_t>(kStretch) || storage > 1)
        return fail("not an erased-segment map of this version", error);
    m_complemented = storage == 1;
    const int64_t stored = std::min<int64_t>(size - kHeader, static_cast<int64_t>(m_erased.size()));
    if (stored > 0 && !flash_io::pread_all(m_fd, m_erased.data(), static_cast<size_t>(stored), kHeader))
        return fail(std::string("cannot read the erased-segment map: ") + std::strerror(errno), error);
    for (uint8_t& e : m_erased) e = e != 0;
    return true;
}

bool FlashMap::create_erased(const std::filesystem::path& file, int64_t stretches, std::string* error) {
    flash_io::close_fd(m_fd);
    m_fd = -1;
    m_file = file;
    m_read_only = false;
    m_complemented = false;
    return write_whole(std::vector<uint8_t>(static_cast<size_t>(stretches > 0 ? stretches : 0), 1), error);
}

bool FlashMap::write_whole(std::vector<uint8_t> entries, std::string* error) {
    std::string bytes(kMagic, sizeof kMagic);
    put32(bytes, kVersion);
    put32(bytes, static_cast<uint32_t>(kStretch));
    put32(bytes, m_complemented ? 1 : 0);
    bytes.resize(kHeader, '\0');
    bytes.append(entries.begin(), entries.end());
    if (!flash_io::replace_file(m_file, bytes))
        return fail(std::string("cannot write the erased-segment map: ") + std::strerror(errno), error);
    flash_io::close_fd(m_fd);
    std::string why;
    m_fd = flash_io::open_regular(m_file, flash_io::OpenMode::ReadWrite, &why).fd;
    if (m_fd < 0) return fail("cannot open the erased-segment map: " + why, error);
    m_erased = std::move(entries);
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
    if (!flash_io::pwrite_all(m_fd, entries.data(), entries.size(), kHeader + first))
        return fail(std::string("cannot mark the erased-segment map: ") + std::strerror(errno), error);
    std::fill(m_erased.begin() + first, m_erased.begin() + first + count, erased ? 1 : 0);
    return true;
}

bool FlashMap::sync(std::string* error) {
    if (m_fd < 0 || flash_io::sync_data(m_fd)) return true;
    return fail(std::string("cannot sync the erased-segment map: ") + std::strerror(errno), error);
}

}  // namespace orva::sim
