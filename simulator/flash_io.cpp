// The flash's system calls, made through the system call table.
#include "simulator/flash_io.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/syscalls.h"

namespace orva::sim::flash_io {

namespace {

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "is a directory";
    if (S_ISFIFO(mode)) return "is a FIFO";
    if (S_ISCHR(mode)) return "is a character device";
    if (S_ISBLK(mode)) return "is a block device";
    if (S_ISSOCK(mode)) return "is a socket";
    return "is not a regular file";
}

}  // namespace

OpenResult open_regular(const std::filesystem::path& file, std::string* why) {
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
    constexpr int kFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    OpenResult r;
    r.fd = sys::open(file.c_str(), O_RDWR | kFlags, 0);
    if (r.fd < 0 && (errno == EACCES || errno == EROFS)) {
        r.read_only_error = errno;
        r.fd = sys::open(file.c_str(), O_RDONLY | kFlags, 0);
        r.read_only = r.fd >= 0;
    }
    if (r.fd < 0) {
        struct stat st {};
        const int err = errno;
        if (why) *why = err == EISDIR && sys::stat(file.c_str(), &st) == 0 ? kind_of(st.st_mode) : std::strerror(err);
        errno = err;
        return r;
    }
    struct stat st {};
    const bool known = sys::fstat(r.fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        const int err = known ? EINVAL : errno;
        if (why) *why = known ? kind_of(st.st_mode) : std::strerror(err);
        sys::close(r.fd);
        r = OpenResult{};
        errno = err;
        return r;
    }
    int flags = sys::fcntl(r.fd, F_GETFL, 0);
    if (flags >= 0) sys::fcntl(r.fd, F_SETFL, flags & ~O_NONBLOCK);
    return r;
}

void close_fd(int fd) {
    if (fd >= 0) sys::close(fd);
}

int64_t file_size(int fd) {
    struct stat st {};
    return sys::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool extend(int fd, int64_t size) { return sys::ftruncate(fd, static_cast<off_t>(size)) == 0; }

bool pread_all(int fd, uint8_t* buf, size_t n, int64_t off, uint8_t past_end) {
    while (n > 0) {
        ssize_t r = sys::pread(fd, buf, n, static_cast<off_t>(off));
        if (r < 0) return false;
        if (r == 0) {  // past the end of the file
            std::memset(buf, past_end, n);
            return true;
        }
        buf += r;
        n -= static_cast<size_t>(r);
        off += r;
    }
    return true;
}

bool pwrite_all(int fd, const uint8_t* buf, size_t n, int64_t off) {
    while (n > 0) {
        ssize_t r = sys::pwrite(fd, buf, n, static_cast<off_t>(off));
        if (r == 0) errno = EIO;
        if (r <= 0) return false;
        buf += r;
        n -= static_cast<size_t>(r);
        off += r;
    }
    return true;
}

bool is_hole(int fd, int64_t off, int64_t len) {
    off_t data = sys::lseek(fd, static_cast<off_t>(off), SEEK_DATA);
    if (data < 0) return errno == ENXIO;  // no data at or after off
    return data >= off + len;
}

void start_writeback(int fd, int64_t off, int64_t len) {
    sys::sync_file_range(fd, static_cast<off_t>(off), static_cast<off_t>(len), SYNC_FILE_RANGE_WRITE);
}

bool sync_data(int fd) { return sys::fdatasync(fd) == 0; }

bool replace_file(const std::filesystem::path& file, const std::string& bytes) {
    const std::filesystem::path tmp = file.string() + ".new";
    int fd = sys::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    bool ok = fd >= 0 && pwrite_all(fd, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0) &&
              sys::fsync(fd) == 0;
    int err = errno;
    if (fd >= 0) sys::close(fd);
    if (ok && sys::rename(tmp.c_str(), file.c_str()) != 0) ok = false, err = errno;
    if (!ok) {
        sys::unlink(tmp.c_str());
        errno = err;
    }
    return ok;
}

}  // namespace orva::sim::flash_io
