// The script frontend: no screen. It takes the operator's actions from a
// parsed script and writes a transcript of what the program showed.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "frontends/script/script.h"
#include "platform/frontend.h"

namespace orva::script {

class ScriptFrontend : public platform::Frontend {
public:
    // `fail` ends the program with exit code 2 after an error has been
    // reported (it must not return).
    ScriptFrontend(std::vector<Command> commands, std::string script_name, std::FILE* out, bool trace,
                   std::function<void()> fail);

    void window_changed(const platform::Window& w, platform::Change change, int value, bool by_application) override;
    void wait_for_input() override;
    int message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) override;
    bool open_file(HWND owner, const platform::OpenFileRequest& request, std::u16string* path) override;
    void debug_output(std::u16string_view text) override;
    void rebooting() override;
    // A signal ended the program: "signal NAME" in the transcript, and the
    // commands left are not held against the script.
    void stopping(int signal) override;
    void program_ending(int exit_code) override;

private:
    [[noreturn]] void error(int line, const std::string& message);
    // Runs one command; true when it gave the program something to do.
    bool run(const Command& cmd);
    HWND control(const Command& cmd);
    std::string owner_text(HWND owner);
    void emit(const std::string& line);

    std::vector<Command> m_commands;
    size_t m_next = 0;
    bool m_stopped = false;
    std::string m_name;
    std::FILE* m_out;
    bool m_trace;
    std::function<void()> m_fail;
    std::deque<std::pair<std::string, int>> m_answers;  // answer and its script line
    std::deque<Command> m_picks;
    int m_last_line = 0;
};

}  // namespace orva::script
