// The image area's segments, write passes and read-back, over either device.
#include "board/image_area.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "common/syscalls.h"
#include "device/device_library.h"

namespace orva::board {

namespace {

constexpr int64_t kFirst128K = 23578;
constexpr size_t kAlignment = 4096;
// The read-back reads up to this many bytes of neighbouring segments at once.
constexpr size_t kReadBackBytes = size_t(4) << 20;

inline uint64_t rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

constexpr uint64_t kP1 = 0x9E3779B185EBCA87ULL, kP2 = 0xC2B2AE3D27D4EB4FULL, kP3 = 0x165667B19E3779F9ULL;

inline uint64_t round(uint64_t acc, uint64_t input) { return rotl(acc + input * kP2, 31) * kP1; }

}  // namespace

uint64_t segment_digest(const uint8_t* p, size_t n) {
    // Four independent lanes of multiply-rotate rounds over 32-byte stripes,
    // then the rest eight bytes and one byte at a time, and a final mix.
    uint64_t lane[4] = {kP1 + kP2, kP2, 0, 0 - kP1};
    size_t i = 0;
    for (; i + 32 <= n; i += 32)
        for (int k = 0; k < 4; ++k) lane[k] = round(lane[k], load64(p + i + 8 * k));
    uint64_t h = rotl(lane[0], 1) + rotl(lane[1], 7) + rotl(lane[2], 12) + rotl(lane[3], 18) + n;
    for (; i + 8 <= n; i += 8) h = rotl(h ^ round(0, load64(p + i)), 27) * kP1 + kP3;
    for (; i < n; ++i) h = rotl(h ^ (p[i] * kP3), 11) * kP1;
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    return h ^ (h >> 32);
}

std::unique_ptr<ImageArea> ImageArea::open(const BoardConfig& cfg, std::string* error) {
    const std::string& name = cfg.flash_device;
    if (name.rfind("mtd:", 0) == 0) {
        std::string why;
        auto index = mtd_index_by_name(name.substr(4), &why);
        if (!index) {
            *error = "flash device " + name + ": " + why;
            return nullptr;
        }
        return open_mtd_area(cfg, "/dev/mtd" + std::to_string(*index), error);
    }
    if (name.rfind("/dev/mtd", 0) == 0 && name.find("mtdblock") == std::string::npos)
        return open_mtd_area(cfg, name, error);
    return open_block_area(cfg, name, error);
}

ImageArea::ImageArea(const BoardConfig& cfg, DeviceId device, int fd)
    : m_cfg(cfg), m_device(std::move(device)), m_fd(fd), m_segment_size(cfg.segment_size) {}

ImageArea::~ImageArea() {
    if (m_fd >= 0) sys::close(m_fd);
    std::free(m_buffer);
}

void ImageArea::set_area(uint64_t usable_bytes) {
    m_first = m_segment_size == FLASH_SEGMENT_SIZE_128K ? kFirst128K : 0;
    const int64_t most = std::numeric_limits<int32_t>::max() / int64_t(m_segment_size);
    m_count = std::min<int64_t>(int64_t(usable_bytes / m_segment_size), most);
}

bool ImageArea::fail(const std::string& what) {
    m_error = m_device.path + ": " + what;
    return false;
}

bool ImageArea::fail_errno(const std::string& what) { return fail(what + ": " + std::strerror(errno)); }

uint8_t* ImageArea::buffer() {
    if (!m_buffer) m_buffer = static_cast<uint8_t*>(std::aligned_alloc(kAlignment, m_segment_size));
    return m_buffer;
}

std::optional<std::string> ImageArea::claim_for_update() {
    if (auto refusal = erase_refusal(m_device, m_cfg.flash_device)) return refusal;
    if (!m_claimed) {
        if (auto refusal = claim()) return refusal;
        m_claimed = true;
    }
    return std::nullopt;
}

bool ImageArea::begin_update() {
    const bool ok = settle();
    m_erased.clear();
    return ok;
}

bool ImageArea::end_update() {
    const bool ok = begin_update();
    if (m_claimed) unclaim();
    m_claimed = false;
    return ok;
}

bool ImageArea::erase(int64_t segment) {
    if (!valid_segment(segment)) return fail("segment " + std::to_string(segment) + " is not in the image area");
    // What the segment was to hold is no longer read back: it is erased now.
    const int64_t index = segment - m_first;
    std::erase_if(m_pending, [&](const Pending& p) { return p.index == index; });
    m_erased.erase(segment);
    if (!erase_segment(index)) {
        m_erase_failed.insert(segment);
        return false;
    }
    m_erase_failed.erase(segment);
    m_erased.insert(segment);
    return true;
}

bool ImageArea::program(int64_t segment, uint32_t offset, const uint8_t* data, uint32_t count) {
    if (!valid_segment(segment)) return fail("segment " + std::to_string(segment) + " is not in the image area");
    if (offset > m_segment_size || count > m_segment_size - offset || (!data && count))
        return fail("a write past the end of segment " + std::to_string(segment));
    uint8_t* bytes = buffer();
    if (!bytes) return fail("no memory for a segment");
    const int64_t index = segment - m_first;
    if (m_erase_failed.count(segment))
        return fail("segment " + std::to_string(segment) + " could not be erased, and is not written");
    const bool erased = m_erased.erase(segment) == 1;
    bool holds_data = true;
    if (erased && offset == 0 && count == m_segment_size && reinterpret_cast<uintptr_t>(data) % kAlignment == 0) {
        // A whole segment from a buffer fit for the device: written from it.
        bytes = const_cast<uint8_t*>(data);
    } else if (erased) {
        // An erased segment: the data, and 0xFF around it.
        std::memset(bytes, 0xFF, offset);
        std::memcpy(bytes + offset, data, count);
        std::memset(bytes + offset + count, 0xFF, m_segment_size - offset - count);
    } else {
        // Over data, as on NOR flash: each bit can only go from 1 to 0.
        if (!read_segment(index, bytes)) return false;
        for (uint32_t i = 0; i < count; ++i) bytes[offset + i] &= data[i];
        holds_data = std::memcmp(bytes + offset, data, count) == 0;
    }
    if (!write_segment(index, bytes, offset, offset + count)) return false;
    m_pending.push_back({index, segment_digest(bytes, m_segment_size)});
    // The pass is over when every segment it erased is programmed: the
    // device is let go once it is read back.
    if ((m_erased.empty() || !erased) && !settle()) return false;
    if (erased && m_erased.empty() && m_claimed) {
        unclaim();
        m_claimed = false;
    }
    if (!holds_data)
        return fail("segment " + std::to_string(segment) + " was not erased: a 1 cannot be written over a 0");
    return true;
}

bool ImageArea::read(int64_t segment, std::vector<uint8_t>& out) {
    if (!valid_segment(segment)) return fail("segment " + std::to_string(segment) + " is not in the image area");
    uint8_t* bytes = buffer();
    if (!bytes) return fail("no memory for a segment");
    if (!read_segment(segment - m_first, bytes)) return false;
    out.assign(bytes, bytes + m_segment_size);
    return true;
}

bool ImageArea::read_area(uint64_t offset, uint8_t* out, size_t count) {
    const uint64_t area = uint64_t(m_count) * m_segment_size;
    if (offset > area || count > area - offset) return fail("the bytes asked for reach past the image area");
    uint8_t* bytes = buffer();
    if (!bytes) return fail("no memory for a segment");
    while (count > 0) {
        const size_t at = size_t(offset % m_segment_size);
        const size_t n = std::min<size_t>(count, m_segment_size - at);
        if (!read_segment(int64_t(offset / m_segment_size), bytes)) return false;
        std::memcpy(out, bytes + at, n);
        out += n;
        offset += n;
        count -= n;
    }
    return true;
}

bool ImageArea::settle() {
    if (m_pending.empty()) return true;
    std::vector<Pending> pending;
    pending.swap(m_pending);
    if (!flush()) return false;
    if (!m_cfg.verify) return true;
    // Runs of neighbouring segments are read back in one go, into a buffer
    // of its own that lives for the read-back only.
    const size_t most = std::max<size_t>(1, kReadBackBytes / m_segment_size);
    std::unique_ptr<uint8_t, decltype(&std::free)> chunk(
        static_cast<uint8_t*>(std::aligned_alloc(kAlignment, most * m_segment_size)), &std::free);
    if (!chunk) return fail("no memory to read the segments back");
    const int64_t failures = read_failures();
    for (size_t i = 0; i < pending.size();) {
        size_t n = 1;
        while (i + n < pending.size() && n < most && pending[i + n].index == pending[i].index + int64_t(n)) ++n;
        if (!read_segments(pending[i].index, n, chunk.get())) return false;
        for (size_t k = 0; k < n; ++k, ++i)
            if (segment_digest(chunk.get() + k * m_segment_size, m_segment_size) != pending[i].digest)
                return fail("segment " + std::to_string(pending[i].index + m_first) +
                            " reads back other than it was written");
    }
    if (failures >= 0 && read_failures() > failures)
        return fail("uncorrectable bit errors while the written segments were read back");
    return true;
}

bool ImageArea::read_segments(int64_t index, size_t count, uint8_t* bytes) {
    for (size_t k = 0; k < count; ++k)
        if (!read_segment(index + int64_t(k), bytes + k * m_segment_size)) return false;
    return true;
}

}  // namespace orva::board
