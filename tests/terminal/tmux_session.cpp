// tmux as the terminal the tests type into and read from.
#include "tmux_session.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace orva::test {

std::string shell(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::string shell_quoted(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

TmuxSession::TmuxSession(const std::string& command, int cols, int rows, const std::string& term,
                         const std::string& lang) {
    static std::atomic<int> counter{0};
    m_socket = "orva-term-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    // No gpm: tmux is no Linux console, and ncurses would load libgpm for
    // TERM=linux (which leaves an allocation the leak checker reports).
    std::string inner = "env TERM=" + term + " LANG=" + lang + " LC_ALL=" + lang +
                        " NCURSES_NO_UTF8_ACS=1 NCURSES_GPM_TERMS= " + command + "; echo \"[exit $?]\"; sleep 600";
    shell(tmux() + " -f /dev/null new-session -d -s t -x " + std::to_string(cols) + " -y " + std::to_string(rows) +
          " " + shell_quoted(inner) + " 2>&1");
}

TmuxSession::~TmuxSession() { shell(tmux() + " kill-server 2>/dev/null"); }

std::string TmuxSession::tmux() const { return "tmux -L " + m_socket; }

void TmuxSession::keys(const std::vector<std::string>& names) const {
    for (auto& k : names) {
        shell(tmux() + " send-keys -t t " + shell_quoted(k));
        // One key at a time, as a person types: Esc and the next key must not
        // arrive together (they would read as Alt+key).
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
}

void TmuxSession::type(const std::string& text) const {
    shell(tmux() + " send-keys -t t -l " + shell_quoted(text));
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
}

void TmuxSession::resize(int cols, int rows) const {
    shell(tmux() + " resize-window -t t -x " + std::to_string(cols) + " -y " + std::to_string(rows));
}

std::string TmuxSession::screen() const { return shell(tmux() + " capture-pane -p -t t"); }

std::string TmuxSession::row_with_attributes(int row) const {
    std::string r = std::to_string(row);
    return shell(tmux() + " capture-pane -p -e -t t -S " + r + " -E " + r);
}

TmuxSession::Cursor TmuxSession::cursor() const {
    Cursor c;
    int shown = 0;
    std::string out = shell(tmux() + " display -p -t t '#{cursor_flag} #{cursor_x} #{cursor_y}'");
    if (std::sscanf(out.c_str(), "%d %d %d", &shown, &c.col, &c.row) == 3) c.shown = shown != 0;
    return c;
}

bool TmuxSession::wait_for(const std::string& text, int timeout_ms, std::string* last) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string s;
    do {
        s = screen();
        if (s.find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < end);
    if (last) *last = s;
    return false;
}

bool TmuxSession::wait_gone(const std::string& text, int timeout_ms) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    do {
        if (screen().find(text) == std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

}  // namespace orva::test
