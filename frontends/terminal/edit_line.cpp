// Caret movement, typing and horizontal scrolling of a one-line edit.
#include "frontends/terminal/edit_line.h"

#include <algorithm>

namespace orva::terminal {

bool edit_key(std::u16string& text, EditState& st, EditKey key) {
    st.cursor = std::min(st.cursor, text.size());
    switch (key) {
        case EditKey::Left:
            if (st.cursor > 0) --st.cursor;
            return false;
        case EditKey::Right:
            if (st.cursor < text.size()) ++st.cursor;
            return false;
        case EditKey::Home:
            st.cursor = 0;
            return false;
        case EditKey::End:
            st.cursor = text.size();
            return false;
        case EditKey::Backspace:
            if (st.cursor == 0) return false;
            text.erase(--st.cursor, 1);
            return true;
        case EditKey::Delete:
            if (st.cursor >= text.size()) return false;
            text.erase(st.cursor, 1);
            return true;
        case EditKey::Clear:
            st.cursor = 0;
            st.scroll = 0;
            if (text.empty()) return false;
            text.clear();
            return true;
    }
    return false;
}

bool edit_insert(std::u16string& text, EditState& st, std::u16string_view chars) {
    st.cursor = std::min(st.cursor, text.size());
    if (chars.empty()) return false;
    text.insert(st.cursor, chars);
    st.cursor += chars.size();
    return true;
}

std::u16string_view edit_visible(const std::u16string& text, EditState& st, int width) {
    st.cursor = std::min(st.cursor, text.size());
    if (width <= 0) return {};
    size_t w = size_t(width);
    if (st.cursor < st.scroll) st.scroll = st.cursor;
    if (st.cursor >= st.scroll + w) st.scroll = st.cursor - w + 1;
    // No empty room at the right while earlier text is hidden.
    if (st.scroll > 0 && text.size() < st.scroll + w) st.scroll = text.size() >= w ? text.size() - w + 1 : 0;
    if (st.scroll > st.cursor) st.scroll = st.cursor;
    return std::u16string_view(text).substr(std::min(st.scroll, text.size()), w);
}

}  // namespace orva::terminal
