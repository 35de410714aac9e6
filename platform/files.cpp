// Files on the controller's file system: CreateFileW (which also opens the
// serial port), GetFileSize and the file object's reads and writes. Paths are
// controller paths, resolved inside the controller's fs/ and never above it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/serial_port.h"
#include "platform/text.h"
#include "simulator/controller.h"

namespace orva::platform {
namespace {

class FileObject : public KernelObject {
public:
    explicit FileObject(int fd) : m_fd(fd) {}
    ~FileObject() override { ::close(m_fd); }
    int fd() const { return m_fd; }

    // Reads until `size` bytes or the end of the file; a short count means
    // the end was reached.
    BOOL read(void* buffer, DWORD size, DWORD* done) override {
        DWORD total = 0;
        auto* out = static_cast<char*>(buffer);
        while (total < size) {
            ssize_t n = ::read(m_fd, out + total, size - total);
            if (n < 0) {
                if (errno == EINTR) continue;
                *done = total;
                SetLastError(error_from_errno(errno));
                return FALSE;
            }
            if (n == 0) break;
            total += DWORD(n);
        }
        *done = total;
        return TRUE;
    }

    BOOL write(const void* buffer, DWORD size, DWORD* done) override {
        DWORD total = 0;
        auto* in = static_cast<const char*>(buffer);
        while (total < size) {
            ssize_t n = ::write(m_fd, in + total, size - total);
            if (n < 0) {
                if (errno == EINTR) continue;
                *done = total;
                SetLastError(error_from_errno(errno));
                return FALSE;
            }
            total += DWORD(n);
        }
        *done = total;
        return TRUE;
    }

private:
    int m_fd;
};

HANDLE fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace
}  // namespace orva::platform

using namespace orva::platform;

// Opens an existing file (OPEN_EXISTING is the only disposition the program
// uses; others fail with ERROR_INVALID_PARAMETER). A directory fails with
// ERROR_ACCESS_DENIED, as on the controller. Share modes are not enforced
// between processes.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD,
                   HANDLE) {
    std::u16string_view path = wide_view(name);
    if (is_serial_port_name(path)) return open_serial_port(path, access, share);
    if (disposition != OPEN_EXISTING) return fail(ERROR_INVALID_PARAMETER);
    if (path.empty()) return fail(ERROR_PATH_NOT_FOUND);
    auto* controller = orva::sim::current();
    if (!controller) return fail(ERROR_PATH_NOT_FOUND);
    orva::sim::ResolvedPath resolved = controller->resolve_path(to_utf8(path));
    using Status = orva::sim::ResolvedPath::Status;
    if (resolved.status == Status::Outside) return fail(ERROR_ACCESS_DENIED);
    if (resolved.status == Status::ParentMissing) return fail(ERROR_PATH_NOT_FOUND);
    if (!resolved.exists) return fail(ERROR_FILE_NOT_FOUND);
    struct stat st {};
    if (::stat(resolved.host.c_str(), &st) != 0) return fail(error_from_errno(errno));
    if (S_ISDIR(st.st_mode)) return fail(ERROR_ACCESS_DENIED);
    int flags = O_CLOEXEC | ((access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY);
    int fd = ::open(resolved.host.c_str(), flags);
    if (fd < 0) return fail(error_from_errno(errno));
    return add_handle(std::make_unique<FileObject>(fd));
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
    if (::fstat(f->fd(), &st) != 0) {
        SetLastError(error_from_errno(errno));
        return INVALID_FILE_SIZE;
    }
    uint64_t size = uint64_t(st.st_size);
    if (sizeHigh) *sizeHigh = DWORD(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(size & 0xFFFFFFFFu);
}
