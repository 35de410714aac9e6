// The lock that keeps a controller (or a board) to one writer at a time. A
// program that may change it holds the lock exclusively for its whole run;
// one that only reads it holds the lock shared, so readers never wait for
// each other, only for a writer. The lock is flock(2) on a lock file, which
// the kernel releases when its holder ends, however it ends: a killed holder
// never blocks the next program.
//
// Who holds the lock is read from /proc/locks (readers included); a writer
// also notes "PID COMMAND" in the lock file while it holds it, for when
// /proc/locks cannot tell.
//
// A writer puts its PID in the environment (ORVA_LOCK_HOLDER), so that the
// programs it starts inherit it: such a program (the registry viewer runs
// orva-controller) works under the writer's lock while that writer holds it,
// instead of waiting for its own parent.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::lock {

enum class Use { Read, Write };

inline constexpr const char* kHolderVariable = "ORVA_LOCK_HOLDER";
inline constexpr std::chrono::milliseconds kDefaultWait{10000};

class UseLock {
public:
    // How the lock is had: held by this process; used under the lock of the
    // writer that started it; or not at all, because no lock file can be
    // made where it belongs (a read-only directory, or none at all: opening
    // what is not there fails on its own).
    enum class How { Held, UnderHolder, Unlocked };

    // Why take() failed: another program kept the lock past the wait, or the
    // lock file cannot be used.
    enum class Failure { InUse, Unusable };

    // Takes the lock on `file` (made when missing) for `use`, trying again
    // until `wait` has passed. On failure nullptr, `*failure` and `*error`:
    // "NAME is in use by PID N (COMMAND)", naming a writer before a reader,
    // or "cannot lock NAME: FILE: reason" when the lock file cannot be used.
    // NAME says what is locked ("controller /srv/c", "board /etc/b.toml").
    static std::unique_ptr<UseLock> take(const std::filesystem::path& file, std::string_view name, Use use,
                                         std::chrono::milliseconds wait, std::string* error, Failure* failure);

    // Releases the lock; a writer empties the lock file's note first.
    ~UseLock();
    UseLock(const UseLock&) = delete;
    UseLock& operator=(const UseLock&) = delete;

    How how() const { return m_how; }

private:
    UseLock(int fd, Use use, How how) : m_fd(fd), m_use(use), m_how(how) {}

    int m_fd;
    Use m_use;
    How m_how;
};

// A process that holds the lock.
struct Holder {
    pid_t pid = 0;
    std::string command;  // its command line, program name without the folder
    bool writes = false;
};

// Who holds the lock on `file` now, writers first; empty when nobody does or
// nobody can be named.
std::vector<Holder> holders(const std::filesystem::path& file);

// The command line of process `pid` as the messages show it: the program's
// name without its folder, then its arguments, cut at 200 bytes; its name
// alone when the arguments cannot be read; "unknown" when that cannot either.
std::string command_of(pid_t pid);

// A --wait value: seconds, whole or with a fraction, from 0 to 1000000.
std::optional<std::chrono::milliseconds> parse_wait(std::string_view seconds);

}  // namespace orva::lock
