// Typing into a one-line edit: caret, deletion and horizontal scrolling.
#include <gtest/gtest.h>

#include "frontends/terminal/edit_line.h"

namespace orva::terminal {
namespace {

TEST(EditLine, TypesAndDeletesAtTheCaret) {
    std::u16string text = u"\\Temp";
    EditState st{text.size(), 0};
    EXPECT_TRUE(edit_insert(text, st, u"\\x"));
    EXPECT_EQ(text, u"\\Temp\\x");
    EXPECT_FALSE(edit_key(text, st, EditKey::Home));
    EXPECT_FALSE(edit_key(text, st, EditKey::Backspace));  // nothing before the caret
    EXPECT_TRUE(edit_key(text, st, EditKey::Delete));
    EXPECT_EQ(text, u"Temp\\x");
    EXPECT_FALSE(edit_key(text, st, EditKey::End));
    EXPECT_FALSE(edit_key(text, st, EditKey::Delete));  // nothing after it
    EXPECT_TRUE(edit_key(text, st, EditKey::Backspace));
    EXPECT_EQ(text, u"Temp\\");
    EXPECT_TRUE(edit_key(text, st, EditKey::Clear));
    EXPECT_EQ(text, u"");
    EXPECT_EQ(st.cursor, 0u);
}

TEST(EditLine, ScrollsToKeepTheCaretInTheField) {
    std::u16string text = u"\\Storage Card\\images\\nk.bin";  // 27 characters
    EditState st{text.size(), 0};
    // A 10-cell field shows the last 9 characters and room for the caret.
    EXPECT_EQ(edit_visible(text, st, 10), u"es\\nk.bin");
    EXPECT_EQ(st.scroll, 18u);
    st.cursor = 0;
    EXPECT_EQ(edit_visible(text, st, 10), u"\\Storage C");
    // A caret left out of range by a shorter text comes back to its end.
    std::u16string shorter = u"ab";
    st.cursor = 20;
    st.scroll = 15;
    EXPECT_EQ(edit_visible(shorter, st, 10), u"ab");
    EXPECT_EQ(st.cursor, 2u);
    EXPECT_EQ(edit_visible(text, st, 0), u"");
}

}  // namespace
}  // namespace orva::terminal
