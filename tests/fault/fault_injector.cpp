// The fault injector: one hook per entry of the system call table, made from
// the entry's own type, that counts, fails or passes the call on.
#include "tests/fault/fault_injector.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <tuple>
#include <type_traits>
#include <vector>

#include "common/syscalls.h"

namespace orva::test {
namespace {

using sys::Table;

struct State {
    std::vector<std::string> watched;
    const Fault* fault = nullptr;
    int nth = 0;
    int counted = 0;
    bool fired = false;
    std::string hit;
    std::atomic<std::thread::id> armed_on{};  // the thread whose calls count; none when disarmed
    std::atomic<bool> interrupting{false};
    std::atomic<long> interruptions{0};
};

State g_state;
std::atomic<bool> g_installed{false};
// Set by an interrupted call: the same call made again goes through.
thread_local bool t_interrupted = false;

template <auto A, auto B>
constexpr bool same_entry() {
    if constexpr (std::is_same_v<decltype(A), decltype(B)>) return A == B;
    else return false;
}

std::string path_of_fd(int fd) {
    char buf[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// The file a call is about: its path, or the file behind its descriptor;
// "" for a call on no file.
template <auto Member, class... A>
std::string file_of(const std::tuple<A...>& args) {
    if constexpr (same_entry<Member, &Table::openat>() || same_entry<Member, &Table::unlinkat>() ||
                  same_entry<Member, &Table::renameat>()) {
        return path_of_fd(std::get<0>(args)) + "/" + std::get<1>(args);
    } else if constexpr (sizeof...(A) == 0) {
        return "";
    } else {
        using First = std::tuple_element_t<0, std::tuple<A...>>;
        if constexpr (std::is_same_v<First, const char*>) return std::get<0>(args);
        else if constexpr (std::is_same_v<First, DIR*>) return path_of_fd(::dirfd(std::get<0>(args)));
        else if constexpr (std::is_same_v<First, int> && !same_entry<Member, &Table::posix_openpt>() &&
                           !same_entry<Member, &Table::kill>() && !same_entry<Member, &Table::waitpid>() &&
                           !same_entry<Member, &Table::socketpair>())
            return path_of_fd(std::get<0>(args));
        else return "";
    }
}

// Whether `fault` can hit this call at all (before its file is looked at).
template <auto Member, class... A>
bool can_hit(const Fault& fault, const char* name, const std::tuple<A...>& args) {
    if (!fault.calls.count(name)) return false;
    if constexpr (same_entry<Member, &Table::open>()) {
        if (fault.error == ENOSPC) return std::get<1>(args) & O_CREAT;
    } else if constexpr (same_entry<Member, &Table::openat>()) {
        if (fault.error == ENOSPC) return std::get<2>(args) & O_CREAT;
    }
    if (fault.error == 0) {
        // A short transfer: the count is the third argument of read, write,
        // pread and pwrite, and one byte cannot be cut.
        if constexpr (sizeof...(A) >= 3) {
            if constexpr (std::is_same_v<std::tuple_element_t<2, std::tuple<A...>>, size_t>)
                return std::get<2>(args) >= 2;
        }
        return false;
    }
    return true;
}

bool watched(const std::string& file) {
    if (g_state.watched.empty()) return true;
    for (const std::string& part : g_state.watched)
        if (file.find(part) != std::string::npos) return true;
    return false;
}

template <auto Member, class F>
struct Hook;

template <auto Member, class R, class... A>
struct Hook<Member, R (*)(A...)> {
    // What the entry held when the injector came: the real call, or a
    // test's double of the device that it stands in front of.
    static inline R (*s_below)(A...) = nullptr;

    static R call(A... a) {
        auto& entry = sys::table().*Member;
        std::tuple<A...> args{a...};
        // close and closedir end their descriptor whatever they report.
        constexpr bool kClose = same_entry<Member, &Table::close>() || same_entry<Member, &Table::closedir>();
        // A call that gives a pointer fails with a null one.
        const auto failed = [] {
            if constexpr (std::is_pointer_v<R>) return R(nullptr);
            else return R(-1);
        };
        if (g_state.interrupting.load()) {
            if (kClose || !t_interrupted) {
                if (kClose) std::apply(s_below, args);
                else t_interrupted = true;
                ++g_state.interruptions;
                errno = EINTR;
                return failed();
            }
            t_interrupted = false;
        }
        if (g_state.armed_on.load() == std::this_thread::get_id() && !g_state.fired &&
            can_hit<Member>(*g_state.fault, entry.name, args)) {
            const std::string file = file_of<Member>(args);
            if (watched(file) && ++g_state.counted == g_state.nth) {
                const Fault& fault = *g_state.fault;
                g_state.fired = true;
                g_state.hit = std::string(entry.name) + " " + file;
                if (fault.error != 0) {
                    if constexpr (kClose) std::apply(s_below, args);
                    errno = fault.error;
                    return failed();
                }
                if constexpr (sizeof...(A) >= 3) {
                    if constexpr (std::is_same_v<std::tuple_element_t<2, std::tuple<A...>>, size_t>)
                        std::get<2>(args) /= 2;
                }
            }
        }
        return std::apply(s_below, args);
    }
};

template <auto Member>
void install() {
    auto& entry = sys::table().*Member;
    using F = std::remove_const_t<decltype(entry.real)>;
    Hook<Member, F>::s_below = entry.get();
    entry.set(&Hook<Member, F>::call);
}

template <auto Member>
void uninstall() {
    auto& entry = sys::table().*Member;
    using F = std::remove_const_t<decltype(entry.real)>;
    entry.set(Hook<Member, F>::s_below);
}

Fault make_fault(std::string name, int error, std::set<std::string> calls) {
    return Fault{std::move(name), error, std::move(calls)};
}

}  // namespace

const Fault& io_error() {
    static const Fault f =
        make_fault("EIO", EIO, {"open",   "openat",    "close",           "read",   "write",    "pread",    "pwrite",
                                "lseek",  "stat",      "fstat",           "lstat",  "access",   "readlink", "ftruncate",
                                "fsync",  "fdatasync", "sync_file_range", "rename", "renameat", "unlink",   "unlinkat",
                                "fchmod", "chmod",     "mkdir",           "rmdir",  "opendir",  "readdir",  "fcntl",
                                "flock"});
    return f;
}

const Fault& disk_full() {
    static const Fault f = make_fault(
        "ENOSPC", ENOSPC,
        {"open", "openat", "write", "pwrite", "ftruncate", "fsync", "fdatasync", "rename", "renameat", "mkdir"});
    return f;
}

const Fault& short_transfer() {
    static const Fault f = make_fault("short transfer", 0, {"read", "write", "pread", "pwrite"});
    return f;
}

FaultInjector::FaultInjector() {
    if (g_installed.exchange(true)) std::abort();  // one injector at a time
    g_state.watched.clear();
    disarm();
    g_state.interrupting = false;
    g_state.interruptions = 0;
#define ORVA_INSTALL_HOOK(call, result, params, args, policy) install<&Table::call>();
    ORVA_SYSCALLS(ORVA_INSTALL_HOOK)
#undef ORVA_INSTALL_HOOK
}

FaultInjector::~FaultInjector() {
#define ORVA_UNINSTALL_HOOK(call, result, params, args, policy) uninstall<&Table::call>();
    ORVA_SYSCALLS(ORVA_UNINSTALL_HOOK)
#undef ORVA_UNINSTALL_HOOK
    disarm();
    g_state.interrupting = false;
    g_installed = false;
}

void FaultInjector::watch(const std::string& part) { g_state.watched.push_back(part); }

void FaultInjector::arm(const Fault& fault, int nth) {
    g_state.fault = &fault;
    g_state.nth = nth;
    g_state.counted = 0;
    g_state.fired = false;
    g_state.hit.clear();
    g_state.armed_on = std::this_thread::get_id();
}

void FaultInjector::disarm() { g_state.armed_on = std::thread::id(); }

bool FaultInjector::fired() const { return g_state.fired; }

std::string FaultInjector::hit() const { return g_state.hit; }

void FaultInjector::interrupt_every_call(bool on) { g_state.interrupting = on; }

long FaultInjector::interruptions() const { return g_state.interruptions; }

}  // namespace orva::test
