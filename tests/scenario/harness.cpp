// The scenario tests' way of running the programs.
#include "tests/scenario/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace orva::test {

std::string utility_path() { return std::string(ORVA_BIN_DIR) + "/orva-utility"; }
std::string controller_tool_path() { return std::string(ORVA_BIN_DIR) + "/orva-controller"; }

RunResult run_program(const std::vector<std::string>& argv, const std::string& input,
                      const std::vector<std::string>& env, const std::function<void(pid_t)>& meanwhile) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) || pipe2(out_pipe, O_CLOEXEC) || pipe2(err_pipe, O_CLOEXEC)) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> env_strings;
    for (char** e = environ; *e; ++e) {
        std::string s = *e;
        // The programs under test must not find a display, the operator's
        // controller or a lock holder that started this test.
        if (s.rfind("DISPLAY=", 0) == 0 || s.rfind("WAYLAND_DISPLAY=", 0) == 0 || s.rfind("ORVA_CONTROLLER=", 0) == 0 ||
            s.rfind("ORVA_LOCK_HOLDER=", 0) == 0)
            continue;
        env_strings.push_back(s);
    }
    for (auto& e : env) env_strings.push_back(e);
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    RunResult result;
    if (rc != 0) {
        close(in_pipe[1]);
        close(out_pipe[0]);
        close(err_pipe[0]);
        result.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
        return result;
    }
    std::thread beside;
    if (meanwhile) beside = std::thread(meanwhile, pid);
    size_t written = 0;
    int in_fd = in_pipe[1];
    if (input.empty()) {
        close(in_fd);
        in_fd = -1;
    } else {
        fcntl(in_fd, F_SETFL, O_NONBLOCK);
    }
    bool out_open = true, err_open = true;
    char buf[65536];
    while (out_open || err_open) {
        pollfd fds[3];
        int n = 0;
        if (out_open) fds[n++] = {out_pipe[0], POLLIN, 0};
        if (err_open) fds[n++] = {err_pipe[0], POLLIN, 0};
        if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == in_fd) {
                ssize_t w = write(in_fd, input.data() + written, input.size() - written);
                if (w > 0) written += size_t(w);
                if (w < 0 || written == input.size()) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            ssize_t r = read(fds[i].fd, buf, sizeof buf);
            if (r <= 0) {
                if (fds[i].fd == out_pipe[0]) out_open = false;
                else err_open = false;
                continue;
            }
            (fds[i].fd == out_pipe[0] ? result.out : result.err).append(buf, size_t(r));
        }
    }
    if (in_fd >= 0) close(in_fd);
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    // Joined before the program is reaped, so that its process id is not
    // another's while `meanwhile` may still use it.
    if (beside.joinable()) beside.join();
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

TempController::TempController(const std::vector<std::string>& init_args) {
    char tmpl[] = "/tmp/orva-test-XXXXXX";
    char* made = mkdtemp(tmpl);
    if (!made) throw std::runtime_error("mkdtemp failed");
    m_dir = std::filesystem::path(made) / "controller";
    std::vector<std::string> argv{controller_tool_path(), "init", m_dir.string()};
    argv.insert(argv.end(), init_args.begin(), init_args.end());
    // The factory identity, which the tests compare with, unless they give one.
    if (std::find(init_args.begin(), init_args.end(), "--serial") == init_args.end())
        argv.insert(argv.end(),
                    {"--serial", "0123456789ABCDEF", "--mac1", "02:00:00:00:00:01", "--mac2", "02:00:00:00:00:02"});
    RunResult r = run_program(argv);
    if (r.exit_code != 0) throw std::runtime_error("orva-controller init failed: " + r.err);
}

TempController::~TempController() {
    std::error_code ec;
    std::filesystem::remove_all(m_dir.parent_path(), ec);
}

RunResult TempController::run(const std::string& script, const std::vector<std::string>& extra) const {
    std::vector<std::string> argv{utility_path(), "--controller", m_dir.string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back("-");
    return run_program(argv, script);
}

RunResult TempController::command(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{utility_path(), "-C", m_dir.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv);
}

RunResult TempController::tool(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{controller_tool_path(), "-C", m_dir.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv);
}

std::string TempController::reg_get(const std::string& key, const std::string& value) const {
    RunResult r = tool({"reg", "get", key, value});
    if (r.exit_code != 0) return "";
    auto l = lines(r.out);
    return l.empty() ? "" : l[0];
}

std::string TempController::saved_get(const std::string& key, const std::string& value) const {
    RunResult r = tool({"reg", "--saved", "get", key, value});
    if (r.exit_code != 0) return "";
    auto l = lines(r.out);
    return l.empty() ? "" : l[0];
}

void TempController::reg_set(const std::string& key, const std::string& value, const std::string& type,
                             const std::string& data, int size) const {
    std::vector<std::string> args{"reg", "set", key, value, type, data};
    if (size >= 0) {
        args.push_back("--size");
        args.push_back(std::to_string(size));
    }
    RunResult r = tool(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
}

std::vector<std::string> TempController::log() const { return lines(tool({"log"}).out); }

void TempController::clear_log() const { tool({"log", "--clear"}); }

void TempController::set_config(const std::string& section, const std::string& key, const std::string& value) const {
    std::filesystem::path path = m_dir / "controller.toml";
    std::ifstream in(path);
    std::vector<std::string> text;
    for (std::string l; std::getline(in, l);) text.push_back(l);
    in.close();
    std::string current;
    bool done = false;
    size_t section_end = std::string::npos;
    for (size_t i = 0; i < text.size() && !done; ++i) {
        std::string t = text[i];
        size_t first = t.find_first_not_of(" \t");
        if (first != std::string::npos && t[first] == '[') {
            if (current == section) section_end = i;
            current = t.substr(first + 1, t.find(']') - first - 1);
            continue;
        }
        if (current != section || first == std::string::npos || t[first] == '#') continue;
        std::string name = t.substr(first, t.find_first_of(" =", first) - first);
        if (name == key) {
            text[i] = key + " = " + value;
            done = true;
        }
    }
    if (!done) {
        if (current == section && section_end == std::string::npos) section_end = text.size();
        if (section_end == std::string::npos) {
            text.push_back("[" + section + "]");
            section_end = text.size();
        }
        text.insert(text.begin() + long(section_end), key + " = " + value);
    }
    std::ofstream out(path, std::ios::trunc);
    for (auto& l : text) out << l << "\n";
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

std::string id(int control) { return std::to_string(control); }
std::string click(int control) { return "click " + id(control) + "\n"; }
std::string show(int control) { return "show " + id(control) + "\n"; }
std::string select(int control, int item) { return "select " + id(control) + " " + std::to_string(item) + "\n"; }

std::string type(int control, const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return "type " + id(control) + " " + quoted + "\"\n";
}

}  // namespace orva::test
