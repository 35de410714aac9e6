// The frontend of the one-shot commands: no screen and no script. A command
// plans its work as steps, each doing what an operator does on the pages
// (choose a tab, type, choose a list item, press a button) or reading what
// the page shows; the steps run one at a time whenever the program waits for
// input. Message boxes are answered from a queue that the steps fill, boxes
// that report a failure are printed on standard error, and at the end the
// sheet is closed and the exit prompt answered as the command says.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/frontend.h"

namespace orva::command {

class CommandFrontend : public platform::Frontend {
public:
    using Step = std::function<void()>;

    // `end` ends the process with an exit code (it does not return); it is
    // called only when the program keeps waiting after the sheet was closed.
    explicit CommandFrontend(std::function<void(int)> end);

    // --- planning ---------------------------------------------------------
    void add_step(Step step);
    // Queues the answer (IDOK, IDCANCEL, IDYES, IDNO, ...) for the next box that
    // asks a question, or for the next notice box (a single OK button, no
    // icon) that the command expects.
    void answer(int id);
    // How the sheet is closed when the steps are done: the exit prompt
    // answered Yes and Yes when `save` (and the reboot offer Yes when
    // `reboot`), otherwise No. After a failure it is always answered No.
    void close_with(bool save, bool reboot);
    // Writes each new text of control `id` on standard error, as progress
    // ("orva-utility: TEXT"): one line rewritten in place on a terminal, else
    // a line per text.
    void follow_status(int id, bool terminal);
    // Takes a line that says why something underneath failed (the flash
    // file's error); it is printed under the next failure, or at the end.
    void reason(const std::string& line);
    // Called once with the exit code when the command ends: the program
    // ended, the controller rebooted, or finish() was called.
    void on_end(std::function<void(int)> done) { m_done = std::move(done); }
    // Prints the reasons left and calls what on_end() gave, unless it was
    // called already.
    void finish();

    // --- what the steps do --------------------------------------------------
    // The operator's actions on the current page (the sheet's page or the
    // open dialog box). Pressing something gives the program work to do, so
    // the step after it runs once the program waits again.
    void select_page(int index);
    void type(int id, const std::u16string& text);
    void choose(int id, int index);
    void click(int id);
    // The current page's control, its text, its list items and selection.
    const platform::Window* control(int id) const;
    std::u16string text(int id) const;
    // Every line of kernel debug output so far.
    const std::vector<std::u16string>& debug_lines() const { return m_debug; }

    // Prints "orva-utility: MESSAGE" on standard error, and under it the
    // reasons taken so far, and makes the command fail with `code` (1 the
    // operation failed, 2 a bad argument); the steps left are skipped and the
    // sheet is closed without saving.
    void fail(const std::string& message, int code = 1);
    bool failed() const { return m_code != 0; }
    int exit_code() const { return m_code; }
    // The first failure's message ("" when none).
    const std::string& failure() const { return m_failure; }
    // One line of the command's result on standard output.
    void print(const std::string& line);

    // --- platform::Frontend -------------------------------------------------
    void window_changed(const platform::Window& w, platform::Change change, int value, bool by_application) override;
    void wait_for_input() override;
    int message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) override;
    bool open_file(HWND owner, const platform::OpenFileRequest& request, std::u16string* path) override;
    void debug_output(std::u16string_view text) override;
    void rebooting() override;
    // A stop signal ends the command before it is done: its failure, said
    // on standard error by the program as it ends.
    void stopping(int signal) override;
    void program_ending(int exit_code) override;

private:
    // Ends a progress line left open on a terminal.
    void end_progress();
    // Prints the reasons taken and not yet printed.
    void print_reasons();

    std::function<void(int)> m_end;
    std::function<void(int)> m_done;
    std::string m_failure;
    std::deque<Step> m_steps;
    std::deque<int> m_answers;
    bool m_save = false;
    bool m_reboot = false;
    bool m_closed = false;
    bool m_posted = false;
    int m_code = 0;
    int m_status_id = 0;
    bool m_status_terminal = false;
    bool m_status_open = false;
    std::u16string m_last_status;
    std::vector<std::u16string> m_debug;
    std::vector<std::string> m_reasons;
};

}  // namespace orva::command
