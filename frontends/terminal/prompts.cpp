// The modal prompts the terminal frontend runs itself: message boxes, the
// open-file dialog over the controller's file system, and the open list of a
// drop-down. Each draws the screen under it and takes keys until answered.
#include <curses.h>

#include <algorithm>

#include "frontends/terminal/file_browser.h"
#include "frontends/terminal/terminal_frontend.h"
#include "platform/message_box_style.h"
#include "platform/operator.h"
#include "platform/text.h"

namespace orva::terminal {
namespace {

// The mark a box's icon shows before its text.
std::u16string icon_mark(platform::BoxIcon icon) {
    switch (icon) {
        case platform::BoxIcon::Stop:
            return u"(X)";
        case platform::BoxIcon::Question:
            return u"(?)";
        case platform::BoxIcon::Exclamation:
            return u"(!)";
        case platform::BoxIcon::Information:
            return u"(i)";
        case platform::BoxIcon::None:
            break;
    }
    return u"";
}

}  // namespace

int TerminalFrontend::message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) {
    const platform::MessageBoxStyle style = platform::message_box_style(owner, flags);
    const std::vector<platform::BoxButton>& buttons = style.buttons;
    if (!m_screen.is_open()) return style.escape;
    std::u16string mark = icon_mark(style.icon);
    size_t focus = style.default_button;
    for (;;) {
        draw();
        int H = m_screen.rows(), W = m_screen.cols();
        int mark_cols = mark.empty() ? 0 : int(mark.size()) + 2;
        int text_cols = std::max(10, std::min(56, W - 6 - mark_cols));
        auto lines = wrap_text(text, text_cols, std::max(1, H - 6));
        if (lines.empty()) lines.push_back(u"");
        int widest = 0;
        for (auto& l : lines) widest = std::max(widest, int(l.size()));
        int buttons_cols = 0;
        for (auto& b : buttons) buttons_cols += int(b.label.size()) + 6;
        int inner = std::max({widest + mark_cols, int(caption.size()) + 4, buttons_cols});
        Box box{0, 0, int(lines.size()) + 5, std::min(W, inner + 4)};
        box.top = std::max(0, (H - box.rows) / 2);
        box.left = std::max(0, (W - box.cols) / 2);
        m_screen.no_clip();
        // A blank cell all round keeps the box's frame apart from the lines
        // of the page under it.
        m_screen.fill(Box{box.top - 1, box.left - 1, box.rows + 2, box.cols + 2}, Style::Normal);
        m_screen.fill(box, Style::Box);
        m_screen.frame(box, Style::Box);
        m_screen.set_clip(box);
        m_screen.text(box.top, box.left + 2, u" " + std::u16string(caption) + u" ", Style::Title);
        if (!mark.empty()) m_screen.text(box.top + 2, box.left + 2, mark, Style::Box, true);
        for (size_t i = 0; i < lines.size(); ++i)
            m_screen.text(box.top + 2 + int(i), box.left + 2 + mark_cols, lines[i], Style::Box);
        int row = box.bottom() - 1;
        int col = box.left + std::max(2, (box.cols - buttons_cols) / 2);
        std::vector<Box> hits;
        for (size_t i = 0; i < buttons.size(); ++i) {
            std::u16string label = u"[ " + std::u16string(buttons[i].label) + u" ]";
            m_screen.text(row, col, label, i == focus ? Style::Focus : Style::Button);
            hits.push_back(Box{row, col, 1, int(label.size())});
            col += int(label.size()) + 2;
        }
        m_screen.no_clip();
        m_screen.hide_cursor();
        m_screen.show();

        Key key = m_screen.read_key();
        int answer = 0;
        if (key.type == Key::Closed) handle(key);
        if (platform::stop_requested()) return style.escape;  // the platform ends the program
        if (key.type == Key::Special) {
            if (key.code == kEnter) answer = buttons[focus].id;
            else if (key.code == kEscape) answer = style.escape;
            else if (key.code == kTab || key.code == KEY_RIGHT || key.code == KEY_DOWN)
                focus = (focus + 1) % buttons.size();
            else if (key.code == kBackTab || key.code == KEY_LEFT || key.code == KEY_UP)
                focus = (focus + buttons.size() - 1) % buttons.size();
        } else if (key.type == Key::Char) {
            if (key.ch == U' ') answer = buttons[focus].id;
            // The first letter of a button answers with it.
            for (auto& b : buttons)
                if (!key.alt && (key.ch | 0x20) == char32_t(b.label[0] | 0x20)) answer = b.id;
        } else if (key.type == Key::Mouse && key.click) {
            for (size_t i = 0; i < hits.size(); ++i)
                if (hits[i].contains(key.row, key.col)) answer = buttons[i].id;
        }
        if (answer) {
            // The box goes from the screen at once, even if the program now
            // works on without waiting for input.
            draw();
            return answer;
        }
    }
}

