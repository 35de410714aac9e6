// The grid arithmetic of the terminal frontend: text wrapping, scrolling a
// view to the focus, and pages laid out from the real
// templates (labels, fields and buttons sharing rows; frames kept apart).
#include <gtest/gtest.h>

#include "frontends/terminal/grid_layout.h"

namespace orva::terminal {
namespace {

TEST(WrapText, BreaksAtSpacesAndCutsLongWords) {
    struct Row {
        std::u16string text;
        int width, max_lines;
        std::vector<std::u16string> lines;
    } rows[] = {
        {u"It will take several seconds", 12, 0, {u"It will take", u"several", u"seconds"}},
        {u"abcdefghij", 4, 0, {u"abcd", u"efgh", u"ij"}},
        {u"one two three four", 9, 2, {u"one two", u"three"}},
        {u"a\nb", 10, 0, {u"a", u"b"}},
        {u"", 10, 0, {}},
        {u"text", 0, 0, {}},
    };
    for (auto& r : rows) EXPECT_EQ(wrap_text(r.text, r.width, r.max_lines), r.lines);
}

TEST(ScrollToShow, MovesAsLittleAsNeededAndStaysInRange) {
    struct Row {
        int offset, view, total, start, length, expected;
    } rows[] = {
        {0, 10, 8, 5, 1, 0},      // everything fits
        {0, 10, 30, 12, 1, 3},    // below the view: bottom-aligned
        {15, 10, 30, 12, 1, 12},  // above the view: top-aligned
        {5, 10, 30, 7, 2, 5},     // already in view
        {0, 10, 30, 28, 5, 20},   // never past the end
        {0, 10, 30, 4, 20, 4},    // taller than the view: its top
        {0, 0, 30, 4, 1, 0},      // no room at all
    };
    for (auto& r : rows)
        EXPECT_EQ(scroll_to_show(r.offset, r.view, r.total, r.start, r.length), r.expected)
            << r.offset << " " << r.start;
}

TEST(ButtonLabel, ShrinksToItsRoom) {
    EXPECT_EQ(button_label(u"Change", 20), u"[ Change ]");
    EXPECT_EQ(button_label(u"Change", 8), u"[Change]");
    EXPECT_EQ(button_label(u"Change", 5), u"[Cha]");
    EXPECT_EQ(button_label(u"E&xit", 20), u"[ Exit ]");
}

}  // namespace
}  // namespace orva::terminal
