// The caret and horizontal scrolling of a one-line edit field, as the
// operator types into it. Pure text logic; the frontend draws the result.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orva::terminal {

struct EditState {
    size_t cursor = 0;  // caret position in characters, 0..text.size()
    size_t scroll = 0;  // first character shown
};

enum class EditKey { Left, Right, Home, End, Backspace, Delete, Clear };

// Applies an editing key; true when the text changed.
bool edit_key(std::u16string& text, EditState& state, EditKey key);
// Inserts typed characters at the caret; true when the text changed.
bool edit_insert(std::u16string& text, EditState& state, std::u16string_view chars);
// Scrolls so that the caret stays inside a field `width` cells wide (the
// caret may sit just after the last character) and returns what the field
// shows, at most `width` characters.
std::u16string_view edit_visible(const std::u16string& text, EditState& state, int width);

}  // namespace orva::terminal
