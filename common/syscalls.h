// The system calls that the platform, the controller and the program make
// for files, the flash, the registry's files, the serial port and processes,
// reached through one table of function pointers, as SQLite's os_unix.c
// reaches its own through aSyscall[]. SQLite's calls for the registry's files
// are routed into the same table (simulator/sqlite_syscalls.h).
//
// Each entry is named after its call and starts as the real call. A test may
// put a function of its own in an entry (to fail the third write to a file
// with EIO, say, or to read it short) and put the real one back with
// restore(); a replacement must behave as the call may: its error value with
// errno set, or a short count. The table does not replace the file system:
// a replacement that does not fail calls `real`.
//
// The functions of namespace orva::sys call the entry in force. Each retries
// a call that fails with EINTR, except close (on Linux the descriptor is gone
// whatever close says, and closedir likewise) and poll (its caller knows
// how long it may still wait). A call whose result is a pointer fails with a
// null pointer; readdir's null pointer at the end of a folder leaves errno 0. Short reads and writes are the caller's
// to complete. The code a child runs between fork and exec calls the real functions directly: a test's replacement must
// never run in a forked child.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

// X(name, result, (parameters), (arguments), policy): every entry of the
// table; policy is retry (EINTR is retried), once, or guarded: made once,
// and in a build that has its tests (ORVA_REFUSE_REBOOT) the real call is
// never made: it fails with EPERM and says so on standard error, so that no
// test can restart the machine it runs on.
#define ORVA_SYSCALLS(X)                                                                                         \
    /* files */                                                                                                  \
    X(open, int, (const char* path, int flags, mode_t mode), (path, flags, mode), retry)                         \
    X(openat, int, (int dir, const char* path, int flags, mode_t mode), (dir, path, flags, mode), retry)         \
    X(close, int, (int fd), (fd), once)                                                                          \
    X(read, ssize_t, (int fd, void* buf, size_t n), (fd, buf, n), retry)                                         \
    X(write, ssize_t, (int fd, const void* buf, size_t n), (fd, buf, n), retry)                                  \
    X(pread, ssize_t, (int fd, void* buf, size_t n, off_t off), (fd, buf, n, off), retry)                        \
    X(pwrite, ssize_t, (int fd, const void* buf, size_t n, off_t off), (fd, buf, n, off), retry)                 \
    X(lseek, off_t, (int fd, off_t off, int whence), (fd, off, whence), retry)                                   \
    X(stat, int, (const char* path, struct stat* st), (path, st), retry)                                         \
    X(fstat, int, (int fd, struct stat* st), (fd, st), retry)                                                    \
    X(lstat, int, (const char* path, struct stat* st), (path, st), retry)                                        \
    X(readlink, ssize_t, (const char* path, char* buf, size_t n), (path, buf, n), retry)                         \
    X(access, int, (const char* path, int mode), (path, mode), retry)                                            \
    X(ftruncate, int, (int fd, off_t size), (fd, size), retry)                                                   \
    X(fsync, int, (int fd), (fd), retry)                                                                         \
    X(fdatasync, int, (int fd), (fd), retry)                                                                     \
    X(sync_file_range, int, (int fd, off_t off, off_t n, unsigned flags), (fd, off, n, flags), retry)            \
    X(rename, int, (const char* from, const char* to), (from, to), retry)                                        \
    X(renameat, int, (int from_dir, const char* from, int to_dir, const char* to), (from_dir, from, to_dir, to), \
      retry)                                                                                                     \
    X(symlink, int, (const char* target, const char* path), (target, path), retry)                               \
    X(unlink, int, (const char* path), (path), retry)                                                            \
    X(unlinkat, int, (int dir, const char* path, int flags), (dir, path, flags), retry)                          \
    X(fchmod, int, (int fd, mode_t mode), (fd, mode), retry)                                                     \
    X(chmod, int, (const char* path, mode_t mode), (path, mode), retry)                                          \
    X(mkdir, int, (const char* path, mode_t mode), (path, mode), retry)                                          \
    X(rmdir, int, (const char* path), (path), retry)                                                             \
    /* folders listed: opendir and readdir fail with a null pointer */                                           \
    X(opendir, DIR*, (const char* path), (path), retry)                                                          \
    X(readdir, struct dirent*, (DIR * dir), (dir), retry)                                                        \
    X(closedir, int, (DIR * dir), (dir), once)                                                                   \
    X(fcntl, int, (int fd, int cmd, intptr_t arg), (fd, cmd, arg), retry)                                        \
    X(flock, int, (int fd, int op), (fd, op), retry)                                                             \
    /* the serial port and the simulated module's pseudo-terminal */                                             \
    X(ioctl, int, (int fd, unsigned long request, void* arg), (fd, request, arg), retry)                         \
    X(tcgetattr, int, (int fd, struct termios* tio), (fd, tio), retry)                                           \
    X(tcsetattr, int, (int fd, int when, const struct termios* tio), (fd, when, tio), retry)                     \
    X(tcflush, int, (int fd, int queue), (fd, queue), retry)                                                     \
    X(isatty, int, (int fd), (fd), retry)                                                                        \
    X(poll, int, (struct pollfd * fds, nfds_t n, int timeout), (fds, n, timeout), once)                          \
    X(posix_openpt, int, (int flags), (flags), retry)                                                            \
    X(grantpt, int, (int fd), (fd), retry)                                                                       \
    X(unlockpt, int, (int fd), (fd), retry)                                                                      \
    X(ptsname_r, int, (int fd, char* buf, size_t n), (fd, buf, n), retry)                                        \
    X(eventfd, int, (unsigned initial, int flags), (initial, flags), retry)                                      \
    /* processes */                                                                                              \
    X(socketpair, int, (int domain, int type, int protocol, int* fds), (domain, type, protocol, fds), retry)     \
    X(pipe2, int, (int* fds, int flags), (fds, flags), retry)                                                    \
    X(fork, pid_t, (), (), retry)                                                                                \
    X(waitpid, pid_t, (pid_t pid, int* status, int options), (pid, status, options), retry)                      \
    X(send, ssize_t, (int fd, const void* buf, size_t n, int flags), (fd, buf, n, flags), retry)                 \
    X(kill, int, (pid_t pid, int sig), (pid, sig), retry)                                                        \
    /* the board: identity, and the restart */                                                                   \
    X(uname, int, (struct utsname * info), (info), retry)                                                        \
    X(sync, void, (), (), once)                                                                                  \
    X(reboot, int, (int cmd), (cmd), guarded)

