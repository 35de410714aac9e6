// A program run in a pseudo-terminal of a private tmux server: keys are sent
// to it as a terminal would send them, and the screen is read back as text.
#pragma once

#include <string>
#include <vector>

namespace orva::test {

// Runs a shell command and returns what it printed; `status` gets its exit code.
std::string shell(const std::string& command, int* status = nullptr);
// Quotes a word for the shell.
std::string shell_quoted(const std::string& word);

class TmuxSession {
public:
    // Starts `command` (a shell command line) in a cols x rows terminal of type
    // `term`, in the locale `lang` (UTF-8 unless told). When it ends,
    // "[exit N]" is shown.
    TmuxSession(const std::string& command, int cols = 80, int rows = 24, const std::string& term = "xterm-256color",
                const std::string& lang = "C.UTF-8");
    ~TmuxSession();
    TmuxSession(const TmuxSession&) = delete;
    TmuxSession& operator=(const TmuxSession&) = delete;

    // Named keys as tmux knows them ("Tab", "BTab", "Enter", "Escape", "F4", "Down").
    void keys(const std::vector<std::string>& names) const;
    // Text typed as it stands.
    void type(const std::string& text) const;
    void resize(int cols, int rows) const;
    // The screen now, one line per row.
    std::string screen() const;
    // One row of the screen with the escape sequences of its colours and
    // attributes (SGR), as tmux gives it.
    std::string row_with_attributes(int row) const;
    // Where the terminal's cursor is, and whether it is shown.
    struct Cursor {
        bool shown = false;
        int col = -1, row = -1;
    };
    Cursor cursor() const;
    // Waits until the screen shows `text`; false (and the screen in `last`)
    // after the timeout.
    bool wait_for(const std::string& text, int timeout_ms = 10000, std::string* last = nullptr) const;
    // Waits until the screen no longer shows `text`.
    bool wait_gone(const std::string& text, int timeout_ms = 10000) const;

private:
    std::string tmux() const;
    std::string m_socket;
};

}  // namespace orva::test
