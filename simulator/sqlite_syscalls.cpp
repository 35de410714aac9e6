// SQLite's system calls through the system call table.
#include "simulator/sqlite_syscalls.h"

#include <sqlite3.h>

#include <cstdarg>
#include <cstring>
#include <mutex>

#include "common/syscalls.h"

namespace orva::sim {
namespace {

constexpr const char* kVfsName = "orva";

// The descriptor of this thread's last open through SQLite: how a new
// file's descriptor is learnt (the unix VFS does not tell it).
thread_local int t_opened = -1;
thread_local long t_read_failures = 0;

template <class R>
R counted(R r) {
    if (r < 0) ++t_read_failures;
    return r;
}

int sq_open(const char* path, int flags, int mode) {
    const int fd = sys::open(path, flags, static_cast<mode_t>(mode));
    if (fd >= 0) t_opened = fd;
    return fd;
}
int sq_close(int fd) { return sys::close(fd); }
int sq_access(const char* path, int mode) { return sys::access(path, mode); }
int sq_stat(const char* path, struct stat* st) { return sys::stat(path, st); }
int sq_fstat(int fd, struct stat* st) { return counted(sys::fstat(fd, st)); }
int sq_ftruncate(int fd, off_t size) { return sys::ftruncate(fd, size); }
ssize_t sq_read(int fd, void* buf, size_t n) { return counted(sys::read(fd, buf, n)); }
ssize_t sq_pread(int fd, void* buf, size_t n, off_t off) { return counted(sys::pread(fd, buf, n, off)); }
ssize_t sq_write(int fd, const void* buf, size_t n) { return sys::write(fd, buf, n); }
ssize_t sq_pwrite(int fd, const void* buf, size_t n, off_t off) { return sys::pwrite(fd, buf, n, off); }
int sq_fchmod(int fd, mode_t mode) { return sys::fchmod(fd, mode); }
int sq_unlink(const char* path) { return sys::unlink(path); }

// SQLite calls fcntl as the C library declares it; the argument is taken as
// the command passes it.
int sq_fcntl(int fd, int cmd, ...) {
    intptr_t arg = 0;
    va_list ap;
    va_start(ap, cmd);
    switch (cmd) {
        case F_GETLK:
        case F_SETLK:
        case F_SETLKW:
        case F_OFD_GETLK:
        case F_OFD_SETLK:
        case F_OFD_SETLKW:
            arg = reinterpret_cast<intptr_t>(va_arg(ap, void*));
            break;
        case F_GETFD:
        case F_GETFL:
            break;
        default:
            arg = va_arg(ap, int);
            break;
    }
    va_end(ap);
    return sys::fcntl(fd, cmd, arg);
}

template <class F>
sqlite3_syscall_ptr as_syscall(F f) {
    return reinterpret_cast<sqlite3_syscall_ptr>(f);
}

struct Route {
    const char* name;
    sqlite3_syscall_ptr call;
};

sqlite3_vfs* g_unix = nullptr;
sqlite3_vfs g_vfs;

// The unix VFS gives its files one of a few method tables (the database
// file's locks, a journal's none); each is taken over once, with the sync
// replaced.
struct Methods {
    const sqlite3_io_methods* unix_methods = nullptr;
    sqlite3_io_methods ours{};
};
constexpr size_t kMethodTables = 8;
std::mutex g_methods_lock;
Methods g_methods[kMethodTables];

// The descriptor kept after the unix VFS's part of each file.
int descriptor_of(sqlite3_file* file) {
    int fd;
    std::memcpy(&fd, reinterpret_cast<char*>(file) + g_unix->szOsFile, sizeof fd);
    return fd;
}

int sync_file(sqlite3_file* file, int flags) {
    const sqlite3_io_methods* unix_methods = nullptr;
    for (const Methods& m : g_methods)
        if (file->pMethods == &m.ours) unix_methods = m.unix_methods;
    if (!unix_methods) return SQLITE_IOERR_FSYNC;
    const int fd = descriptor_of(file);
    if (fd >= 0 && sys::fdatasync(fd) != 0) return SQLITE_IOERR_FSYNC;
    return unix_methods->xSync(file, flags);
}

// The unix VFS opens the file; its methods are taken over with the sync
// replaced. A file whose descriptor the unix VFS took from one it kept open
// (no open call), or one with methods of a kind beyond those taken over,
// syncs through the unix VFS alone.
int open_file(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out_flags) {
    t_opened = -1;
    const int rc = g_unix->xOpen(g_unix, name, file, flags, out_flags);
    const int fd = t_opened;
    std::memcpy(reinterpret_cast<char*>(file) + g_unix->szOsFile, &fd, sizeof fd);
    if (rc != SQLITE_OK || !file->pMethods) return rc;
    std::lock_guard<std::mutex> guard(g_methods_lock);
    for (Methods& m : g_methods) {
        if (!m.unix_methods) {
            m.unix_methods = file->pMethods;
            m.ours = *file->pMethods;
            m.ours.xSync = sync_file;
        }
        if (m.unix_methods == file->pMethods) {
            file->pMethods = &m.ours;
            break;
        }
    }
    return rc;
}

void install() {
    g_unix = sqlite3_vfs_find("unix");
    if (!g_unix) return;
    const Route routes[] = {
        {"open", as_syscall(&sq_open)},       {"close", as_syscall(&sq_close)},
        {"access", as_syscall(&sq_access)},   {"stat", as_syscall(&sq_stat)},
        {"fstat", as_syscall(&sq_fstat)},     {"ftruncate", as_syscall(&sq_ftruncate)},
        {"fcntl", as_syscall(&sq_fcntl)},     {"read", as_syscall(&sq_read)},
        {"pread", as_syscall(&sq_pread)},     {"pread64", as_syscall(&sq_pread)},
        {"write", as_syscall(&sq_write)},     {"pwrite", as_syscall(&sq_pwrite)},
        {"pwrite64", as_syscall(&sq_pwrite)}, {"fchmod", as_syscall(&sq_fchmod)},
        {"unlink", as_syscall(&sq_unlink)},
    };
    // Only the calls this build of SQLite makes (pread or pread64, say).
    for (const Route& r : routes)
        if (g_unix->xGetSystemCall(g_unix, r.name)) g_unix->xSetSystemCall(g_unix, r.name, r.call);
    g_vfs = *g_unix;
    g_vfs.pNext = nullptr;
    g_vfs.zName = kVfsName;
    g_vfs.szOsFile = g_unix->szOsFile + static_cast<int>(sizeof(int));
    g_vfs.xOpen = open_file;
    sqlite3_vfs_register(&g_vfs, 0);
}

}  // namespace

long sqlite_read_failures() { return t_read_failures; }

const char* sqlite_vfs_name() {
    static std::once_flag once;
    std::call_once(once, install);
    return g_unix ? kVfsName : nullptr;
}

}  // namespace orva::sim
