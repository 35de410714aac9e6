// One writer at a time on a controller: commands run at once never lose a
// write, a program that has the controller makes the others wait and then
// fail with who has it, changing nothing; readers share it; a killed holder
// blocks nobody; a program started by the holder works under its lock.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "common/use_lock.h"
#include "tests/scenario/harness.h"

extern char** environ;

namespace orva::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Another program that has the controller (or a board): flock(1) holding
// its lock file (closed before sleep starts, so that killing flock releases
// it).
class LockHolder {
public:
    LockHolder(const TempController& c, bool shared)
        : LockHolder(c.dir() / "controller.lock", "controller " + c.dir().string(), shared) {}
    LockHolder(const fs::path& file, std::string name, bool shared) : m_file(file.string()), m_name(std::move(name)) {
        m_argv = {"flock", shared ? "-s" : "-x", "-o", m_file, "sleep", "60"};
        std::vector<char*> argv;
        for (std::string& a : m_argv) argv.push_back(a.data());
        argv.push_back(nullptr);
        // flock runs sleep as its child: in a group of their own, both end
        // together, and no sleep outlives the test holding its output open.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        EXPECT_EQ(posix_spawnp(&m_pid, "flock", nullptr, &attr, argv.data(), environ), 0);
        posix_spawnattr_destroy(&attr);
        for (int i = 0; i < 500 && lock::holders(m_file).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~LockHolder() { kill(); }

    // "controller DIR is in use by PID N (flock ...)" (or "board FILE ...").
    std::string in_use() const {
        std::string command;
        for (const std::string& a : m_argv) command += (command.empty() ? "" : " ") + a;
        return m_name + " is in use by PID " + std::to_string(m_pid) + " (" + command + ")";
    }
    pid_t pid() const { return m_pid; }
    void kill() {
        if (m_pid <= 0) return;
        ::kill(-m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }

private:
    std::string m_file, m_name;
    std::vector<std::string> m_argv;
    pid_t m_pid = 0;
};

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Twenty `autorun N PATH` at once, ten on each of two controllers: each row
// a command of its own. Every command lands or says why it did not; the
// rows left are exactly those of the commands that landed.
TEST(ControllerLock, CommandsRunAtOnceNeverLoseAWrite) {
    TempController a, b;
    const TempController* controllers[] = {&a, &b};
    std::vector<RunResult> results(20);
    std::vector<std::thread> threads;
    for (int k = 0; k < 20; ++k) {
        threads.emplace_back([&, k] {
            const TempController& c = *controllers[k % 2];
            const int row = k / 2 + 1;
            results[size_t(k)] = c.command({"--wait", "60", "autorun", std::to_string(row), "\\p" + std::to_string(k)});
        });
    }
    for (std::thread& t : threads) t.join();
    for (int n = 0; n < 2; ++n) {
        std::vector<std::string> expected;
        for (int row = 1; row <= 10; ++row) {
            const int k = (row - 1) * 2 + n;
            const RunResult& r = results[size_t(k)];
            if (r.exit_code == 0) {
                expected.push_back(std::to_string(row) + " \\p" + std::to_string(k));
            } else {
                EXPECT_EQ(r.exit_code, 1);
                EXPECT_NE(r.err.find(" is in use by PID "), std::string::npos) << r.err;
                expected.push_back(std::to_string(row));
            }
        }
        EXPECT_EQ(lines(controllers[n]->command({"autorun"}).out), expected);
    }
}

TEST(ControllerLock, AWriterMakesOthersWaitAndFailChangingNothingUntilItIsKilled) {
    TempController c;
    const std::vector<std::string> log_before = c.log();
    const std::string row_before = c.reg_get("Init", "Launch80");
    LockHolder holder(c, false);
    // A board is locked in its state directory, and named by its board.toml;
    // nothing of it is opened while another program has it.
    const fs::path board = c.dir() / "board.toml";
    std::ofstream(board) << "[board]\nstate_dir = \"board-state\"\n[flash]\ndevice = \"/dev/null\"\n";
    fs::create_directories(c.dir() / "board-state");
    LockHolder board_holder(c.dir() / "board-state" / "board.lock", "board " + board.string(), false);
    // A command that changes the controller, one that reads it, and
    // orva-controller's of both kinds: each waits, then names the holder.
    struct Row {
        std::vector<std::string> argv;
        const LockHolder& holder;
    } rows[] = {
        {{utility_path(), "-C", c.dir(), "autorun", "1", "\\x.exe", "--wait", "0.5"}, holder},
        {{utility_path(), "-C", c.dir(), "--wait=0.5", "info"}, holder},
        {{controller_tool_path(), "-C", c.dir(), "--wait", "0.5", "reg", "set", "Init", "Launch80", "REG_SZ", "x"},
         holder},
        {{controller_tool_path(), "-C", c.dir(), "reg", "get", "Init", "Launch80", "--wait", "0.5"}, holder},
        {{utility_path(), "--board", board, "--wait", "0.5", "info"}, board_holder},
    };
    for (const Row& row : rows) {
        const Clock::time_point start = Clock::now();
        RunResult r = run_program(row.argv);
        EXPECT_GE(seconds_since(start), 0.5) << row.argv[3];
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, fs::path(row.argv[0]).filename().string() + ": " + row.holder.in_use() + "\n");
    }
    EXPECT_EQ(fs::directory_iterator(c.dir() / "board-state")->path().filename(), "board.lock");
    // The event log is only appended to: it can be read at any time, but
    // not cleared.
    RunResult log = c.tool({"--wait", "0", "log"});
    EXPECT_EQ(log.exit_code, 0) << log.err;
    log = c.tool({"--wait", "0", "log", "--clear"});
    EXPECT_EQ(log.exit_code, 1);
    EXPECT_EQ(log.err, "orva-controller: " + holder.in_use() + "\n");
    holder.kill();
    EXPECT_EQ(c.log(), log_before) << "no device call was made";
    EXPECT_EQ(c.reg_get("Init", "Launch80"), row_before);

    // The killed holder's lock is gone at once.
    RunResult r = c.command({"autorun", "1", "\\x.exe", "--wait", "0"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(c.reg_get("Init", "Launch80"), "REG_SZ 400 \"\\\\x.exe\"");
}

TEST(ControllerLock, ReadersShareItAndAWriterWaitsForThem) {
    TempController c;
    LockHolder reader(c, true);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"info"}, {"display"}, {"autorun", "3"}}) {
        std::vector<std::string> with_wait{"--wait", "0"};
        with_wait.insert(with_wait.end(), args.begin(), args.end());
        RunResult r = c.command(with_wait);
        EXPECT_EQ(r.exit_code, 0) << args[0] << ": " << r.err;
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"reg", "get", "Comm\\FTPD", "DefaultDir"}, {"reg", "export", "Init"}, {"log"}}) {
        std::vector<std::string> with_wait{"--wait", "0"};
        with_wait.insert(with_wait.end(), args.begin(), args.end());
        RunResult r = c.tool(with_wait);
        EXPECT_EQ(r.exit_code, 0) << args[0] << ": " << r.err;
    }
    RunResult r = c.command({"--wait", "0", "autorun", "3", "\\x.exe"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "orva-utility: " + reader.in_use() + "\n");
    r = c.tool({"--wait", "0", "reg", "export", "Init", "--to-fs", "\\Temp\\init.reg"});
    EXPECT_EQ(r.err, "orva-controller: " + reader.in_use() + "\n");
    EXPECT_FALSE(fs::exists(c.fs() / "Temp" / "init.reg"));
}

