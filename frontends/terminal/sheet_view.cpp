// The screen as a whole: the property sheet (caption, a tab per page with its
// key, the current page, OK and Cancel), dialog boxes over it, and the main
// window when it is shown. The sheet takes a frame when the terminal has room
// for its largest page, and the whole screen otherwise; a page that does not
// fit scrolls (its empty margins go first).
#include <algorithm>

#include "frontends/terminal/terminal_frontend.h"
#include "platform/module.h"

namespace orva::terminal {
namespace {

using platform::Kind;
using platform::Window;

constexpr std::u16string_view kSheetHelp = u"Tab move  Enter press  Esc cancel";

std::u16string tab_label(int index, const std::u16string& caption) {
    return u"F" + std::u16string(1, char16_t(u'1' + index)) + u" " + caption;
}

// The tab labels cut so that they fit `width` together; the current one is
// kept whole when it can be.
std::vector<std::u16string> fit_tabs(std::vector<std::u16string> labels, size_t current, int width) {
    auto total = [&] {
        int n = 0;
        for (auto& l : labels) n += int(l.size()) + 2;
        return n;
    };
    for (size_t cap = 40; total() > width && cap > 4; --cap)
        for (size_t i = 0; i < labels.size(); ++i)
            if (i != current && labels[i].size() > cap) labels[i].resize(cap);
    for (size_t cap = 40; total() > width && cap > 4; --cap)
        if (labels[current].size() > cap) labels[current].resize(cap);
    return labels;
}

}  // namespace

void TerminalFrontend::draw() {
    if (!m_screen.is_open()) return;
    m_screen.wipe();
    m_screen.hide_cursor();
    m_hits.clear();
    m_on_screen.clear();
    for (HWND h : platform::top_level_windows()) {
        const Window* w = platform::find_window(h);
        if (!w || !w->visible) continue;
        if (w->kind == Kind::Sheet) draw_sheet(*w);
        else if (w->kind == Kind::Dialog) draw_dialog_box(*w);
        else if (w->kind == Kind::Window) draw_main_window(*w);
    }
    m_follow_focus = false;
    m_screen.show();
}

void TerminalFrontend::draw_sheet(const Window& sheet) {
    const auto& st = *sheet.as<platform::SheetState>();
    int H = m_screen.rows(), W = m_screen.cols();
    int page_rows = 1, page_cols = 1;
    for (auto& p : st.pages) {
        page_rows = std::max(page_rows, (p.tmpl->cy + 4) / 8);
        page_cols = std::max(page_cols, (p.tmpl->cx + 2) / 4);
    }
    bool framed = W >= page_cols + 2 && H >= page_rows + 5;
    Box outer =
        framed ? Box{(H - page_rows - 5) / 2, (W - page_cols - 2) / 2, page_rows + 5, page_cols + 2} : Box{0, 0, H, W};
    Box inner = framed ? Box{outer.top + 1, outer.left + 1, outer.rows - 2, outer.cols - 2} : outer;
    m_screen.no_clip();
    m_screen.fill(outer, Style::Normal);
    // Caption.
    if (framed) {
        m_screen.frame(outer);
        std::u16string cap = u" " + sheet.text + u" ";
        m_screen.text(outer.top, outer.left + std::max(1, (outer.cols - int(cap.size())) / 2), cap, Style::Title);
    } else {
        m_screen.fill(Box{inner.top, inner.left, 1, inner.cols}, Style::Title);
        m_screen.text(inner.top, inner.left + std::max(0, (inner.cols - int(sheet.text.size())) / 2), sheet.text,
                      Style::Title);
    }
    // Tabs, each with its key.
    int tabs_row = framed ? inner.top : inner.top + 1;
    std::vector<std::u16string> labels;
    for (size_t i = 0; i < st.pages.size(); ++i)
        labels.push_back(
            tab_label(int(i), std::u16string(st.pages[i].tmpl->caption ? st.pages[i].tmpl->caption : u"")));
    size_t current = st.current >= 0 ? size_t(st.current) : 0;
    labels = fit_tabs(labels, current, inner.cols);
    m_screen.set_clip(Box{tabs_row, inner.left, 1, inner.cols});
    m_screen.fill(Box{tabs_row, inner.left, 1, inner.cols}, Style::Tab);
    int col = inner.left;
    for (size_t i = 0; i < labels.size(); ++i) {
        bool cur = int(i) == st.current;
        std::u16string text = (cur ? u"[" : u" ") + labels[i] + (cur ? u"]" : u" ");
        m_screen.text(tabs_row, col, text, cur ? Style::TabCurrent : Style::Tab);
        m_hits.push_back(Hit{Hit::Tab, Box{tabs_row, col, 1, int(text.size())}, sheet.handle, int(i)});
        col += int(text.size());
    }
    m_screen.no_clip();
    // Bottom row: the keys, then OK and Cancel.
    int bottom = inner.bottom();
    HWND page = st.current >= 0 ? st.pages[size_t(st.current)].hwnd : nullptr;
    const Window* pw = platform::find_window(page);
    HWND focus = pw ? focus_of(*pw, true) : nullptr;
    std::u16string ok = u"[ OK ]", cancel = u"[ Cancel ]";
    int cancel_col = inner.right() - int(cancel.size()) + 1, ok_col = cancel_col - 2 - int(ok.size());
    m_screen.set_clip(Box{bottom, inner.left, 1, inner.cols});
    m_screen.text(bottom, inner.left + 1, kSheetHelp, Style::Hint);
    m_screen.text(bottom, ok_col, ok, focus == kSheetOk ? Style::Focus : Style::Button);
    m_screen.text(bottom, cancel_col, cancel, focus == kSheetCancel ? Style::Focus : Style::Button);
    m_hits.push_back(Hit{Hit::SheetOk, Box{bottom, ok_col, 1, int(ok.size())}, sheet.handle, 0});
    m_hits.push_back(Hit{Hit::SheetCancel, Box{bottom, cancel_col, 1, int(cancel.size())}, sheet.handle, 0});
    m_screen.no_clip();
    // The page.
    Box area{tabs_row + 1, inner.left, bottom - tabs_row - 1, inner.cols};
    if (!pw || !pw->visible || area.rows <= 0) return;
    auto placed = lay_out(*pw, col_scale(*pw, area));
    View view = place(*pw, area, placed);
    draw_controls(*pw, view, placed);
    if (view.more_up || view.more_down || view.more_left || view.more_right) {
        // The scroll keys this terminal has.
        std::u16string more = m_screen.has_page_keys() ? u"PgUp/PgDn scroll" : u"Ctrl+U/Ctrl+D scroll";
        int mcol = ok_col - 2 - int(more.size());
        if (mcol > inner.left + 1 + int(kSheetHelp.size())) m_screen.text(bottom, mcol, more, Style::Hint, true);
    }
}

void TerminalFrontend::draw_dialog_box(const Window& dialog) {
    int H = m_screen.rows(), W = m_screen.cols();
    Box cells = dialog_cells(dialog);
    Box outer{std::max(0, (H - cells.rows - 2) / 2), std::max(0, (W - cells.cols - 2) / 2), std::min(H, cells.rows + 2),
              std::min(W, cells.cols + 2)};
    m_screen.no_clip();
    // A blank cell all round keeps its frame apart from lines under it.
    m_screen.fill(Box{outer.top - 1, outer.left - 1, outer.rows + 2, outer.cols + 2}, Style::Normal);
    m_screen.frame(outer);
    m_screen.set_clip(Box{outer.top, outer.left, 1, outer.cols});
    m_screen.text(outer.top, outer.left + 2, u" " + dialog.text + u" ", Style::Title);
    // The caption's OK button (WS_EX_CAPTIONOKBTN) and close box.
    int col = outer.right() - 3;
    m_screen.text(outer.top, col, u"[X]", Style::Button);
    m_hits.push_back(Hit{Hit::DialogClose, Box{outer.top, col, 1, 3}, dialog.handle, 0});
    if (dialog.ex_style & WS_EX_CAPTIONOKBTN) {
        col -= 5;
        m_screen.text(outer.top, col, u"[OK]", Style::Button);
        m_hits.push_back(Hit{Hit::DialogOk, Box{outer.top, col, 1, 4}, dialog.handle, 0});
    }
    m_screen.no_clip();
    Box area{outer.top + 1, outer.left + 1, std::max(0, outer.rows - 2), std::max(0, outer.cols - 2)};
    auto placed = lay_out(dialog, col_scale(dialog, area));
    View view = place(dialog, area, placed);
    draw_controls(dialog, view, placed);
}

// Shown only if the main window outlives the sheet: its caption, the
// command bar's menu items and the greeting it painted.
void TerminalFrontend::draw_main_window(const Window& main) {
    int H = m_screen.rows(), W = m_screen.cols();
    m_screen.no_clip();
    m_screen.fill(Box{0, 0, 1, W}, Style::Title);
    m_screen.text(0, 1, main.text, Style::Title);
    std::vector<std::pair<std::u16string, int>> items;
    for (HWND c : main.children) {
        const Window* w = platform::find_window(c);
        const auto* bar = w ? w->as<platform::CommandBarState>() : nullptr;
        if (!bar) continue;
        const RESOURCE_SECTION& rs = platform::resource_section();
        for (UINT m = 0; m < rs.menuCount; ++m) {
            if (rs.menus[m].resourceId != bar->menu_id) continue;
            for (UINT i = 0; i < rs.menus[m].itemCount; ++i) {
                const MENUITEM_ORVA& item = rs.menus[m].items[i];
                if (item.command == 0 || !item.text) continue;
                std::u16string text;
                for (const char16_t* p = item.text; *p; ++p)
                    if (*p != u'&') text += *p;
                items.emplace_back(text, item.command);
            }
        }
    }
    int col = 1;
    if (!items.empty()) m_menu_focus = std::clamp(m_menu_focus, 0, int(items.size()) - 1);
    for (size_t i = 0; i < items.size(); ++i) {
        std::u16string label = u"[ " + items[i].first + u" ]";
        m_screen.text(1, col, label, int(i) == m_menu_focus ? Style::Focus : Style::Button);
        m_hits.push_back(Hit{Hit::Menu, Box{1, col, 1, int(label.size())}, main.handle, items[i].second});
        col += int(label.size()) + 2;
    }
    const std::u16string& painted = main.as<platform::PaintState>()->painted;
    m_screen.text(H / 2, std::max(0, (W - int(painted.size())) / 2), painted);
}

}  // namespace orva::terminal
