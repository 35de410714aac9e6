// Dialog units to cells, static text wrapping, Tab order and view scrolling.
#include "frontends/terminal/grid_layout.h"

#include <algorithm>
#include <cmath>

namespace orva::terminal {
namespace {

using platform::Kind;
using platform::Window;

int round_div(long value, int by) { return int(std::lround(double(value) / by)); }

int floor_div(long value, int by) { return int(std::floor(double(value) / by)); }

bool single_row(const Window& w) {
    switch (w.kind) {
        case Kind::Edit:
        case Kind::Button:
        case Kind::ComboBox:
        case Kind::Progress:
            return true;
        case Kind::Static:
            return w.du.bottom - w.du.top < 16;
        default:
            return false;
    }
}

bool rows_overlap(const Box& a, const Box& b) { return a.top <= b.bottom() && b.top <= a.bottom(); }
bool cols_overlap(const Box& a, const Box& b) { return a.left <= b.right() && b.left <= a.right(); }

}  // namespace

std::u16string button_label(std::u16string_view text, int width) {
    std::u16string clean;
    for (char16_t c : text)
        if (c != u'&') clean += c;
    std::u16string label = u"[ " + clean + u" ]";
    if (int(label.size()) > width) label = u"[" + clean + u"]";
    if (int(label.size()) > width && width >= 2) label = u"[" + clean.substr(0, size_t(width - 2)) + u"]";
    return label;
}

Box dialog_cells(const Window& dialog, double col_scale) {
    Box b;
    b.rows = std::max(1, round_div(dialog.du.bottom - dialog.du.top, 8));
    b.cols = std::max(1, int(std::lround(round_div(dialog.du.right - dialog.du.left, 4) * std::min(1.0, col_scale))));
    return b;
}

Box control_cells(const Window& w) {
    const RECT& du = w.du;
    Box b;
    b.left = round_div(du.left, 4);
    if (w.kind == Kind::GroupBox) {
        b.cols = std::max(2, round_div(du.right, 4) - b.left + 1);
        b.top = round_div(du.top, 8);
        b.rows = std::max(2, round_div(du.bottom, 8) - b.top + 1);
        return b;
    }
    b.cols = std::max(1, round_div(du.right, 4) - b.left);
    if (single_row(w)) {
        // A drop-down list's rectangle is the height of its open list; the
        // closed box is about one text line.
        long height = w.kind == Kind::ComboBox ? 8 : du.bottom - du.top;
        b.top = floor_div(2 * du.top + height + 4, 16);
        b.rows = 1;
    } else {
        b.top = round_div(du.top, 8);
        b.rows = std::max(1, round_div(du.bottom, 8) - b.top);
    }
    return b;
}

std::vector<std::u16string> wrap_text(std::u16string_view text, int width, int max_lines) {
    std::vector<std::u16string> lines;
    if (width <= 0) return lines;
    std::u16string line;
    bool open = false;  // a line has been started
    auto flush = [&] {
        lines.push_back(line);
        line.clear();
        open = false;
    };
    size_t i = 0;
    while (i <= text.size()) {
        if (i == text.size()) break;
        char16_t c = text[i];
        if (c == u'\r') {
            ++i;
            continue;
        }
        if (c == u'\n') {
            flush();
            open = true;
            ++i;
            continue;
        }
        if (c == u' ') {
            if (!line.empty() && int(line.size()) < width) line += u' ';
            ++i;
            continue;
        }
        size_t end = text.find_first_of(u" \r\n", i);
        if (end == std::u16string_view::npos) end = text.size();
        std::u16string_view word = text.substr(i, end - i);
        while (!word.empty()) {
            int room = width - int(line.size());
            if (int(word.size()) <= room) {
                line += word;
                open = true;
                word = {};
            } else if (!line.empty()) {
                while (!line.empty() && line.back() == u' ') line.pop_back();
                flush();
            } else {
                line += word.substr(0, size_t(width));
                word.remove_prefix(size_t(width));
                flush();
            }
        }
        i = end;
    }
    if (open || !line.empty()) {
        while (!line.empty() && line.back() == u' ') line.pop_back();
        lines.push_back(line);
    }
    if (max_lines > 0 && int(lines.size()) > max_lines) lines.resize(size_t(max_lines));
    return lines;
}

std::vector<Placed> lay_out(const Window& dialog, double col_scale) {
    std::vector<Placed> placed;
    col_scale = std::min(1.0, col_scale);
    for (HWND h : dialog.children) {
        const Window* w = platform::find_window(h);
        if (!w || !w->visible) continue;
        Box b = control_cells(*w);
        if (col_scale < 1.0) {
            int right = int(std::lround((b.left + b.cols) * col_scale));
            b.left = int(std::lround(b.left * col_scale));
            b.cols = std::max(1, right - b.left);
        }
        placed.push_back(Placed{h, b, {}});
    }
    auto window_of = [](const Placed& p) { return platform::find_window(p.hwnd); };
    // Two group boxes whose frames would share a row: the upper one ends a
    // row sooner, when that leaves it room inside.
    for (auto& upper : placed) {
        if (window_of(upper)->kind != Kind::GroupBox) continue;
        for (auto& lower : placed) {
            if (&lower == &upper || window_of(lower)->kind != Kind::GroupBox) continue;
            if (lower.box.top == upper.box.bottom() && cols_overlap(upper.box, lower.box) && upper.box.rows > 2)
                --upper.box.rows;
        }
    }
    // What lies inside a frame keeps off its lines.
    for (auto& p : placed) {
        if (window_of(p)->kind == Kind::GroupBox) continue;
        for (auto& g : placed) {
            if (window_of(g)->kind != Kind::GroupBox) continue;
            const Box& f = g.box;
            if (p.box.top <= f.top || p.box.bottom() >= f.bottom() || p.box.left < f.left || p.box.left > f.right())
                continue;
            if (p.box.left == f.left) {
                ++p.box.left;
                if (p.box.cols > 1) --p.box.cols;
            }
            if (p.box.right() >= f.right()) p.box.cols = std::max(1, f.right() - p.box.left);
        }
    }
    int dialog_rows = dialog_cells(dialog).rows;
    int dialog_right = dialog_cells(dialog, col_scale).cols - 1;
    for (auto& p : placed) {
        const Window* w = window_of(p);
        bool button = w->kind == Kind::Button;
        if (w->kind != Kind::Static && !button) continue;
        int needed = button ? int(button_label(w->text, 1000).size()) : 0;
        if (button) {
            if (needed <= p.box.cols) continue;
        } else {
            p.lines = wrap_text(w->text, p.box.cols);
            if (int(p.lines.size()) <= p.box.rows) continue;
        }
        // Too long for its box: let it run on to the right as far as the
        // next control, the frame around it or the dialog's edge.
        int limit = dialog_right;
        for (auto& other : placed) {
            if (&other == &p || !rows_overlap(p.box, other.box)) continue;
            bool group = window_of(other)->kind == Kind::GroupBox;
            if (other.box.left > p.box.left) limit = std::min(limit, other.box.left - (group ? 1 : 2));
            if (group && other.box.right() > p.box.left && other.box.left <= p.box.left)
                limit = std::min(limit, other.box.right() - 1);
        }
        p.box.cols = std::max(p.box.cols, limit - p.box.left + 1);
        if (button) {
            p.box.cols = std::min(p.box.cols, needed);
            continue;
        }
        p.lines = wrap_text(w->text, p.box.cols);
        // Still too long: take the free rows below it, inside its frame.
        bool one_line = w->du.bottom - w->du.top < 16;
        while (!one_line && int(p.lines.size()) > p.box.rows && p.box.bottom() + 1 < dialog_rows) {
            Box next{p.box.bottom() + 1, p.box.left, 1, p.box.cols};
            bool free = true;
            for (auto& other : placed) {
                if (&other == &p) continue;
                bool group = window_of(other)->kind == Kind::GroupBox;
                bool blocks = group ? (other.box.top == next.top || other.box.bottom() == next.top) &&
                                          cols_overlap(other.box, next)
                                    : rows_overlap(other.box, next) && cols_overlap(other.box, next);
                if (blocks) free = false;
            }
            if (!free) break;
            ++p.box.rows;
        }
        p.lines = wrap_text(w->text, p.box.cols, p.box.rows);
    }
    return placed;
}

Box content_extent(const std::vector<Placed>& placed) {
    if (placed.empty()) return Box{0, 0, 1, 1};
    int top = placed[0].box.top, left = placed[0].box.left;
    int bottom = placed[0].box.bottom(), right = placed[0].box.right();
    for (auto& p : placed) {
        top = std::min(top, p.box.top);
        left = std::min(left, p.box.left);
        bottom = std::max(bottom, p.box.bottom());
        right = std::max(right, p.box.right());
    }
    return Box{top, left, bottom - top + 1, right - left + 1};
}

std::vector<HWND> tab_order(const Window& dialog) {
    std::vector<HWND> order;
    for (HWND h : dialog.children) {
        const Window* w = platform::find_window(h);
        if (!w || !w->visible || !(w->style & WS_TABSTOP)) continue;
        if (w->kind == Kind::Edit || w->kind == Kind::Button || w->kind == Kind::ComboBox) order.push_back(h);
    }
    return order;
}

int scroll_to_show(int offset, int view, int total, int start, int length) {
    if (view <= 0 || total <= view) return 0;
    if (start < offset || length > view) offset = start;
    else if (start + length > offset + view) offset = start + length - view;
    return std::clamp(offset, 0, total - view);
}

}  // namespace orva::terminal
