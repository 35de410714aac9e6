// Taking, naming and releasing the lock on a controller or a board.
#include "common/use_lock.h"

#include <sys/file.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "common/syscalls.h"

namespace orva::lock {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kCommandLimit = 200;

// At most `limit` bytes of a file such as /proc/locks; "" when it cannot be read.
std::string read_text(const std::string& path, size_t limit) {
    int fd = sys::open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return "";
    std::string text;
    char buf[4096];
    while (text.size() < limit) {
        const ssize_t n = sys::read(fd, buf, std::min(sizeof buf, limit - text.size()));
        if (n <= 0) break;
        text.append(buf, size_t(n));
    }
    sys::close(fd);
    return text;
}

std::optional<pid_t> parse_pid(std::string_view text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const long pid = std::stol(std::string(text));
    return pid > 0 ? std::optional<pid_t>(pid_t(pid)) : std::nullopt;
}

// The holders that /proc/locks lists for the file of `st`: flock locks on
// its device and inode (on file systems whose stat device is not the one
// listed, such as a btrfs subvolume, the inode alone).
std::vector<Holder> listed_holders(const struct stat& st) {
    std::vector<Holder> exact, same_inode;
    std::istringstream in(read_text("/proc/locks", size_t(4) << 20));
    for (std::string line; std::getline(in, line);) {
        // "1: FLOCK  ADVISORY  WRITE 2568 fe:00:10970258 0 EOF"; a waiter's
        // line has "->" after the number.
        std::istringstream words(line);
        std::string number, type, kind, access, pid_text, where;
        if (!(words >> number >> type) || type == "->" || type != "FLOCK") continue;
        if (!(words >> kind >> access >> pid_text >> where)) continue;
        const auto pid = parse_pid(pid_text);
        unsigned major_no = 0, minor_no = 0;
        unsigned long long inode = 0;
        if (!pid || std::sscanf(where.c_str(), "%x:%x:%llu", &major_no, &minor_no, &inode) != 3) continue;
        if (inode != st.st_ino) continue;
        Holder h{*pid, "", access == "WRITE"};
        (major_no == major(st.st_dev) && minor_no == minor(st.st_dev) ? exact : same_inode).push_back(h);
    }
    return exact.empty() ? same_inode : exact;
}

// The writer noted in the lock file, while that process lives.
std::vector<Holder> noted_holder(int fd) {
    char buf[512];
    const ssize_t n = sys::pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0) return {};
    const std::string note(buf, size_t(n));
    const size_t space = note.find(' ');
    const auto pid = parse_pid(note.substr(0, space));
    if (!pid || space == std::string::npos || (sys::kill(*pid, 0) != 0 && errno != EPERM)) return {};
    std::string command = note.substr(space + 1);
    if (const size_t end = command.find('\n'); end != std::string::npos) command.resize(end);
    return {Holder{*pid, command, true}};
}

std::vector<Holder> holders_of(int fd, const struct stat& st) {
    std::vector<Holder> found = listed_holders(st);
    if (found.empty()) return noted_holder(fd);
    std::stable_partition(found.begin(), found.end(), [](const Holder& h) { return h.writes; });
    for (Holder& h : found) h.command = command_of(h.pid);
    return found;
}

// Whether this process was started by one of the holders, which named itself
// in the environment.
bool started_by(const std::vector<Holder>& holders) {
    const char* named = std::getenv(kHolderVariable);
    const auto pid = named ? parse_pid(named) : std::nullopt;
    if (!pid) return false;
    for (const Holder& h : holders)
        if (h.pid == *pid) return true;
    return false;
}

std::string in_use(std::string_view name, const std::vector<Holder>& holders) {
    if (holders.empty()) return std::string(name) + " is in use by another program";
    return std::string(name) + " is in use by PID " + std::to_string(holders[0].pid) + " (" + holders[0].command + ")";
}

std::string cannot_lock(std::string_view name, const fs::path& file, const std::string& why) {
    return "cannot lock " + std::string(name) + ": " + file.string() + ": " + why;
}

}  // namespace

