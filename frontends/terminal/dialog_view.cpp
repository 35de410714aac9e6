// Drawing the window model: the property sheet with its tabs, page and
// buttons, dialog boxes, the main window, and every kind of control.
#include <algorithm>

#include "frontends/terminal/terminal_frontend.h"
#include "platform/module.h"

namespace orva::terminal {
namespace {

using platform::Kind;
using platform::Window;

// A property page: a dialog that no modal loop of its own runs.
bool is_page(const Window& w) {
    const auto* dialog = w.as<platform::DialogState>();
    return dialog && !dialog->modal;
}

bool has_image(const Window& w) {
    const RESOURCE_SECTION& rs = platform::resource_section();
    const IMAGE_ORVA* images = w.kind == Kind::Icon ? rs.icons : rs.bitmaps;
    UINT count = w.kind == Kind::Icon ? rs.iconCount : rs.bitmapCount;
    const auto* image = w.as<platform::ImageState>();
    for (UINT i = 0; image && i < count; ++i)
        if (images[i].resourceId == image->image_id) return true;
    return false;
}

// How one axis of a dialog fits into the room on the screen: all of it
// (centred when asked), its content without the empty margin, or a scrolled
// part that keeps the focus in view.
struct Axis {
    int origin = 0;
    bool before = false, after = false;
};

Axis fit(int start, int room, int whole, int content_start, int content_len, int& scroll, bool centre, int focus_start,
         int focus_len) {
    Axis a;
    if (whole <= room) {
        scroll = 0;
        a.origin = start + (centre ? (room - whole) / 2 : 0);
        return a;
    }
    if (content_len <= room) {
        scroll = 0;
        a.origin = start - content_start + (centre ? (room - content_len) / 2 : 0);
        return a;
    }
    if (focus_len > 0)
        scroll = scroll_to_show(scroll, room, content_len, std::max(0, focus_start - content_start - 1), focus_len + 2);
    scroll = std::clamp(scroll, 0, content_len - room);
    a.origin = start - content_start - scroll;
    a.before = scroll > 0;
    a.after = scroll < content_len - room;
    return a;
}

}  // namespace

double TerminalFrontend::col_scale(const Window& dialog, const Box& area) {
    int cols = dialog_cells(dialog).cols;
    return cols > area.cols ? double(area.cols) / cols : 1.0;
}

TerminalFrontend::View TerminalFrontend::place(const Window& dialog, const Box& area,
                                               const std::vector<Placed>& placed) {
    View v;
    v.area = area;
    Box whole = dialog_cells(dialog, col_scale(dialog, area));
    Box content = content_extent(placed);
    auto& scroll = m_scroll[dialog.handle];
    int ftop = 0, frows = 0, fleft = 0, fcols = 0;
    if (m_follow_focus) {
        HWND f = focus_of(dialog, is_page(dialog));
        for (auto& p : placed)
            if (p.hwnd == f) {
                ftop = p.box.top;
                frows = p.box.rows;
                fleft = p.box.left;
                fcols = p.box.cols;
            }
    }
    Axis rows = fit(area.top, area.rows, whole.rows, content.top, content.rows, scroll.first, false, ftop, frows);
    Axis cols = fit(area.left, area.cols, whole.cols, content.left, content.cols, scroll.second, true, fleft, fcols);
    v.row0 = rows.origin;
    v.col0 = cols.origin;
    v.more_up = rows.before;
    v.more_down = rows.after;
    v.more_left = cols.before;
    v.more_right = cols.after;
    return v;
}

void TerminalFrontend::draw_scroll_marks(const View& v) {
    const Box& a = v.area;
    m_screen.no_clip();
    if (v.more_up) m_screen.text(a.top, a.right(), u"^", Style::Hint, true);
    if (v.more_down) m_screen.text(a.bottom(), a.right(), u"v", Style::Hint, true);
    int mid = a.top + a.rows / 2;
    if (v.more_left) m_screen.text(mid, a.left, u"<", Style::Hint, true);
    if (v.more_right) m_screen.text(mid, a.right(), u">", Style::Hint, true);
}

void TerminalFrontend::draw_controls(const Window& dialog, const View& view, const std::vector<Placed>& placed) {
    HWND focus = focus_of(dialog, is_page(dialog));
    // Frames first, so that what lies inside them is drawn over their lines.
    for (int pass = 0; pass < 2; ++pass) {
        for (auto& p : placed) {
            const Window* w = platform::find_window(p.hwnd);
            if (!w) continue;
            bool frame = w->kind == Kind::GroupBox;
            if ((pass == 0) != frame) continue;
            m_screen.set_clip(view.area);
            draw_control(*w, p, view, p.hwnd == focus);
        }
    }
    m_screen.no_clip();
    draw_scroll_marks(view);
}

void TerminalFrontend::draw_control(const Window& w, const Placed& p, const View& view, bool focused) {
    Box b = p.box;
    b.top += view.row0;
    b.left += view.col0;
    m_on_screen[w.handle] = b;
    switch (w.kind) {
        case Kind::GroupBox:
            m_screen.frame(b);
            if (!w.text.empty()) m_screen.text(b.top, b.left + 2, u" " + w.text + u" ", Style::Normal, true);
            break;
        case Kind::Static: {
            bool field = (w.style & WS_BORDER) || (w.ex_style & WS_EX_STATICEDGE);
            if (field)
                m_screen.fill(Box{b.top, b.left, std::min<int>(b.rows, std::max<size_t>(1, p.lines.size())), b.cols},
                              Style::Field);
            for (size_t i = 0; i < p.lines.size() && int(i) < b.rows; ++i) {
                int col = b.left;
                if (w.style & SS_CENTER) col += std::max(0, (b.cols - int(p.lines[i].size())) / 2);
                m_screen.text(b.top + int(i), col, p.lines[i], field ? Style::Field : Style::Normal);
            }
            break;
        }
        case Kind::Bitmap:
        case Kind::Icon:
            if (!has_image(w)) break;  // an image the resources do not hold leaves its place empty
            m_screen.frame(b);
            if (b.rows > 2 && b.cols > 2) m_screen.stipple(Box{b.top + 1, b.left + 1, b.rows - 2, b.cols - 2});
            break;
        case Kind::Edit: {
            auto& st = m_edits[w.handle];
            std::u16string_view shown = edit_visible(w.text, st, b.cols);
            // The field's empty room shows as a line, also without colours.
            m_screen.fill(Box{b.top, b.left, 1, b.cols}, focused ? Style::Focus : Style::Field, U'_');
            m_screen.text(b.top, b.left, shown, focused ? Style::Focus : Style::Field);
            if (focused && view.area.contains(b.top, b.left + int(st.cursor - st.scroll)))
                m_screen.cursor(b.top, b.left + int(st.cursor - st.scroll));
            m_hits.push_back(Hit{Hit::Control, b, w.handle, 0});
            break;
        }
        case Kind::Button: {
            std::u16string label = button_label(w.text, b.cols);
            int col = b.left + std::max(0, (b.cols - int(label.size())) / 2);
            m_screen.text(b.top, col, label, focused ? Style::Focus : Style::Button);
            m_hits.push_back(Hit{Hit::Control, Box{b.top, col, 1, int(label.size())}, w.handle, 0});
            break;
        }
        case Kind::ComboBox: {
            const auto& list = *w.as<platform::ComboBoxState>();
            std::u16string item =
                list.cursel >= 0 && size_t(list.cursel) < list.items.size() ? list.items[size_t(list.cursel)] : u"";
            Style s = focused ? Style::Focus : Style::Field;
            m_screen.fill(Box{b.top, b.left, 1, b.cols}, s);
            m_screen.text(b.top, b.left, item.substr(0, size_t(std::max(0, b.cols - 2))), s);
            m_screen.text(b.top, b.right(), u"v", s, true);
            m_hits.push_back(Hit{Hit::Control, b, w.handle, 0});
            break;
        }
        case Kind::Progress: {
            const auto& bar = *w.as<platform::ProgressState>();
            int inner = std::max(0, b.cols - 2);
            long span = long(bar.high) - long(bar.low);
            int filled = span > 0 ? int(std::clamp((long(bar.pos) - bar.low) * inner / span, 0L, long(inner))) : 0;
            m_screen.text(b.top, b.left, u"[", Style::Normal);
            m_screen.text(b.top, b.left + 1, std::u16string(size_t(filled), u'#'), Style::Bar, true);
            m_screen.text(b.top, b.left + 1 + filled, std::u16string(size_t(inner - filled), u'.'), Style::Normal);
            m_screen.text(b.top, b.right(), u"]", Style::Normal);
            break;
        }
        default:
            break;
    }
}

}  // namespace orva::terminal
