// The terminal as the frontend draws on it: ncurses set up on standard input
// and output, colours when the terminal has them and plain attributes when
// it has not, line drawing (ncurses falls back to ASCII where the terminal
// has no line characters), clipped text output and key reading.
#pragma once

#include <string>
#include <string_view>

#include "frontends/terminal/grid_layout.h"

namespace orva::terminal {

// What a cell is drawn as; each style has a colour pair and a plain fallback.
enum class Style { Normal, Title, Tab, TabCurrent, Field, Focus, Button, Frame, Box, Hint, Bar };

// One key or mouse event, decoded.
struct Key {
    enum Type { None, Char, Special, Mouse, Resize, Closed } type = None;
    char32_t ch = 0;                   // Char: the character typed
    int code = 0;                      // Special: an ncurses KEY_* code, or one of the codes below
    bool alt = false;                  // Char typed with Alt (or after Esc); Special with Alt
    bool shift = false, ctrl = false;  // Special: the modifiers an escape sequence carried
    int row = 0, col = 0;
    bool click = false, wheel_up = false, wheel_down = false;  // Mouse
};
constexpr int kEscape = 27;
constexpr int kTab = 9;
constexpr int kBackTab = 0x161;  // KEY_BTAB
constexpr int kEnter = 10;
constexpr char32_t kCtrlD = 4;
constexpr char32_t kCtrlU = 21;

class Screen {
public:
    // false and a message when the terminal cannot be used.
    bool open(std::string* error);
    // Leaves the terminal as it was (idempotent).
    void close();
    bool is_open() const { return m_open; }
    ~Screen() { close(); }

    int rows() const;
    int cols() const;
    bool colours() const { return m_colours; }
    // Whether the terminal's description lists PgUp and PgDn keys.
    bool has_page_keys() const;

    void wipe();
    // Everything drawn is clipped to this box (screen cells); the whole
    // screen when none is set.
    void set_clip(const Box& box) {
        m_clip = box;
        m_clipped = true;
    }
    void no_clip() { m_clipped = false; }

    void text(int row, int col, std::u16string_view s, Style style = Style::Normal, bool bold = false);
    void fill(const Box& box, Style style, char32_t ch = U' ');
    void frame(const Box& box, Style style = Style::Frame);
    void horizontal_line(int row, int col, int length, Style style = Style::Frame);
    void stipple(const Box& box);
    // Puts the terminal's cursor at a cell (shown) or hides it.
    void cursor(int row, int col);
    void hide_cursor();
    // Sends what was drawn to the terminal now.
    void show();

    // Blocks for the next key; Closed when the terminal has gone. An escape
    // sequence comes as the key it stands for, or not at all: its characters
    // never come as typed ones.
    Key read_key();

private:
    bool visible(int row, int col) const;
    // Reads what follows an ESC; false for a sequence that means nothing here.
    bool read_escape(Key* key);
    void put(int row, int col, char32_t ch, int attr);
    void put_acs(int row, int col, unsigned long acs, int attr);
    int attr_of(Style style, bool bold = false) const;

    bool m_open = false;
    bool m_colours = false;
    bool m_can_hide_cursor = false;
    bool m_clipped = false;
    Box m_clip;
    int m_cursor_row = -1, m_cursor_col = -1;
    void* m_term = nullptr;  // the ncurses SCREEN
};

}  // namespace orva::terminal
