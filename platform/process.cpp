// Processes and Sleep. CreateProcessW starts a program file of the
// controller's file system as a Linux process of its own: no shell, standard
// input, output and error on /dev/null, detached (double fork, so it is never
// left as a zombie of the utility), and held before exec while suspended.
// The utility's own calls go through the system call table; the forked
// processes make theirs directly (only async-signal-safe calls).
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "common/host_files.h"
#include "common/syscalls.h"
#include "platform/controller_files.h"
#include "platform/frontend.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/text.h"

namespace orva::platform {
namespace {

namespace fs = std::filesystem;

// What the process and thread handles of one started program share: the
// channel that releases a suspended program and the one that reports how its
// exec went.
struct Started {
    pid_t pid = 0;
    int go = -1;      // socket: one byte releases the program; closing without it ends it unstarted
    int report = -1;  // pipe: EOF when exec succeeded, else the errno of the failed exec
    bool suspended = false;
    ~Started() {
        if (go >= 0) sys::close(go);
        if (report >= 0) sys::close(report);
    }
};

class ProcessObject : public KernelObject {
public:
    explicit ProcessObject(std::shared_ptr<Started> s) : m_started(std::move(s)) {}
    std::shared_ptr<Started> m_started;
};

class ThreadObject : public KernelObject {
public:
    explicit ThreadObject(std::shared_ptr<Started> s) : m_started(std::move(s)) {}
    std::shared_ptr<Started> m_started;
};

// Thread identifiers of started programs, for ResumeThread by identifier.
std::map<DWORD, std::weak_ptr<Started>>& thread_ids() {
    static std::map<DWORD, std::weak_ptr<Started>> ids;
    return ids;
}

// Reads `size` bytes, or fewer when the other end closes first; -1 on error.
ssize_t read_up_to(int fd, void* buffer, size_t size) {
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = sys::read(fd, p + done, size - done);
        if (n < 0) return -1;
        if (n == 0) break;
        done += size_t(n);
    }
    return ssize_t(done);
}

bool read_all(int fd, void* buffer, size_t size) { return read_up_to(fd, buffer, size) == ssize_t(size); }

// For the forked processes: the real call, not the table's.
void child_write_all(int fd, const void* buffer, size_t size) {
    auto* p = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += size_t(n);
    }
}

// Releases the program and waits for its exec. ERROR_SUCCESS when the program
// runs, else the error of the failed exec.
DWORD release(Started& s) {
    if (s.go >= 0) {
        const char byte = 1;
        sys::send(s.go, &byte, 1, MSG_NOSIGNAL);
        sys::close(s.go);
        s.go = -1;
    }
    s.suspended = false;
    DWORD result = ERROR_SUCCESS;
    if (s.report >= 0) {
        int err = 0;
        if (read_all(s.report, &err, sizeof err)) result = error_from_errno(err);
        sys::close(s.report);
        s.report = -1;
    }
    return result;
}

// Everything the new program needs is prepared before fork: the child only
// makes async-signal-safe calls.
[[noreturn]] void run_child(int go, int report, const char* file, char* const argv[], const char* cwd) {
    ::setsid();
    sigset_t all;
    sigemptyset(&all);
    ::sigprocmask(SIG_SETMASK, &all, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
        ::dup2(null_fd, 0);
        ::dup2(null_fd, 1);
        ::dup2(null_fd, 2);
    }
    // Keep only the two channels above the standard descriptors.
    const int keep_low = std::min(go, report), keep_high = std::max(go, report);
    ::close_range(3, unsigned(keep_low - 1), 0);
    ::close_range(unsigned(keep_low + 1), unsigned(keep_high - 1), 0);
    ::close_range(unsigned(keep_high + 1), ~0u, 0);
    char byte = 0;
    ssize_t n;
    while ((n = ::read(go, &byte, 1)) < 0 && errno == EINTR) {}
    if (n != 1) ::_exit(0);  // both handles closed while suspended: never started
    ::close(go);
    if (cwd) (void)!::chdir(cwd);
    ::execv(file, argv);
    int err = errno;
    child_write_all(report, &err, sizeof err);
    ::_exit(127);
}

// Whether the host file is something exec can start: an ELF file or a script
// with "#!".
bool startable(const fs::path& file) {
    int fd = sys::open(file.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return false;
    char head[4] = {};
    // A read may bring fewer bytes than the file holds: read on to four.
    const ssize_t n = read_up_to(fd, head, sizeof head);
    sys::close(fd);
    return (n >= 2 && head[0] == '#' && head[1] == '!') || (n == 4 && std::memcmp(head,
                                                                                  "\x7f"
                                                                                  "ELF",
                                                                                  4) == 0);
}

std::shared_ptr<Started> started_by(HANDLE thread) {
    if (auto* t = find_handle_as<ThreadObject>(thread)) return t->m_started;
    auto it = thread_ids().find(DWORD(reinterpret_cast<uintptr_t>(thread)));
    if (it == thread_ids().end()) return nullptr;
    auto s = it->second.lock();
    if (!s) thread_ids().erase(it);
    return s;
}

}  // namespace
}  // namespace orva::platform

