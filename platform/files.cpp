// Files on the controller's file system: CreateFileW (which also opens the
// serial port), GetFileSize and the file object's reads and writes. Paths are
// controller paths (platform/controller_files.h).
#include <cerrno>

#include "common/syscalls.h"
#include "platform/controller_files.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/serial_port.h"
#include "platform/text.h"

namespace orva::platform {
namespace {

class FileObject : public KernelObject {
public:
    FileObject(int fd, mode_t mode) : m_fd(fd), m_mode(mode) {}
    ~FileObject() override { sys::close(m_fd); }
    int fd() const { return m_fd; }
    DWORD file_type() const override {
        if (S_ISREG(m_mode)) return FILE_TYPE_DISK;
        if (S_ISCHR(m_mode)) return FILE_TYPE_CHAR;
        if (S_ISFIFO(m_mode) || S_ISSOCK(m_mode)) return FILE_TYPE_PIPE;
        return FILE_TYPE_UNKNOWN;
    }

    // Reads until `size` bytes or the end of the file; a short count means
    // the end was reached.
    BOOL read(void* buffer, DWORD size, DWORD* done) override {
        auto* out = static_cast<char*>(buffer);
        return transfer(size, done, [&](DWORD at) { return sys::read(m_fd, out + at, size - at); });
    }

    BOOL write(const void* buffer, DWORD size, DWORD* done) override {
        auto* in = static_cast<const char*>(buffer);
        return transfer(size, done, [&](DWORD at) { return sys::write(m_fd, in + at, size - at); });
    }

private:
    // Calls `io` (a read or write of the rest at offset `at`) until `size`
    // bytes have moved or it moves none: a short count is followed by the
    // next call for the rest.
    template <class Io>
    static BOOL transfer(DWORD size, DWORD* done, Io io) {
        DWORD total = 0;
        while (total < size) {
            ssize_t n = io(total);
            if (n < 0) {
                *done = total;
                return fail(error_from_errno(errno));
            }
            if (n == 0) break;
            total += DWORD(n);
        }
        *done = total;
        return TRUE;
    }

    int m_fd;
    mode_t m_mode;
};

}  // namespace
}  // namespace orva::platform

using namespace orva::platform;

// Opens an existing file (OPEN_EXISTING is the only disposition the program
// uses; others fail with ERROR_INVALID_PARAMETER). A directory fails with
// ERROR_ACCESS_DENIED, as on the controller. Share modes are not enforced
// between processes. Opening never waits (a FIFO without a writer), and
// anything but a regular file stays non-blocking: a read of it that would
// wait fails at once.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE) {
    std::u16string_view path = wide_view(name);
    if (is_serial_port_name(path)) return open_serial_port(path, access, share);
    if (disposition != OPEN_EXISTING) return fail_handle(ERROR_INVALID_PARAMETER);
    if (path.empty()) return fail_handle(ERROR_PATH_NOT_FOUND);
    const ControllerFile resolved = resolve_controller_path(path);
    if (DWORD error = path_error(resolved)) return fail_handle(error);
    struct stat st {};
    if (orva::sys::stat(resolved.host.c_str(), &st) != 0) return fail_handle(error_from_errno(errno));
    if (S_ISDIR(st.st_mode)) return fail_handle(ERROR_ACCESS_DENIED);
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY |
                ((access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
    int fd = orva::sys::open(resolved.host.c_str(), flags, 0);
    if (fd < 0) return fail_handle(error_from_errno(errno));
    if (orva::sys::fstat(fd, &st) != 0) {
        const DWORD error = error_from_errno(errno);
        orva::sys::close(fd);
        return fail_handle(error);
    }
    if (S_ISREG(st.st_mode)) {
        const int now = orva::sys::fcntl(fd, F_GETFL, 0);
        if (now >= 0) orva::sys::fcntl(fd, F_SETFL, now & ~O_NONBLOCK);
    }
    return add_handle(std::make_unique<FileObject>(fd, st.st_mode));
}

DWORD GetFileType(HANDLE file) {
    KernelObject* o = find_handle(file);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(ERROR_SUCCESS);
    return o->file_type();
}

// The low 32 bits of the size; the high ones through sizeHigh when asked for.
// Without sizeHigh a file of 4 GiB or more reports only its low part, as on
// Windows: callers that must not be fooled pass sizeHigh.
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    auto* f = find_handle_as<FileObject>(file);
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    struct stat st {};
    if (orva::sys::fstat(f->fd(), &st) != 0) {
        SetLastError(error_from_errno(errno));
        return INVALID_FILE_SIZE;
    }
    uint64_t size = uint64_t(st.st_size);
    if (sizeHigh) *sizeHigh = DWORD(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(size & 0xFFFFFFFFu);
}
