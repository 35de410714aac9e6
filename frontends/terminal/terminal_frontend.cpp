// The terminal frontend's events and keys: what the model tells it, the
// operator's keys turned into operator actions, and the focus.
#include "frontends/terminal/terminal_frontend.h"

#include <curses.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "frontends/frontends.h"
#include "platform/operator.h"

namespace orva::terminal {

using platform::Change;
using platform::Kind;
using platform::Window;

TerminalFrontend::TerminalFrontend() : m_main(pthread_self()) {}

// A resize signal to the thread that reads the keys: ncurses cuts its read
// short with a resize "key", and the wait returns to the platform.
void TerminalFrontend::interrupt() { pthread_kill(m_main, SIGWINCH); }

void TerminalFrontend::window_created(const Window&) {}

void TerminalFrontend::window_changed(const Window& w, Change change, int, bool by_application) {
    // An edit the program fills starts again at its first character, as on
    // Windows; what the operator types keeps its caret.
    if (w.kind == Kind::Edit && change == Change::Text && by_application) m_edits[w.handle] = EditState{};
    if (change == Change::Page || change == Change::Visible) m_follow_focus = true;
}

void TerminalFrontend::window_destroyed(const Window& w) {
    m_focus.erase(w.handle);
    m_edits.erase(w.handle);
    m_scroll.erase(w.handle);
}

// Draws at once, also in the middle of the program's synchronous work (the
// flash write shows each step this way).
void TerminalFrontend::update_window(const Window&) { draw(); }

void TerminalFrontend::wait_for_input() {
    draw();
    handle(m_screen.read_key());
}

void TerminalFrontend::rebooting() {
    m_screen.close();
    std::fputs("orva-utility: the controller is restarting\n", stdout);
    std::fflush(stdout);
}

void TerminalFrontend::program_ending(int) { m_screen.close(); }

// ---------------------------------------------------------------- focus

HWND TerminalFrontend::focus_of(const Window& dialog, bool sheet_buttons) {
    std::vector<HWND> ring = tab_order(dialog);
    if (sheet_buttons) {
        ring.push_back(kSheetOk);
        ring.push_back(kSheetCancel);
    }
    if (ring.empty()) return nullptr;
    auto it = m_focus.find(dialog.handle);
    if (it != m_focus.end() && std::find(ring.begin(), ring.end(), it->second) != ring.end()) return it->second;
    set_focus(dialog.handle, ring.front());
    return ring.front();
}

void TerminalFrontend::set_focus(HWND dialog, HWND control) {
    m_focus[dialog] = control;
    m_follow_focus = true;
    const Window* w = platform::find_window(control);
    if (w && w->kind == Kind::Edit) m_edits[control].cursor = w->text.size();
}

void TerminalFrontend::move_focus(const Window& dialog, bool sheet_buttons, int step) {
    std::vector<HWND> ring = tab_order(dialog);
    if (sheet_buttons) {
        ring.push_back(kSheetOk);
        ring.push_back(kSheetCancel);
    }
    if (ring.empty()) return;
    HWND current = focus_of(dialog, sheet_buttons);
    auto it = std::find(ring.begin(), ring.end(), current);
    int index = it == ring.end() ? 0 : int(it - ring.begin());
    int n = int(ring.size());
    set_focus(dialog.handle, ring[size_t(((index + step) % n + n) % n)]);
}

void TerminalFrontend::scroll_page(HWND dialog, int rows, int cols) {
    auto& s = m_scroll[dialog];
    s.first = std::max(0, s.first + rows);
    s.second = std::max(0, s.second + cols);
    m_follow_focus = false;
}

const TerminalFrontend::Hit* TerminalFrontend::hit_at(int row, int col) const {
    for (auto it = m_hits.rbegin(); it != m_hits.rend(); ++it)
        if (it->box.contains(row, col)) return &*it;
    return nullptr;
}

// ---------------------------------------------------------------- keys

void TerminalFrontend::handle(const Key& key) {
    if (key.type == Key::Closed) {
        // As a hang-up: the program ends as on SIGHUP, the controller closed.
        m_screen.close();
        std::fputs("orva-utility: the terminal has gone; the program ends without saving\n", stderr);
        platform::request_stop(SIGHUP);
        platform::stop_if_requested();
        std::exit(1);
    }
    if (key.type == Key::Resize) {
        m_follow_focus = true;
        return;
    }
    HWND active = platform::active_dialog();
    Window* dialog = platform::find_window(active);
    if (const auto* box = dialog ? dialog->as<platform::DialogState>() : nullptr; box && box->modal) {
        handle_dialog_box(*dialog, key);
        return;
    }
    if (Window* sheet = platform::find_window(platform::active_sheet())) {
        handle_sheet(*sheet, key);
        return;
    }
    for (HWND h : platform::top_level_windows()) {
        Window* w = platform::find_window(h);
        if (w && w->kind == Kind::Window && w->visible) {
            handle_main_window(*w, key);
            return;
        }
    }
}

bool TerminalFrontend::handle_control_key(const Window& dialog, HWND control, const Key& key, bool sheet_buttons) {
    Window* w = platform::find_window(control);
    int code = key.type == Key::Special ? key.code : 0;
    bool press = code == kEnter || (key.type == Key::Char && key.ch == U' ' && !(w && w->kind == Kind::Edit));
    if (code == kTab) {
        move_focus(dialog, sheet_buttons, +1);
        return true;
    }
    if (code == kBackTab) {
        move_focus(dialog, sheet_buttons, -1);
        return true;
    }
    if (control == kSheetOk || control == kSheetCancel) {
        HWND sheet = dialog.parent;
        if (press) {
            if (control == kSheetOk) platform::press_sheet_ok(sheet);
            else platform::press_sheet_cancel(sheet);
        } else if (code == KEY_LEFT || code == KEY_UP) {
            move_focus(dialog, sheet_buttons, -1);
        } else if (code == KEY_RIGHT || code == KEY_DOWN) {
            move_focus(dialog, sheet_buttons, +1);
        }
        return true;
    }
    if (!w) return false;
    switch (w->kind) {
        case Kind::Edit: {
            std::u16string text = w->text;
            auto& st = m_edits[control];
            bool changed = false;
            if (key.type == Key::Char && !key.alt && key.ch == kCtrlU) {  // Ctrl+U empties a dialog box's field
                changed = edit_key(text, st, EditKey::Clear);
            } else if (key.type == Key::Char && !key.alt && key.ch >= 0x20) {
                std::u16string typed;
                if (key.ch >= 0x10000) {
                    typed += char16_t(0xD800 + ((key.ch - 0x10000) >> 10));
                    typed += char16_t(0xDC00 + ((key.ch - 0x10000) & 0x3FF));
                } else {
                    typed += char16_t(key.ch);
                }
                changed = edit_insert(text, st, typed);
            } else if (code == KEY_LEFT) edit_key(text, st, EditKey::Left);
            else if (code == KEY_RIGHT) edit_key(text, st, EditKey::Right);
            else if (code == KEY_HOME) edit_key(text, st, EditKey::Home);
            else if (code == KEY_END) edit_key(text, st, EditKey::End);
            else if (code == KEY_BACKSPACE) changed = edit_key(text, st, EditKey::Backspace);
            else if (code == KEY_DC) changed = edit_key(text, st, EditKey::Delete);
            else if (code == KEY_UP) move_focus(dialog, sheet_buttons, -1);
            else if (code == KEY_DOWN || code == kEnter) move_focus(dialog, sheet_buttons, +1);
            else return false;
            if (changed) platform::type_text(control, text);
            return true;
        }
        case Kind::Button:
            if (press) platform::press_button(control);
            else if (code == KEY_LEFT || code == KEY_UP) move_focus(dialog, sheet_buttons, -1);
            else if (code == KEY_RIGHT || code == KEY_DOWN) move_focus(dialog, sheet_buttons, +1);
            else return false;
            return true;
        case Kind::ComboBox:
            if (press || code == KEY_UP || code == KEY_DOWN) open_list(control);
            else if (code == KEY_LEFT) move_focus(dialog, sheet_buttons, -1);
            else if (code == KEY_RIGHT) move_focus(dialog, sheet_buttons, +1);
            else return false;
            return true;
        default:
            return false;
    }
}

void TerminalFrontend::handle_sheet(Window& sheet, const Key& key) {
    auto& st = *sheet.as<platform::SheetState>();
    int pages = int(st.pages.size());
    // A key per tab: F1.. or Alt+1..
    if (key.type == Key::Special && key.code >= KEY_F(1) && key.code < KEY_F(1) + pages) {
        platform::select_page(sheet.handle, key.code - KEY_F(1));
        return;
    }
    if (key.type == Key::Char && key.alt && key.ch >= U'1' && key.ch < char32_t(U'1' + pages)) {
        platform::select_page(sheet.handle, int(key.ch - U'1'));
        return;
    }
    HWND page = st.current >= 0 ? st.pages[size_t(st.current)].hwnd : nullptr;
    Window* pw = platform::find_window(page);
    if (key.type == Key::Special && key.code == kEscape) {
        platform::press_sheet_cancel(sheet.handle);
        return;
    }
    if (key.type == Key::Mouse) {
        if (key.wheel_up || key.wheel_down) {
            if (page) scroll_page(page, key.wheel_up ? -3 : 3, 0);
            return;
        }
        const Hit* hit = key.click ? hit_at(key.row, key.col) : nullptr;
        if (!hit) return;
        switch (hit->what) {
            case Hit::Tab:
                platform::select_page(sheet.handle, hit->index);
                return;
            case Hit::SheetOk:
                platform::press_sheet_ok(sheet.handle);
                return;
            case Hit::SheetCancel:
                platform::press_sheet_cancel(sheet.handle);
                return;
            case Hit::Control: {
                if (!pw) return;
                set_focus(page, hit->hwnd);
                Window* c = platform::find_window(hit->hwnd);
                if (c && c->kind == Kind::Button) platform::press_button(hit->hwnd);
                if (c && c->kind == Kind::ComboBox) open_list(hit->hwnd);
                return;
            }
            default:
                return;
        }
    }
    if (!pw) return;
    // PgUp and PgDn, and Ctrl+U and Ctrl+D, which every terminal has (a
    // VT100 has no PgUp or PgDn), scroll half a screen.
    bool up = key.type == Key::Special ? key.code == KEY_PPAGE : key.type == Key::Char && !key.alt && key.ch == kCtrlU;
    bool down =
        key.type == Key::Special ? key.code == KEY_NPAGE : key.type == Key::Char && !key.alt && key.ch == kCtrlD;
    if (up || down) {
        int step = std::max(1, (m_screen.rows() - 4) / 2);
        scroll_page(page, up ? -step : step, 0);
        return;
    }
    if (key.type == Key::Special && (key.code == KEY_SLEFT || key.code == KEY_SRIGHT)) {
        scroll_page(page, 0, key.code == KEY_SLEFT ? -8 : 8);
        return;
    }
    handle_control_key(*pw, focus_of(*pw, true), key, true);
}

void TerminalFrontend::handle_dialog_box(Window& dialog, const Key& key) {
    if (key.type == Key::Special && key.code == kEscape) {
        platform::close_dialog(dialog.handle, IDCANCEL);
        return;
    }
    if (key.type == Key::Mouse) {
        const Hit* hit = key.click ? hit_at(key.row, key.col) : nullptr;
        if (!hit) return;
        if (hit->what == Hit::DialogOk) platform::close_dialog(dialog.handle, IDOK);
        else if (hit->what == Hit::DialogClose) platform::close_dialog(dialog.handle, IDCANCEL);
        else if (hit->what == Hit::Control) {
            set_focus(dialog.handle, hit->hwnd);
            Window* c = platform::find_window(hit->hwnd);
            if (c && c->kind == Kind::Button) platform::press_button(hit->hwnd);
        }
        return;
    }
    HWND focus = focus_of(dialog, false);
    if (focus && handle_control_key(dialog, focus, key, false)) return;
    // Enter with nothing to press is the caption's OK.
    if (key.type == Key::Special && key.code == kEnter) platform::close_dialog(dialog.handle, IDOK);
}

void TerminalFrontend::handle_main_window(Window& main, const Key& key) {
    std::vector<const Hit*> items;
    for (auto& h : m_hits)
        if (h.what == Hit::Menu) items.push_back(&h);
    if (key.type == Key::Mouse) {
        const Hit* hit = key.click ? hit_at(key.row, key.col) : nullptr;
        if (hit && hit->what == Hit::Menu) platform::menu_command(main.handle, hit->index);
        return;
    }
    if (items.empty() || key.type != Key::Special) return;
    int n = int(items.size());
    if (key.code == kTab || key.code == KEY_RIGHT) m_menu_focus = (m_menu_focus + 1) % n;
    else if (key.code == kBackTab || key.code == KEY_LEFT) m_menu_focus = (m_menu_focus + n - 1) % n;
    else if (key.code == kEnter)
        platform::menu_command(main.handle, items[size_t(std::clamp(m_menu_focus, 0, n - 1))]->index);
}

}  // namespace orva::terminal

namespace orva {

std::unique_ptr<platform::Frontend> make_terminal_frontend(std::string* error) {
    auto frontend = std::make_unique<terminal::TerminalFrontend>();
    if (!frontend->open(error)) return nullptr;
    return frontend;
}

}  // namespace orva
