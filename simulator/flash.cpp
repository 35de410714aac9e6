// NOR flash in a file with an erased-segment map beside it.
#include "simulator/flash.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "common/syscalls.h"
#include "simulator/flash_geometry.h"
#include "simulator/flash_io.h"

namespace orva::sim {

namespace {

constexpr uint32_t kSmallSegment = FLASH_SEGMENT_SIZE_128K;
constexpr int64_t kSmallFirst = 23578;
constexpr int64_t kStretch = FlashMap::kStretch;

constexpr char kMagic[8] = {'O', 'R', 'V', 'A', 'F', 'L', 'S', 'H'};
constexpr uint32_t kVersion = 1;
constexpr int64_t kHeaderLength = 4096;  // a page: the flash bytes stay page-aligned
constexpr size_t kSummed = 32;           // the header's bytes that its checksum covers
constexpr size_t kUsed = 40;             // the header's bytes that are not zero

// A new identifier: never 0, which stands for a file without a header.
uint64_t new_id() {
    std::random_device random;
    uint64_t id = 0;
    while (id == 0) id = uint64_t(random()) << 32 | random();
    return id;
}

}  // namespace

NorFlash::~NorFlash() { flash_io::close_fd(m_fd); }

std::unique_ptr<NorFlash> NorFlash::open(const std::filesystem::path& file, uint32_t segment_size, int32_t area_size,
                                         std::string* error) {
    std::unique_ptr<NorFlash> f(new NorFlash());
    f->m_path = file.string();
    f->m_segment_size = segment_size;
    if (is_segment_size(segment_size) && area_size > 0) {
        f->m_first = segment_size == kSmallSegment ? kSmallFirst : 0;
        f->m_count = area_size / segment_size;
    }
    const int64_t want = area_size > 0 ? area_size : 0;
    // Every byte of the file up to the area's end has its map entry.
    const int64_t stretches = (want + kStretch - 1) / kStretch;
    std::string why;
    flash_io::OpenResult o = flash_io::open_regular(file, &why);
    if (o.fd < 0) {
        if (error)
            *error = f->m_path + ": cannot open the flash file: " + why +
                     (errno == ENOENT ? " (orva-controller flash reset makes a new, erased flash)" : "");
        return nullptr;
    }
    f->m_fd = o.fd;
    // A write-protected flash still reads; erasing and programming fail.
    f->m_read_only = o.read_only;
    f->m_read_only_error = o.read_only_error;
    FlashFormat format;
    if (!f->read_header(&format)) {
        if (error) *error = f->m_error;
        return nullptr;
    }
    if (!f->m_map.open(FlashMap::file_for(file), stretches, format, f->m_read_only, error)) return nullptr;
    f->m_erased_byte = f->m_map.complemented() ? 0x00 : 0xFF;
    const int64_t file_size = flash_io::file_size(f->m_fd);
    const int64_t size = file_size < 0 ? -1 : std::max<int64_t>(0, file_size - f->m_data);
    if (file_size < 0 || (size < want && !f->m_read_only && !f->pad(size, want))) {
        if (error) *error = f->m_path + ": cannot size the flash file: " + std::strerror(errno);
        return nullptr;
    }
    if (size < want)
        f->m_notice = f->m_path + ": " + std::to_string(size) + " bytes, shorter than the image area of " +
                      std::to_string(want) + " bytes: the missing " + std::to_string(want - size) + " bytes " +
                      (f->m_read_only ? "read as erased" : "were added as erased");
    return f;
}

std::unique_ptr<NorFlash> NorFlash::create(const std::filesystem::path& file, uint32_t segment_size, int32_t area_size,
                                           std::string* error) {
    const std::string path = file.string(), tmp = path + ".new";
    auto fail = [&](const std::string& what) {
        const int err = errno;
        sys::unlink(tmp.c_str());
        if (error) *error = path + ": " + what + ": " + std::strerror(err);
        return nullptr;
    };
    const uint64_t id = new_id();
    uint8_t header[kHeaderLength] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    put_le(header + 8, kVersion, 4);
    put_le(header + 12, kHeaderLength, 4);
    put_le(header + 16, 0, 4);
    put_le(header + 20, kStretch, 4);
    put_le(header + 24, id, 8);
    put_le(header + kSummed, header_checksum(header, kSummed), 8);
    // The flash bytes are all erased by the map; the file is sized, not written.
    const int64_t area = area_size > 0 ? area_size : 0;
    const int fd = sys::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool ok = fd >= 0 && flash_io::pwrite_all(fd, header, sizeof header, 0) &&
              flash_io::extend(fd, kHeaderLength + area) && flash_io::sync_data(fd);
    const int err = errno;
    if (fd >= 0) sys::close(fd);
    errno = err;
    if (!ok) return fail("cannot write a new flash file");
    FlashMap map;
    std::string why;
    if (!map.create_erased(FlashMap::file_for(file), (area + kStretch - 1) / kStretch, id, &why)) {
        sys::unlink(tmp.c_str());
        if (error) *error = why;
        return nullptr;
    }
    if (sys::rename(tmp.c_str(), path.c_str()) != 0) return fail("cannot write a new flash file");
    return open(file, segment_size, area_size, error);
}

bool NorFlash::read_header(FlashFormat* format) {
    uint8_t header[kUsed] = {};
    const int64_t size = flash_io::file_size(m_fd);
    if (size < 0 || !flash_io::pread_all(m_fd, header, sizeof header, 0)) return io_fail("cannot read the flash file");
    // Without the header's name, a file made before the header.
    if (size < int64_t(sizeof kMagic) || std::memcmp(header, kMagic, sizeof kMagic) != 0) return true;
    if (size < kHeaderLength || get_le(header + kSummed, 8) != header_checksum(header, kSummed) ||
        get_le(header + 8, 4) != kVersion || get_le(header + 12, 4) != uint64_t(kHeaderLength) ||
        get_le(header + 16, 4) > 1 || get_le(header + 20, 4) != uint64_t(kStretch)) {
        m_error = m_path +
                  ": the flash file's header is damaged or of another version (orva-controller flash reset makes a "
                  "new, erased flash)";
        return false;
    }
    format->headed = true;
    format->id = get_le(header + 24, 8);
    format->complemented = get_le(header + 16, 4) == 1;
    m_data = kHeaderLength;
    return true;
}

bool NorFlash::pad(int64_t size, int64_t want) {
    if (!m_map.complemented()) {
        // Zero bytes are programmed ones here: the stretch the file ends in is
        // filled up with 0xFF and the stretches after it are marked erased.
        const int64_t tail = std::min(want, (size + kStretch - 1) / kStretch * kStretch);
        const std::vector<uint8_t> erased(static_cast<size_t>(tail > size ? tail - size : 0), 0xFF);
        if (!erased.empty() && !flash_io::pwrite_all(m_fd, erased.data(), erased.size(), m_data + size)) return false;
        const int64_t first = tail / kStretch, count = m_map.stretches() - first;
        if (count > 0 && !m_map.all_erased(first, count) && !m_map.mark(first, count, true, &m_error)) return false;
    }
    return flash_io::extend(m_fd, m_data + want);
}

bool NorFlash::io_fail(const char* what) {
    m_error = m_path + ": " + what + ": " + std::strerror(errno);
    return false;
}

bool NorFlash::valid_segment(int64_t segment) const {
    return m_count > 0 && segment >= m_first && segment < m_first + m_count;
}

bool NorFlash::load_stored(int64_t off, uint8_t* out, size_t n) {
    const int64_t end = off + static_cast<int64_t>(n);
    for (int64_t pos = off; pos < end;) {
        const int64_t piece = std::min(end, (pos / kStretch + 1) * kStretch) - pos;
        uint8_t* at = out + (pos - off);
        if (m_map.erased(pos / kStretch)) std::memset(at, m_erased_byte, static_cast<size_t>(piece));
        else if (!flash_io::pread_all(m_fd, at, static_cast<size_t>(piece), m_data + pos, m_erased_byte)) return false;
        pos += piece;
    }
    return true;
}

bool NorFlash::erase(int64_t segment) {
    if (!valid_segment(segment)) return false;
    if (m_read_only) {
        errno = m_read_only_error;
        return io_fail("erase failed");
    }
    const int64_t first = offset_of(segment) / kStretch, count = m_segment_size / kStretch;
    if (m_map.all_erased(first, count)) return true;
    return m_map.mark(first, count, true, &m_error);
}

bool NorFlash::program(int64_t segment, uint32_t offset, const uint8_t* data, uint32_t count) {
    if (!valid_segment(segment) || offset > m_segment_size || count > m_segment_size - offset) return false;
    if (count == 0) return true;
    if (!data) return false;
    if (m_read_only) {
        errno = m_read_only_error;
        return io_fail("write failed");
    }
    const bool complemented = m_map.complemented();
    const int64_t lo = offset_of(segment) + offset, hi = lo + count;
    const int64_t s0 = lo / kStretch, s1 = (hi - 1) / kStretch;
    // Erased stretches are written whole, so that what the file held there
    // before is gone once the map no longer marks them.
    const int64_t wlo = m_map.erased(s0) ? s0 * kStretch : lo;
    const int64_t whi = m_map.erased(s1) ? (s1 + 1) * kStretch : hi;
    const bool fresh = m_map.all_erased(s0, s1 - s0 + 1);
    const uint8_t* out = data;  // whole erased stretches of plain bytes go as they are
    if (complemented || wlo != lo || whi != hi || !fresh) {
        m_buf.resize(static_cast<size_t>(whi - wlo));
        uint8_t* stored = m_buf.data() + (lo - wlo);
        if (fresh) {
            std::memset(m_buf.data(), m_erased_byte, static_cast<size_t>(lo - wlo));
            std::memset(stored + count, m_erased_byte, static_cast<size_t>(whi - hi));
            if (complemented)
                for (uint32_t i = 0; i < count; ++i) stored[i] = static_cast<uint8_t>(~data[i]);
            else std::memcpy(stored, data, count);
        } else {
            if (!load_stored(wlo, m_buf.data(), m_buf.size())) return io_fail("read failed");
            // Programming clears flash bits: a complemented file sets them.
            if (complemented)
                for (uint32_t i = 0; i < count; ++i) stored[i] |= static_cast<uint8_t>(~data[i]);
            else
                for (uint32_t i = 0; i < count; ++i) stored[i] &= data[i];
        }
        out = m_buf.data();
    }
    if (!flash_io::pwrite_all(m_fd, out, static_cast<size_t>(whi - wlo), m_data + wlo)) return io_fail("write failed");
    // Programmed bytes head for the disk at once, as on a flash chip: the
    // disk writes while the next segments are read and programmed, and the
    // sync at the end finds little left to do.
    flash_io::start_writeback(m_fd, m_data + wlo, whi - wlo);
    // Read back where the bytes were not erased; over erased bytes the file
    // now holds exactly `data`.
    bool same = true;
    for (int64_t pos = lo; pos < hi && !fresh;) {
        const int64_t piece = std::min(hi, (pos / kStretch + 1) * kStretch) - pos;
        if (!m_map.erased(pos / kStretch)) {
            uint8_t* back = m_buf.data() + (pos - wlo);
            if (!flash_io::pread_all(m_fd, back, static_cast<size_t>(piece), m_data + pos, m_erased_byte))
                return io_fail("read back failed");
            // Complemented back in one pass and compared in one call: a
            // byte-wise loop with an early exit is not vectorised.
            if (complemented)
                for (int64_t i = 0; i < piece; ++i) back[i] = static_cast<uint8_t>(~back[i]);
            same = same && std::memcmp(back, data + (pos - lo), static_cast<size_t>(piece)) == 0;
        }
        pos += piece;
    }
    // Only now, with the data in the file, do the erased stretches end: in
    // one mark, so that a segment never shows half its new data.
    for (int64_t s = s0; s <= s1;) {
        int64_t run = 0;
        while (s + run <= s1 && m_map.erased(s + run)) ++run;
        if (run > 0 && !m_map.mark(s, run, false, &m_error)) return false;
        s += run > 0 ? run : 1;
    }
    return same;
}

bool NorFlash::read(int64_t segment, std::vector<uint8_t>& out) {
    if (!valid_segment(segment)) return false;
    out.resize(m_segment_size);
    if (!load_stored(offset_of(segment), out.data(), out.size())) return io_fail("read failed");
    if (m_map.complemented())
        for (uint8_t& b : out) b = static_cast<uint8_t>(~b);
    return true;
}

bool NorFlash::read_area(uint64_t offset, uint8_t* out, size_t count) {
    const uint64_t area = uint64_t(m_count) * m_segment_size;
    if (offset > area || count > area - offset) return false;
    if (count && !load_stored(int64_t(offset), out, count)) return io_fail("read failed");
    if (m_map.complemented())
        for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(~out[i]);
    return true;
}

int64_t NorFlash::programmed_bytes(int64_t segment) {
    if (!valid_segment(segment)) return -1;
    const int64_t off = offset_of(segment);
    if (m_map.all_erased(off / kStretch, m_segment_size / kStretch)) return 0;
    // A hole reads as zeros: erased bytes in a complemented file.
    if (m_map.complemented() && flash_io::is_hole(m_fd, m_data + off, m_segment_size)) return 0;
    m_buf.resize(m_segment_size);
    if (!load_stored(off, m_buf.data(), m_buf.size())) return io_fail("read failed"), -1;
    return static_cast<int64_t>(m_buf.size()) - std::count(m_buf.begin(), m_buf.end(), m_erased_byte);
}

std::vector<std::pair<int64_t, int64_t>> NorFlash::programmed_segments() {
    std::vector<std::pair<int64_t, int64_t>> out;
    for (int64_t segment = m_first; segment < m_first + m_count; ++segment) {
        const int64_t n = programmed_bytes(segment);
        if (n < 0) break;
        if (n > 0) out.emplace_back(segment, n);
    }
    return out;
}

bool NorFlash::sync() {
    // The data first: a map on the disk never marks as written what is not.
    if (!flash_io::sync_data(m_fd)) return io_fail("sync failed");
    return m_map.sync(&m_error);
}

}  // namespace orva::sim