bool TerminalFrontend::open_file(HWND, const platform::OpenFileRequest& request, std::u16string* path) {
    if (!m_screen.is_open()) return false;
    FileBrowser browser(request);
    size_t sel = 0, top = 0;
    for (;;) {
        draw();
        const auto& entries = browser.entries();
        if (!entries.empty()) sel = std::min(sel, entries.size() - 1);
        int H = m_screen.rows(), W = m_screen.cols();
        Box box{0, 0, std::min(H, 20), std::min(W, 66)};
        box.top = (H - box.rows) / 2;
        box.left = (W - box.cols) / 2;
        int list_rows = std::max(1, box.rows - 7);
        if (sel < top) top = sel;
        if (sel >= top + size_t(list_rows)) top = sel - size_t(list_rows) + 1;
        m_screen.no_clip();
        m_screen.fill(box, Style::Box);
        m_screen.frame(box, Style::Box);
        m_screen.set_clip(Box{box.top, box.left + 1, box.rows, box.cols - 2});
        m_screen.text(box.top, box.left + 2, u" Open ", Style::Title);
        m_screen.text(box.top + 1, box.left + 2, u"Look in: " + browser.folder_path(), Style::Box, true);
        Box list{box.top + 2, box.left + 2, list_rows, box.cols - 4};
        m_screen.fill(list, Style::Field);
        std::vector<std::pair<Box, size_t>> hits;
        for (int r = 0; r < list_rows && top + size_t(r) < entries.size(); ++r) {
            size_t i = top + size_t(r);
            const auto& e = entries[i];
            std::u16string label = e.folder ? u"[" + e.name + u"]" : e.name;
            Box line{list.top + r, list.left, 1, list.cols};
            if (i == sel) m_screen.fill(line, Style::Focus);
            m_screen.text(line.top, line.left + 1, label.substr(0, size_t(std::max(0, list.cols - 2))),
                          i == sel ? Style::Focus : Style::Field);
            hits.emplace_back(line, i);
        }
        if (entries.empty()) m_screen.text(list.top, list.left + 1, u"(no files here)", Style::Field);
        m_screen.text(list.bottom() + 1, box.left + 2, u"Files of type: " + browser.filter_name(), Style::Box);
        if (!browser.error().empty())
            m_screen.text(list.bottom() + 2, box.left + 2, platform::to_utf16(browser.error()), Style::Box, true);
        m_screen.text(box.bottom() - 1, box.left + 2, u"Enter open  Backspace up  Esc cancel", Style::Box);
        m_screen.no_clip();
        m_screen.hide_cursor();
        m_screen.show();

        Key key = m_screen.read_key();
        if (key.type == Key::Closed) handle(key);
        if (platform::stop_requested()) return false;
        bool activate = false;
        if (key.type == Key::Special) {
            switch (key.code) {
                case kEscape:
                    draw();
                    return false;
                case KEY_UP:
                    if (sel > 0) --sel;
                    break;
                case KEY_DOWN:
                    if (sel + 1 < entries.size()) ++sel;
                    break;
                case KEY_PPAGE:
                    sel = sel > size_t(list_rows) ? sel - size_t(list_rows) : 0;
                    break;
                case KEY_NPAGE:
                    sel = std::min(sel + size_t(list_rows), entries.empty() ? 0 : entries.size() - 1);
                    break;
                case KEY_HOME:
                    sel = 0;
                    break;
                case KEY_END:
                    sel = entries.empty() ? 0 : entries.size() - 1;
                    break;
                case KEY_BACKSPACE:
                case KEY_LEFT:
                    if (browser.up()) sel = top = 0;
                    break;
                case kEnter:
                    activate = true;
                    break;
                default:
                    break;
            }
        } else if (key.type == Key::Char && key.ch == U' ') {
            activate = true;
        } else if (key.type == Key::Mouse && key.click) {
            for (auto& [b, i] : hits)
                if (b.contains(key.row, key.col)) {
                    activate = i == sel;  // a second click on the chosen line opens it
                    sel = i;
                }
        }
        if (!activate || sel >= entries.size()) continue;
        switch (browser.activate(sel)) {
            case platform::OpenFileModel::Choice::Opened:
                sel = top = 0;
                break;
            case platform::OpenFileModel::Choice::Refused:  // the message says why; the dialog stays
                break;
            case platform::OpenFileModel::Choice::Chosen:
                *path = browser.chosen();
                draw();
                return true;
        }
    }
}

