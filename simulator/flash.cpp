// NOR flash in a sparse file of complemented bytes.
#include "simulator/flash.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orva::sim {

namespace {

constexpr uint32_t kSmallSegment = 131072;
constexpr uint32_t kLargeSegment = 262144;
constexpr int64_t kSmallFirst = 23578;

bool pread_all(int fd, uint8_t* buf, size_t n, off_t off) {
    while (n > 0) {
        ssize_t r = ::pread(fd, buf, n, off);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) {  // past the end of the file: erased
            std::memset(buf, 0, n);
            return true;
        }
        buf += r;
        n -= static_cast<size_t>(r);
        off += r;
    }
    return true;
}

bool pwrite_all(int fd, const uint8_t* buf, size_t n, off_t off) {
    while (n > 0) {
        ssize_t r = ::pwrite(fd, buf, n, off);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        buf += r;
        n -= static_cast<size_t>(r);
        off += r;
    }
    return true;
}

}  // namespace

NorFlash::~NorFlash() {
    if (m_fd >= 0) ::close(m_fd);
}

std::unique_ptr<NorFlash> NorFlash::open(const std::filesystem::path& file, uint32_t segment_size, int32_t area_size,
                                         std::string* error) {
    std::unique_ptr<NorFlash> f(new NorFlash());
    f->m_path = file.string();
    f->m_segment_size = segment_size;
    if ((segment_size == kSmallSegment || segment_size == kLargeSegment) && area_size > 0) {
        f->m_first = segment_size == kSmallSegment ? kSmallFirst : 0;
        f->m_count = area_size / segment_size;
    }
    f->m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (f->m_fd < 0 && (errno == EACCES || errno == EROFS)) {
        // A write-protected flash still reads; erasing and programming fail.
        f->m_fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        f->m_read_only = f->m_fd >= 0;
    }
    if (f->m_fd < 0) {
        if (error) *error = f->m_path + ": cannot open the flash file: " + std::strerror(errno);
        return nullptr;
    }
    struct stat st{};
    const int64_t want = area_size > 0 ? area_size : 0;
    if (::fstat(f->m_fd, &st) != 0 || (st.st_size < want && !f->m_read_only && ::ftruncate(f->m_fd, want) != 0)) {
        if (error) *error = f->m_path + ": cannot size the flash file: " + std::strerror(errno);
        return nullptr;
    }
    return f;
}

bool NorFlash::io_fail(const char* what) {
    m_error = m_path + ": " + what + ": " + std::strerror(errno);
    return false;
}

bool NorFlash::valid_segment(int64_t segment) const {
    return m_count > 0 && segment >= m_first && segment < m_first + m_count;
}

bool NorFlash::is_hole(int64_t off, int64_t len) const {
    off_t data = ::lseek(m_fd, off, SEEK_DATA);
    if (data < 0) return errno == ENXIO;  // no data at or after off
    return data >= off + len;
}

bool NorFlash::erase(int64_t segment) {
    if (!valid_segment(segment)) return false;
    if (m_read_only) {
        errno = EROFS;
        return io_fail("erase failed");
    }
    const off_t off = static_cast<off_t>((segment - m_first) * m_segment_size);
    if (is_hole(off, m_segment_size)) return true;
    // Zeroing the range turns its blocks into unwritten extents, which read as
    // zeros and count as holes, without writing anything; punching a hole
    // instead frees the blocks, but costs far more on file systems mounted
    // with discard, and the next image needs the blocks again anyway.
    if (::fallocate(m_fd, FALLOC_FL_ZERO_RANGE | FALLOC_FL_KEEP_SIZE, off, m_segment_size) == 0) return true;
    if (::fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off, m_segment_size) == 0) return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS) return io_fail("erase failed");
    std::vector<uint8_t> zeros(m_segment_size, 0);
    return pwrite_all(m_fd, zeros.data(), zeros.size(), off) || io_fail("erase failed");
}

bool NorFlash::program(int64_t segment, uint32_t offset, const uint8_t* data, uint32_t count) {
    if (!valid_segment(segment) || offset > m_segment_size || count > m_segment_size - offset) return false;
    if (count == 0) return true;
    if (!data) return false;
    if (m_read_only) {
        errno = EROFS;
        return io_fail("write failed");
    }
    const off_t off = static_cast<off_t>((segment - m_first) * m_segment_size + offset);
    std::vector<uint8_t> stored(count, 0);
    const bool fresh = is_hole(off, count);
    if (!fresh && !pread_all(m_fd, stored.data(), count, off)) return io_fail("read failed");
    // Stored bytes are complements: clearing a flash bit sets a stored bit.
    for (uint32_t i = 0; i < count; ++i) stored[i] |= static_cast<uint8_t>(~data[i]);
    if (!pwrite_all(m_fd, stored.data(), count, off)) return io_fail("write failed");
    // Over erased bytes the flash now holds exactly `data`: nothing to verify.
    if (fresh) return true;
    if (!pread_all(m_fd, stored.data(), count, off)) return io_fail("read back failed");
    // Complemented back in one pass and compared in one call: a byte-wise
    // loop with an early exit is not vectorised and cost more than the I/O.
    for (uint32_t i = 0; i < count; ++i) stored[i] = static_cast<uint8_t>(~stored[i]);
    return std::memcmp(stored.data(), data, count) == 0;
}

bool NorFlash::read(int64_t segment, std::vector<uint8_t>& out) {
    if (!valid_segment(segment)) return false;
    const off_t off = static_cast<off_t>((segment - m_first) * m_segment_size);
    out.assign(m_segment_size, 0);
    if (!is_hole(off, m_segment_size) && !pread_all(m_fd, out.data(), out.size(), off)) return io_fail("read failed");
    for (uint8_t& b : out) b = static_cast<uint8_t>(~b);
    return true;
}

int64_t NorFlash::programmed_bytes(int64_t segment) {
    if (!valid_segment(segment)) return -1;
    const off_t off = static_cast<off_t>((segment - m_first) * m_segment_size);
    if (is_hole(off, m_segment_size)) return 0;
    std::vector<uint8_t> buf(m_segment_size);
    if (!pread_all(m_fd, buf.data(), buf.size(), off)) return io_fail("read failed"), -1;
    int64_t n = 0;
    for (uint8_t b : buf) n += b != 0;
    return n;
}

std::vector<std::pair<int64_t, int64_t>> NorFlash::programmed_segments() {
    std::vector<std::pair<int64_t, int64_t>> out;
    const int64_t end = m_count * static_cast<int64_t>(m_segment_size);
    int64_t pos = 0;
    while (pos < end) {
        off_t data = ::lseek(m_fd, pos, SEEK_DATA);
        if (data < 0 || data >= end) break;
        int64_t segment = m_first + data / m_segment_size;
        int64_t n = programmed_bytes(segment);
        if (n > 0) out.emplace_back(segment, n);
        pos = (segment - m_first + 1) * static_cast<int64_t>(m_segment_size);
    }
    return out;
}

bool NorFlash::sync() {
    return ::fdatasync(m_fd) == 0 || io_fail("sync failed");
}

}  // namespace orva::sim