// The registry viewer the program starts runs orva-controller while the
// program has the controller: the program's PID in ORVA_LOCK_HOLDER lets it
// in; a PID that does not hold the lock does not.
TEST(ControllerLock, AProgramStartedByTheHolderWorksUnderItsLock) {
    TempController c;
    const std::string value = c.reg_get("Comm\\FTPD", "DefaultDir");
    LockHolder holder(c, false);
    const std::vector<std::string> argv{
        controller_tool_path(), "-C", c.dir().string(), "--wait", "0", "reg", "get", "Comm\\FTPD", "DefaultDir"};
    RunResult r = run_program(argv, "", {"ORVA_LOCK_HOLDER=" + std::to_string(holder.pid())});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, value + "\n");
    r = run_program(argv, "", {"ORVA_LOCK_HOLDER=" + std::to_string(getpid())});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "orva-controller: " + holder.in_use() + "\n");
}

TEST(ControllerLock, ABadWaitIsAUsageError) {
    TempController c;
    for (const char* wait : {"-1", "x", "1e3", "", "2.", "1000001"}) {
        RunResult r = c.command({"--wait", wait, "info"});
        EXPECT_EQ(r.exit_code, 2) << wait;
        EXPECT_EQ(r.err, std::string("orva-utility: --wait needs a number of seconds, not \"") + wait + "\"\n");
        r = c.tool({"--wait", wait, "log"});
        EXPECT_EQ(r.exit_code, 2) << wait;
        EXPECT_EQ(r.err, std::string("orva-controller: --wait needs a number of seconds, not \"") + wait +
                             "\" (see orva-controller --help)\n");
    }
}

}  // namespace
}  // namespace orva::test
