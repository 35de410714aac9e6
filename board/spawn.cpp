// Starting a program and waiting for it. The parent's calls go through the
// system call table; between fork and exec the child makes only real calls.
#include "board/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "common/syscalls.h"

extern char** environ;

namespace orva::board {

int run_and_wait(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeout_ms,
                 std::string* why) {
    if (argv.empty() || argv[0].empty()) return *why = "no program given", -1;
    // Everything the child needs is made before fork.
    std::map<std::string, std::string> merged;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        merged[entry.substr(0, entry.find('='))] = entry;
    }
    for (const std::string& entry : env) merged[entry.substr(0, entry.find('='))] = entry;
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (auto& [name, entry] : merged) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    int report[2];
    if (sys::pipe2(report, O_CLOEXEC) != 0) return *why = std::string("pipe: ") + std::strerror(errno), -1;
    const pid_t pid = sys::fork();
    if (pid == 0) {
        ::close(report[0]);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) ::dup2(null, STDIN_FILENO);
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        ::execvpe(args[0], args.data(), envp.data());
        const int error = errno;
        (void)!::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    const int fork_error = errno;
    sys::close(report[1]);
    if (pid < 0) {
        sys::close(report[0]);
        return *why = std::string("fork: ") + std::strerror(fork_error), -1;
    }
    int exec_error = 0;
    const bool exec_failed = sys::read(report[0], &exec_error, sizeof exec_error) == ssize_t(sizeof exec_error);
    sys::close(report[0]);

    int status = 0;
    bool killed = false;
    for (int waited = 0;; waited += 10) {
        const pid_t r = sys::waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0) return *why = std::string("waitpid: ") + std::strerror(errno), -1;
        if (waited >= timeout_ms && !killed) {
            sys::kill(pid, SIGKILL);
            killed = true;
        }
        timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    if (exec_failed) return *why = argv[0] + ": " + std::strerror(exec_error), -1;
    if (killed) return *why = argv[0] + ": killed after " + std::to_string(timeout_ms / 1000) + " s", -1;
    if (WIFSIGNALED(status)) return *why = argv[0] + ": ended by signal " + std::to_string(WTERMSIG(status)), -1;
    const int code = WEXITSTATUS(status);
    if (code != 0) *why = argv[0] + ": exit status " + std::to_string(code);
    return code;
}

}  // namespace orva::board