std::unique_ptr<UseLock> UseLock::take(const fs::path& file, std::string_view name, Use use,
                                       std::chrono::milliseconds wait, std::string* error, Failure* failure) {
    *failure = Failure::Unusable;
    // Never through a link: a writer empties the file.
    int fd = sys::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = sys::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0);
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR || e == EACCES || e == EROFS || e == EPERM)
            return std::unique_ptr<UseLock>(new UseLock(-1, use, How::Unlocked));
        *error = cannot_lock(name, file, e == ELOOP ? "a link, not a lock file" : std::strerror(e));
        return nullptr;
    }
    struct stat st {};
    const bool stated = sys::fstat(fd, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
        *error = cannot_lock(name, file, stated ? "not a regular file" : std::strerror(errno));
        sys::close(fd);
        return nullptr;
    }
    const auto deadline = Clock::now() + wait;
    auto pause = std::chrono::milliseconds(2);
    while (sys::flock(fd, (use == Use::Write ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int e = errno;
        if (e != EWOULDBLOCK) {
            *error = cannot_lock(name, file, std::strerror(e));
            sys::close(fd);
            return nullptr;
        }
        // Who has it matters to a program started by the holder, and for
        // the message once the wait is over.
        const auto now = Clock::now();
        const bool over = now >= deadline;
        if (over || std::getenv(kHolderVariable)) {
            const std::vector<Holder> who = holders_of(fd, st);
            if (started_by(who)) {
                sys::close(fd);
                return std::unique_ptr<UseLock>(new UseLock(-1, use, How::UnderHolder));
            }
            if (over) {
                *failure = Failure::InUse;
                *error = in_use(name, who);
                sys::close(fd);
                return nullptr;
            }
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    if (use == Use::Write) {
        const std::string note = std::to_string(::getpid()) + " " + command_of(::getpid()) + "\n";
        if (sys::ftruncate(fd, 0) == 0) (void)sys::pwrite(fd, note.data(), note.size(), 0);
        ::setenv(kHolderVariable, std::to_string(::getpid()).c_str(), 1);
    }
    return std::unique_ptr<UseLock>(new UseLock(fd, use, How::Held));
}

UseLock::~UseLock() {
    if (m_fd < 0) return;
    if (m_use == Use::Write) {
        (void)sys::ftruncate(m_fd, 0);
        const char* named = std::getenv(kHolderVariable);
        if (named && std::to_string(::getpid()) == named) ::unsetenv(kHolderVariable);
    }
    sys::close(m_fd);
}

std::vector<Holder> holders(const fs::path& file) {
    int fd = sys::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0);
    if (fd < 0) return {};
    struct stat st {};
    std::vector<Holder> found;
    if (sys::fstat(fd, &st) == 0) found = holders_of(fd, st);
    sys::close(fd);
    return found;
}

std::string command_of(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::string text = read_text(proc + "/cmdline", 4096);
    if (!text.empty() && text.back() == '\0') text.pop_back();
    if (text.empty()) {
        text = read_text(proc + "/comm", 64);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text.empty() ? "unknown" : text;
    }
    // The program without its folder; the arguments separated by spaces.
    const size_t end = text.find('\0');
    const size_t slash = text.rfind('/', end);
    if (slash != std::string::npos) text.erase(0, slash + 1);
    for (char& c : text)
        if (c == '\0') c = ' ';
    if (text.size() > kCommandLimit) {
        size_t cut = kCommandLimit;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
        text += "...";
    }
    return text;
}

std::optional<std::chrono::milliseconds> parse_wait(std::string_view seconds) {
    const size_t dot = seconds.find('.');
    const std::string_view whole = seconds.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? "" : seconds.substr(dot + 1);
    auto digits = [](std::string_view s) { return s.find_first_not_of("0123456789") == std::string_view::npos; };
    if (whole.empty() || whole.size() > 7 || !digits(whole) || !digits(fraction) ||
        (dot != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    const long long s = std::stoll(std::string(whole));
    long long ms = 0;
    for (size_t i = 0; i < 3; ++i) ms = ms * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    if (s > 1000000 || (s == 1000000 && ms > 0)) return std::nullopt;
    return std::chrono::milliseconds(s * 1000 + ms);
}

}  // namespace orva::lock
