// The one-shot commands' frontend: steps, answers, failures and progress.
#include "frontends/command/command_frontend.h"

#include <cstdio>
#include <cstring>

#include "platform/message_box_style.h"
#include "platform/operator.h"
#include "platform/text.h"
#include "platform/window_model.h"

namespace orva::command {

using platform::Change;
using platform::Kind;
using platform::Window;

CommandFrontend::CommandFrontend(std::function<void(int)> end) : m_end(std::move(end)) {}

void CommandFrontend::add_step(Step step) { m_steps.push_back(std::move(step)); }

void CommandFrontend::answer(int id) { m_answers.push_back(id); }

void CommandFrontend::close_with(bool save, bool reboot) {
    m_save = save;
    m_reboot = reboot;
}

void CommandFrontend::follow_status(int id, bool terminal) {
    m_status_id = id;
    m_status_terminal = terminal;
}

void CommandFrontend::reason(const std::string& line) { m_reasons.push_back(line); }

void CommandFrontend::print_reasons() {
    if (m_reasons.empty()) return;
    end_progress();
    for (const std::string& line : m_reasons) std::fprintf(stderr, "orva-utility: %s\n", line.c_str());
    std::fflush(stderr);
    m_reasons.clear();
}

void CommandFrontend::select_page(int index) {
    if (HWND sheet = platform::active_sheet()) {
        platform::select_page(sheet, index);
        m_posted = true;
    } else {
        fail("the sheet is not open");
    }
}

const Window* CommandFrontend::control(int id) const {
    HWND dialog = platform::active_dialog();
    return dialog ? platform::find_window(platform::find_control(dialog, id)) : nullptr;
}

std::u16string CommandFrontend::text(int id) const {
    const Window* w = control(id);
    return w ? w->text : std::u16string();
}

void CommandFrontend::type(int id, const std::u16string& text) {
    const Window* w = control(id);
    if (!w || w->kind != Kind::Edit) return fail("the page has no edit " + std::to_string(id));
    platform::type_text(w->handle, text);
}

void CommandFrontend::choose(int id, int index) {
    const Window* w = control(id);
    if (!w || w->kind != Kind::ComboBox) return fail("the page has no list " + std::to_string(id));
    platform::choose_item(w->handle, index);
}

void CommandFrontend::click(int id) {
    const Window* w = control(id);
    if (!w || w->kind != Kind::Button) return fail("the page has no button " + std::to_string(id));
    platform::press_button(w->handle);
    m_posted = true;
}

void CommandFrontend::fail(const std::string& message, int code) {
    end_progress();
    std::fflush(stdout);
    std::fprintf(stderr, "orva-utility: %s\n", message.c_str());
    std::fflush(stderr);
    print_reasons();
    if (m_code == 0) {
        m_code = code;
        m_failure = message;
    }
}

void CommandFrontend::finish() {
    print_reasons();
    end_progress();
    if (!m_done) return;
    auto done = std::move(m_done);
    m_done = nullptr;
    done(m_code);
    std::fflush(stdout);
}

void CommandFrontend::print(const std::string& line) {
    end_progress();
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

void CommandFrontend::end_progress() {
    if (!m_status_open) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    m_status_open = false;
}

void CommandFrontend::window_changed(const Window& w, Change change, int, bool by_application) {
    if (!m_status_id || w.id != m_status_id || w.kind != Kind::Static || change != Change::Text || !by_application)
        return;
    if (w.text == m_last_status) return;
    m_last_status = w.text;
    const std::string line = platform::to_utf8(w.text);
    if (m_status_terminal) {
        std::fprintf(stderr, "\rorva-utility: %s\x1b[K", line.c_str());
        m_status_open = true;
    } else {
        std::fprintf(stderr, "orva-utility: %s\n", line.c_str());
    }
    std::fflush(stderr);
}

void CommandFrontend::wait_for_input() {
    while (!m_steps.empty() && !failed()) {
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        m_posted = false;
        step();
        if (m_posted) return;
    }
    if (!m_closed) {
        // The steps are done (or one failed): close the sheet, which asks
        // the exit prompt.
        m_closed = true;
        m_steps.clear();
        m_answers.clear();
        if (m_save && !failed()) {
            for (int id : {IDYES, IDYES, m_reboot ? IDYES : IDNO}) m_answers.push_back(id);
        } else {
            m_answers.push_back(IDNO);
        }
        if (HWND sheet = platform::active_sheet()) {
            platform::press_sheet_cancel(sheet);
            return;
        }
        fail("the sheet is not open");
    } else {
        fail("the program did not end when its sheet was closed");
    }
    finish();
    std::fflush(stdout);
    m_end(m_code);
}

int CommandFrontend::message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) {
    const platform::MessageBoxStyle style = platform::message_box_style(owner, flags);
    const std::string box = platform::to_utf8(caption) + ": " + platform::to_utf8(text);
    if (style.buttons.size() == 1) {
        // A single button reports something: a failure when it carries an
        // exclamation or stop icon, and also when it carries no icon and the
        // command did not expect it (the settings pages report failures so).
        const bool alarming = style.icon == platform::BoxIcon::Exclamation || style.icon == platform::BoxIcon::Stop;
        if (alarming) {
            fail(box);
        } else if (style.icon == platform::BoxIcon::None && !m_answers.empty() &&
                   m_answers.front() == style.buttons[0].id) {
            m_answers.pop_front();
        } else if (style.icon == platform::BoxIcon::None) {
            fail(box);
        }
        return style.buttons[0].id;
    }
    if (m_answers.empty() || !style.button(m_answers.front())) {
        // A question the command did not foresee gets the answer that changes nothing.
        fail(box + " (not expected by the command; answered " + platform::to_utf8(style.button(style.escape)->label) +
             ")");
        return style.escape;
    }
    const int id = m_answers.front();
    m_answers.pop_front();
    return id;
}

bool CommandFrontend::open_file(HWND, const platform::OpenFileRequest&, std::u16string*) { return false; }

void CommandFrontend::debug_output(std::u16string_view text) { m_debug.emplace_back(text); }

void CommandFrontend::rebooting() {
    print_reasons();
    end_progress();
}

void CommandFrontend::stopping(int signal) {
    if (m_code != 0) return;
    m_code = 128 + signal;
    m_failure = std::string("ended by SIG") + sigabbrev_np(signal) + "; the controller is closed";
}

void CommandFrontend::program_ending(int) {
    finish();
    std::fflush(stdout);
}

}  // namespace orva::command