namespace orva::sys {

// One entry: its name, the real call, and the function in force.
template <class F>
struct Syscall {
    constexpr Syscall(const char* n, F r) : name(n), real(r), m_current(r) {}
    Syscall(const Syscall&) = delete;
    Syscall& operator=(const Syscall&) = delete;

    const char* const name;
    const F real;

    F get() const { return m_current.load(std::memory_order_relaxed); }
    // Puts `f` in force; nullptr puts the real call back.
    void set(F f) { m_current.store(f ? f : real, std::memory_order_relaxed); }
    void restore() { set(nullptr); }
    bool overridden() const { return get() != real; }

private:
    std::atomic<F> m_current;
};

struct Table {
#define ORVA_SYSCALL_ENTRY(call, result, params, args, policy) Syscall<result(*) params> call;
    ORVA_SYSCALLS(ORVA_SYSCALL_ENTRY)
#undef ORVA_SYSCALL_ENTRY
};

// The table (one per process).
extern Table g_table;
inline Table& table() { return g_table; }

// Puts every real call back.
void restore_all();
// The names of the entries that are not their real call (for a check after
// each test that it put back what it replaced).
std::vector<std::string> overridden();

namespace detail {
// A call made until it does not fail with EINTR. A call that gives a
// pointer is made with errno 0, so that a null pointer that is no failure
// (the end of a folder) is told from one that is.
template <class Call>
auto retry(Call call) {
    if constexpr (std::is_pointer_v<decltype(call())>) {
        errno = 0;
        auto r = call();
        while (!r && errno == EINTR) {
            errno = 0;
            r = call();
        }
        return r;
    } else {
        auto r = call();
        while (r == decltype(r)(-1) && errno == EINTR) r = call();
        return r;
    }
}
// A call made once, whatever it gives.
template <class Call>
auto once(Call call) {
    return call();
}
template <class Call>
auto guarded(Call call) {
    return call();
}
}  // namespace detail

// The calls, through the table.
#define ORVA_SYSCALL_CALL(call, result, params, args, policy)           \
    inline result call params {                                         \
        return detail::policy([&] { return table().call.get() args; }); \
    }
ORVA_SYSCALLS(ORVA_SYSCALL_CALL)
#undef ORVA_SYSCALL_CALL

}  // namespace orva::sys
