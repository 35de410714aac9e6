// Where a dialog's controls land on the character grid. A dialog unit is a
// quarter of a cell across and an eighth of a cell down; this file turns the
// model's rectangles into cell boxes, wraps static text, and works out the
// keyboard order and the scrolling of a view. No drawing happens here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/window_model.h"

namespace orva::terminal {

struct Box {
    int top = 0, left = 0, rows = 1, cols = 1;
    int bottom() const { return top + rows - 1; }  // inclusive
    int right() const { return left + cols - 1; }  // inclusive
    bool contains(int row, int col) const { return row >= top && row <= bottom() && col >= left && col <= right(); }
};

// A control placed on the grid, relative to its dialog's top-left cell.
struct Placed {
    HWND hwnd = nullptr;
    Box box;
    // Static text: the lines it shows (wrapped, and let run on to the right
    // where the template's box is narrower than the text and the room beside
    // it is free).
    std::vector<std::u16string> lines;
};

// The size of a dialog in cells; col_scale below 1 squeezes it across (a
// narrow terminal).
Box dialog_cells(const platform::Window& dialog, double col_scale = 1.0);

// The cell box of one control, from its rectangle in dialog units. Single-line
// controls (edits, buttons, lists, progress bars, short texts) take one row,
// chosen so that a label, its field and its button share a row.
Box control_cells(const platform::Window& control);

// Every visible control of a dialog, in template order, with group boxes
// that would share a frame line with a neighbour pulled in by a row, and
// texts and button labels too long for their box run on to the right where
// that room is free. col_scale below 1 squeezes the columns (a terminal
// narrower than the dialog); rows are never squeezed.
std::vector<Placed> lay_out(const platform::Window& dialog, double col_scale = 1.0);

// A push button's face in `width` cells: "[ Text ]", or "[Text]" and then
// cut when the room is short; mnemonic ampersands are dropped.
std::u16string button_label(std::u16string_view text, int width);

// The smallest box holding every placed control (the dialog's content).
Box content_extent(const std::vector<Placed>& placed);

// Word wrap into lines of at most `width` characters; a word longer than a
// line is cut. At most `max_lines` lines (the last one cut) when max_lines > 0.
std::vector<std::u16string> wrap_text(std::u16string_view text, int width, int max_lines = 0);

// The controls Tab visits, in template order: visible edits, push buttons and
// drop-down lists with WS_TABSTOP.
std::vector<HWND> tab_order(const platform::Window& dialog);

// A scroll offset that keeps [start, start + length) inside a view of `view`
// cells, moving as little as possible from `offset`, and never past
// [0, total - view].
int scroll_to_show(int offset, int view, int total, int start, int length);

}  // namespace orva::terminal