void TerminalFrontend::open_list(HWND combo) {
    auto state_of = [combo]() -> const platform::ComboBoxState* {
        const platform::Window* w = platform::find_window(combo);
        return w ? w->as<platform::ComboBoxState>() : nullptr;
    };
    const platform::ComboBoxState* c = state_of();
    if (!c || c->items.empty()) return;
    size_t sel = c->cursel >= 0 ? size_t(c->cursel) : 0, top = 0;
    for (;;) {
        draw();
        c = state_of();
        if (!c || c->items.empty()) return;
        sel = std::min(sel, c->items.size() - 1);
        auto where = m_on_screen.find(combo);
        int H = m_screen.rows(), W = m_screen.cols();
        Box field = where != m_on_screen.end() ? where->second : Box{H / 2, W / 2 - 8, 1, 16};
        int rows = std::min<int>(int(c->items.size()), 8);
        int width = field.cols;
        for (auto& item : c->items) width = std::max(width, int(item.size()) + 2);
        width = std::min(width, W);
        Box list{field.top + 1, std::min(field.left, W - width - 2), rows + 2, width + 2};
        if (list.bottom() >= H) list.top = std::max(0, field.top - list.rows);
        list.left = std::max(0, list.left);
        rows = std::min(rows, list.rows - 2);
        if (sel < top) top = sel;
        if (rows > 0 && sel >= top + size_t(rows)) top = sel - size_t(rows) + 1;
        m_screen.no_clip();
        m_screen.fill(list, Style::Box);
        m_screen.frame(list, Style::Box);
        std::vector<std::pair<Box, size_t>> hits;
        for (int r = 0; r < rows && top + size_t(r) < c->items.size(); ++r) {
            size_t i = top + size_t(r);
            Box line{list.top + 1 + r, list.left + 1, 1, list.cols - 2};
            if (i == sel) m_screen.fill(line, Style::Focus);
            m_screen.set_clip(line);
            m_screen.text(line.top, line.left + 1, c->items[i], i == sel ? Style::Focus : Style::Box);
            m_screen.no_clip();
            hits.emplace_back(line, i);
        }
        m_screen.hide_cursor();
        m_screen.show();

        Key key = m_screen.read_key();
        if (key.type == Key::Closed) handle(key);
        if (platform::stop_requested()) return;
        bool choose = false;
        if (key.type == Key::Special) {
            if (key.code == KEY_UP && sel > 0) --sel;
            else if (key.code == KEY_DOWN && sel + 1 < c->items.size()) ++sel;
            else if (key.code == KEY_HOME) sel = 0;
            else if (key.code == KEY_END) sel = c->items.size() - 1;
            else if (key.code == kEnter) choose = true;
            else if (key.code == kEscape || key.code == kTab || key.code == kBackTab) return;
        } else if (key.type == Key::Char && key.ch == U' ') {
            choose = true;
        } else if (key.type == Key::Mouse && key.click) {
            choose = false;
            bool inside = false;
            for (auto& [b, i] : hits)
                if (b.contains(key.row, key.col)) {
                    sel = i;
                    choose = inside = true;
                }
            if (!inside) return;
        }
        if (choose) {
            platform::choose_item(combo, int(sel));
            return;
        }
    }
}

}  // namespace orva::terminal