using namespace orva::platform;
namespace sys = orva::sys;
namespace files = orva::files;

// Starts `application`, a controller path resolved inside fs/, with the
// command line (if any) as its one argument. The environment, current
// directory and startup information are not used (Windows CE has none of
// them either); the program runs in the controller's fs/ folder. A file that
// is missing fails with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND, a
// folder, a file without execute permission or a path out of fs/ with
// ERROR_ACCESS_DENIED, a file that is neither ELF nor "#!" script with
// ERROR_BAD_EXE_FORMAT. Without CREATE_SUSPENDED the call returns once the
// program's exec has succeeded (or fails with its error); with it, the
// program waits before exec until ResumeThread. The thread identifier is the
// program's process identifier (its main thread's).
BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD creationFlags, LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION info) {
    if (!application || !info) return fail(ERROR_INVALID_PARAMETER);
    const std::u16string_view name = wide_view(application);
    if (name.empty()) return fail(ERROR_PATH_NOT_FOUND);
    const ControllerFile resolved = resolve_controller_path(name);
    if (resolved.status == ControllerFile::Status::NoController) return fail(ERROR_FILE_NOT_FOUND);
    if (DWORD error = path_error(resolved)) return fail(error);
    // Absolute, for the program started in another folder.
    auto absolute = [](const fs::path& p) { return p.is_absolute() ? p : files::canonical(".") / p; };
    const fs::path file = absolute(resolved.host);
    const fs::path cwd = absolute(resolve_controller_path(u"\\").host);
    if (!files::is_regular(file) || sys::access(file.c_str(), X_OK) != 0) return fail(ERROR_ACCESS_DENIED);
    if (!startable(file)) return fail(ERROR_BAD_EXE_FORMAT);

    const std::string file_text = file.string();
    const std::string cwd_text = cwd.string();
    const std::string args = commandLine ? to_utf8(wide_view(commandLine)) : std::string();
    std::string argv0 = file_text;
    char* argv[3] = {argv0.data(), nullptr, nullptr};
    std::string arg1 = args;
    if (!arg1.empty()) argv[1] = arg1.data();

    int go[2], report[2];
    if (sys::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, go) != 0) return fail(error_from_errno(errno));
    if (sys::pipe2(report, O_CLOEXEC) != 0) {
        DWORD err = error_from_errno(errno);
        sys::close(go[0]);
        sys::close(go[1]);
        return fail(err);
    }
    pid_t middle = sys::fork();
    if (middle == 0) {
        // The intermediate process: starts the program, tells its pid and
        // ends at once, so that the program is adopted and reaped by init.
        ::close(go[0]);
        ::close(report[0]);
        pid_t pid = ::fork();
        if (pid == 0) run_child(go[1], report[1], file_text.c_str(), argv, cwd_text.c_str());
        int32_t told = pid > 0 ? int32_t(pid) : -int32_t(errno);
        child_write_all(report[1], &told, sizeof told);
        ::_exit(0);
    }
    const int fork_error = errno;
    sys::close(go[1]);
    sys::close(report[1]);
    auto started = std::make_shared<Started>();
    started->go = go[0];
    started->report = report[0];
    if (middle < 0) return fail(error_from_errno(fork_error));
    int status = 0;
    sys::waitpid(middle, &status, 0);
    int32_t told = 0;
    if (!read_all(started->report, &told, sizeof told)) return fail(ERROR_NOT_ENOUGH_MEMORY);
    if (told <= 0) return fail(error_from_errno(-told));
    started->pid = pid_t(told);
    started->suspended = true;
    if (!(creationFlags & CREATE_SUSPENDED)) {
        DWORD err = release(*started);
        if (err != ERROR_SUCCESS) return fail(err);
    }
    std::erase_if(thread_ids(), [](const auto& entry) { return entry.second.expired(); });
    thread_ids()[DWORD(started->pid)] = started;
    info->hProcess = add_handle(std::make_unique<ProcessObject>(started));
    info->hThread = add_handle(std::make_unique<ThreadObject>(started));
    info->dwProcessId = DWORD(started->pid);
    info->dwThreadId = DWORD(started->pid);
    frontend().program_started(resolved.path);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// Takes a thread handle or, as on Windows CE, a thread identifier cast to a
// HANDLE. Returns the previous suspend count (1 for a suspended program, 0
// for a running one). A program whose exec fails once released has still
// been resumed: the count is returned and the error is kept as the last error.
DWORD ResumeThread(HANDLE thread) {
    std::shared_ptr<Started> s = started_by(thread);
    if (!s) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFFu;
    }
    if (!s->suspended) return 0;
    SetLastError(release(*s));
    return 1;
}

void Sleep(DWORD milliseconds) {
    timespec ts{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {}
}
