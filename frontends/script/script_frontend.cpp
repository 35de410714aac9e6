// The script frontend's commands and transcript.
#include "frontends/script/script_frontend.h"

#include <cstring>

#include "platform/message_box_style.h"
#include "platform/open_file_model.h"
#include "platform/operator.h"
#include "platform/text.h"

namespace orva::script {

using platform::Change;
using platform::Kind;
using platform::Window;

namespace {

// An answer's word as scripts and transcripts write it: "OK", "CANCEL".
std::string upper(std::string_view word) {
    std::string out(word);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
}

}  // namespace

ScriptFrontend::ScriptFrontend(std::vector<Command> commands, std::string script_name, std::FILE* out, bool trace,
                               std::function<void()> fail)
    : m_commands(std::move(commands)),
      m_name(std::move(script_name)),
      m_out(out),
      m_trace(trace),
      m_fail(std::move(fail)) {}

void ScriptFrontend::emit(const std::string& line) {
    std::fputs(line.c_str(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void ScriptFrontend::error(int line, const std::string& message) {
    std::fflush(m_out);
    if (line > 0) std::fprintf(stderr, "orva-utility: %s:%d: %s\n", m_name.c_str(), line, message.c_str());
    else std::fprintf(stderr, "orva-utility: %s: %s\n", m_name.c_str(), message.c_str());
    std::fflush(stderr);
    m_fail();
    std::abort();  // m_fail does not return
}

void ScriptFrontend::window_changed(const Window& w, Change change, int value, bool by_application) {
    if (!m_trace || !by_application || w.id <= 0) return;
    switch (w.kind) {
        case Kind::Dialog:
        case Kind::Sheet:
        case Kind::Window:
        case Kind::CommandBar:
            return;
        default:
            break;
    }
    std::string id = std::to_string(w.id);
    switch (change) {
        case Change::Text:
            emit("text " + id + " " + quote(w.text));
            break;
        case Change::ItemAdded:
            if (const auto* list = w.as<platform::ComboBoxState>();
                list && value >= 0 && size_t(value) < list->items.size())
                emit("item " + id + " " + quote(list->items[size_t(value)]));
            break;
        case Change::Selection:
            if (const auto* list = w.as<platform::ComboBoxState>())
                emit("sel " + id + " " + std::to_string(list->cursel));
            break;
        case Change::Range:
            if (const auto* bar = w.as<platform::ProgressState>())
                emit("range " + id + " " + std::to_string(bar->low) + " " + std::to_string(bar->high));
            break;
        case Change::Position:
            if (const auto* bar = w.as<platform::ProgressState>()) emit("pos " + id + " " + std::to_string(bar->pos));
            break;
        default:
            break;
    }
}

HWND ScriptFrontend::control(const Command& cmd) {
    HWND dialog = platform::active_dialog();
    if (!dialog) error(cmd.line, "no page or dialog is open");
    HWND h = platform::find_control(dialog, cmd.id);
    if (!h) error(cmd.line, "no control " + std::to_string(cmd.id) + " on the current page");
    return h;
}

bool ScriptFrontend::run(const Command& cmd) {
    using V = Command::Verb;
    m_last_line = cmd.line;
    switch (cmd.verb) {
        case V::Answer:
            for (auto& a : cmd.answers) m_answers.emplace_back(a, cmd.line);
            return false;
        case V::Pick:
            m_picks.push_back(cmd);
            return false;
        case V::Tab: {
            HWND sheet = platform::active_sheet();
            if (!sheet) error(cmd.line, "the sheet is not open");
            platform::select_page(sheet, cmd.id - 1);
            return true;
        }
        case V::Ok:
        case V::Cancel: {
            HWND sheet = platform::active_sheet();
            if (!sheet) error(cmd.line, "the sheet is not open");
            if (cmd.verb == V::Ok) platform::press_sheet_ok(sheet);
            else platform::press_sheet_cancel(sheet);
            return true;
        }
        case V::Type: {
            HWND h = control(cmd);
            if (platform::find_window(h)->kind != Kind::Edit)
                error(cmd.line, "control " + std::to_string(cmd.id) + " is not an edit");
            platform::type_text(h, cmd.text);
            return false;
        }
        case V::Select: {
            HWND h = control(cmd);
            Window* w = platform::find_window(h);
            const auto* list = w->as<platform::ComboBoxState>();
            if (!list) error(cmd.line, "control " + std::to_string(cmd.id) + " is not a list");
            if (cmd.number < 0 || size_t(cmd.number) >= list->items.size())
                error(cmd.line, "list " + std::to_string(cmd.id) + " has no item " + std::to_string(cmd.number));
            platform::choose_item(h, cmd.number);
            return false;
        }
        case V::Click: {
            HWND h = control(cmd);
            if (platform::find_window(h)->kind != Kind::Button)
                error(cmd.line, "control " + std::to_string(cmd.id) + " is not a button");
            platform::press_button(h);
            return true;
        }
        case V::Show: {
            Window* w = platform::find_window(control(cmd));
            std::string line = "show " + std::to_string(cmd.id);
            if (const auto* list = w->as<platform::ComboBoxState>()) {
                line += " list " + std::to_string(list->cursel);
                for (auto& item : list->items) line += " " + quote(item);
            } else if (const auto* bar = w->as<platform::ProgressState>()) {
                line += " progress " + std::to_string(bar->low) + " " + std::to_string(bar->high) + " " +
                        std::to_string(bar->pos);
            } else {
                line += " " + quote(w->text);
            }
            emit(line);
            return false;
        }
    }
    return false;
}

void ScriptFrontend::wait_for_input() {
    while (m_next < m_commands.size()) {
        const Command& cmd = m_commands[m_next++];
        if (run(cmd)) return;
    }
    error(m_last_line, "the script ended with the sheet still open");
}

std::string ScriptFrontend::owner_text(HWND owner) {
    Window* w = platform::find_window(owner);
    return w ? quote(w->text) : "none";
}

int ScriptFrontend::message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", flags);
    std::string line = "box " + owner_text(owner) + " " + quote(caption) + " " + quote(text) + " " + hex + " -> ";
    const platform::MessageBoxStyle style = platform::message_box_style(owner, flags);
    if (style.buttons.size() == 1) {
        emit(line + upper(style.buttons[0].word));
        return style.buttons[0].id;
    }
    if (m_answers.empty())
        error(m_last_line, "a message box needs an answer and none is queued: " + platform::to_utf8(caption) + ": " +
                               platform::to_utf8(text));
    auto [answer, at] = m_answers.front();
    m_answers.pop_front();
    const std::optional<platform::BoxButton> button = style.button(answer);
    if (!button) {
        std::string words;
        for (size_t i = 0; i < style.buttons.size(); ++i)
            words += (i == 0 ? "" : i + 1 == style.buttons.size() ? " and " : ", ") + upper(style.buttons[i].word);
        error(at, "answer " + answer + " does not fit the box \"" + platform::to_utf8(text) + "\", whose buttons are " +
                      words);
    }
    emit(line + answer);
    return button->id;
}

bool ScriptFrontend::open_file(HWND owner, const platform::OpenFileRequest& request, std::u16string* path) {
    if (m_picks.empty()) error(m_last_line, "an open-file dialog opened and no pick is queued");
    platform::OpenFileModel dialog(request);
    for (;;) {
        Command pick = m_picks.front();
        m_picks.pop_front();
        if (pick.cancel) {
            emit("open-file " + owner_text(owner) + " -> cancel");
            return false;
        }
        // The dialog returns the pick as given, as the program's dialog
        // (which asks for no existing file) would return a typed name; only
        // a path longer than the program's buffer is refused, and the
        // dialog stays open for the next pick.
        if (dialog.fits(pick.text)) {
            emit("open-file " + owner_text(owner) + " -> " + quote(pick.text));
            *path = pick.text;
            return true;
        }
        emit("pick-refused " + quote(pick.text) + " " + quote(platform::to_utf16(dialog.message())));
        if (m_picks.empty())
            error(pick.line, "the open-file dialog is still open and no pick is queued" +
                                 (dialog.message().empty() ? std::string() : " (" + dialog.message() + ")"));
    }
}

void ScriptFrontend::debug_output(std::u16string_view text) { emit("debug " + quote(text)); }

void ScriptFrontend::rebooting() { emit("reboot"); }

void ScriptFrontend::stopping(int signal) {
    m_stopped = true;
    emit(std::string("signal SIG") + sigabbrev_np(signal));
}

void ScriptFrontend::program_ending(int exit_code) {
    if (m_next < m_commands.size() && !m_stopped)
        error(m_commands[m_next].line, "the program ended with commands of the script left");
    emit("exit " + std::to_string(exit_code));
}

}  // namespace orva::script
