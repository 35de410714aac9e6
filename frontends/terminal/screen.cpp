// ncurses on standard input and output: colours or plain attributes, line
// drawing, clipped output and decoded keys.
#include "frontends/terminal/screen.h"

#include <curses.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontends/terminal/escape_keys.h"

namespace orva::terminal {
namespace {

struct Colour {
    short fg, bg;
};

// Pair numbers are the Style's value + 1. No pair relies on bold: many
// terminals draw bold black as grey, which cyan or white would all but hide.
constexpr Colour kColours[] = {
    {-1, -1},                     // Normal
    {COLOR_WHITE, COLOR_BLUE},    // Title
    {COLOR_WHITE, COLOR_BLUE},    // Tab
    {COLOR_BLACK, COLOR_CYAN},    // TabCurrent
    {COLOR_BLACK, COLOR_CYAN},    // Field
    {COLOR_BLACK, COLOR_YELLOW},  // Focus
    {COLOR_BLACK, COLOR_WHITE},   // Button
    {-1, -1},                     // Frame
    {COLOR_BLACK, COLOR_WHITE},   // Box
    {COLOR_CYAN, -1},             // Hint
    {COLOR_BLUE, -1},             // Bar
};

SCREEN* term_of(void* p) { return static_cast<SCREEN*>(p); }

// How long the character after an Esc may take to come and still make one
// key with it (Alt+key, or the start of a sequence), and how long each
// further character of a begun sequence may take.
constexpr int kAfterEscapeMs = 40;
constexpr int kInSequenceMs = 100;

}  // namespace

bool Screen::open(std::string* error) {
    if (m_open) return true;
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        *error = "the terminal frontend needs a terminal on standard input and output";
        return false;
    }
    const char* term = std::getenv("TERM");
    if (!term || !*term) {
        *error = "TERM is not set, so the terminal cannot be used";
        return false;
    }
    std::setlocale(LC_ALL, "");
    // The keys of terminfo's extended names (xterm's modified keys) are
    // decoded here, in the same way for every terminal type.
    use_extended_names(FALSE);
    SCREEN* s = newterm(nullptr, stdout, stdin);
    if (!s) {
        *error = std::string("the terminal type \"") + term + "\" is not known here";
        return false;
    }
    m_term = s;
    set_term(s);
    m_open = true;
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    m_can_hide_cursor = curs_set(0) != ERR;
    if (has_colors() && start_color() == OK) {
        use_default_colors();
        m_colours = true;
        for (short i = 0; i < short(std::size(kColours)); ++i) init_pair(short(i + 1), kColours[i].fg, kColours[i].bg);
    }
    mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED | BUTTON4_PRESSED | BUTTON5_PRESSED, nullptr);
    mouseinterval(0);
    return true;
}

void Screen::close() {
    if (!m_open) return;
    m_open = false;
    curs_set(1);
    endwin();
    delscreen(term_of(m_term));
    m_term = nullptr;
    std::fflush(stdout);
}

int Screen::rows() const { return m_open ? LINES : 24; }
int Screen::cols() const { return m_open ? COLS : 80; }
bool Screen::has_page_keys() const { return m_open && has_key(KEY_PPAGE) && has_key(KEY_NPAGE); }

int Screen::attr_of(Style style, bool bold) const {
    int attr = A_NORMAL;
    if (m_colours) {
        attr = int(COLOR_PAIR(int(style) + 1));
        if (style == Style::Title) attr |= A_BOLD;
    } else {
        switch (style) {
            case Style::Title:
            case Style::TabCurrent:
            case Style::Focus:
                attr = A_REVERSE;
                break;
            case Style::Field:
                attr = A_UNDERLINE;
                break;
            default:
                break;
        }
    }
    if (bold) attr |= A_BOLD;
    return attr;
}

bool Screen::visible(int row, int col) const {
    if (row < 0 || col < 0 || row >= rows() || col >= cols()) return false;
    return !m_clipped || m_clip.contains(row, col);
}

void Screen::put(int row, int col, char32_t ch, int attr) {
    if (!m_open || !visible(row, col)) return;
    // Control characters would move the terminal's cursor.
    if (ch < 0x20 || ch == 0x7F || (ch >= 0x80 && ch < 0xA0)) ch = U'?';
    wchar_t s[2] = {wchar_t(ch), 0};
    attrset(attr);
    mvaddnwstr(row, col, s, 1);
    attrset(A_NORMAL);
}

void Screen::put_acs(int row, int col, unsigned long acs, int attr) {
    if (!m_open || !visible(row, col)) return;
    mvaddch(row, col, chtype(acs) | chtype(attr));
}

void Screen::wipe() {
    if (!m_open) return;
    erase();
    m_cursor_row = m_cursor_col = -1;
}

void Screen::text(int row, int col, std::u16string_view s, Style style, bool bold) {
    int attr = attr_of(style, bold);
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        put(row, col++, c, attr);
    }
}

void Screen::fill(const Box& box, Style style, char32_t ch) {
    int attr = attr_of(style);
    for (int r = box.top; r <= box.bottom(); ++r)
        for (int c = box.left; c <= box.right(); ++c) put(r, c, ch, attr);
}

void Screen::horizontal_line(int row, int col, int length, Style style) {
    int attr = attr_of(style);
    for (int c = col; c < col + length; ++c) put_acs(row, c, ACS_HLINE, attr);
}

void Screen::frame(const Box& b, Style style) {
    int attr = attr_of(style);
    for (int c = b.left + 1; c < b.right(); ++c) {
        put_acs(b.top, c, ACS_HLINE, attr);
        put_acs(b.bottom(), c, ACS_HLINE, attr);
    }
    for (int r = b.top + 1; r < b.bottom(); ++r) {
        put_acs(r, b.left, ACS_VLINE, attr);
        put_acs(r, b.right(), ACS_VLINE, attr);
    }
    put_acs(b.top, b.left, ACS_ULCORNER, attr);
    put_acs(b.top, b.right(), ACS_URCORNER, attr);
    put_acs(b.bottom(), b.left, ACS_LLCORNER, attr);
    put_acs(b.bottom(), b.right(), ACS_LRCORNER, attr);
}

void Screen::stipple(const Box& b) {
    int attr = attr_of(Style::Hint);
    for (int r = b.top; r <= b.bottom(); ++r)
        for (int c = b.left; c <= b.right(); ++c) put_acs(r, c, ACS_CKBOARD, attr);
}

void Screen::cursor(int row, int col) {
    m_cursor_row = row;
    m_cursor_col = col;
}

void Screen::hide_cursor() { m_cursor_row = m_cursor_col = -1; }

void Screen::show() {
    if (!m_open) return;
    if (m_cursor_row >= 0 && m_cursor_row < rows() && m_cursor_col >= 0 && m_cursor_col < cols()) {
        move(m_cursor_row, m_cursor_col);
        curs_set(1);
    } else if (m_can_hide_cursor) {
        curs_set(0);
    } else {
        // A terminal that cannot hide its cursor (a VT100) gets it parked in
        // the bottom left corner, out of the way of what it shows.
        move(rows() - 1, 0);
    }
    wnoutrefresh(stdscr);
    doupdate();
}

bool Screen::read_escape(Key* key) {
    std::u32string after;
    for (;;) {
        timeout(after.empty() ? kAfterEscapeMs : kInSequenceMs);
        wint_t next = 0;
        int r = get_wch(&next);
        timeout(-1);
        if (r == KEY_CODE_YES) {
            // ncurses decoded a key of the terminal's description: after a
            // lone Esc it is that key with Alt; inside a sequence it ends it.
            *key = Key{};
            key->type = next == KEY_RESIZE ? Key::Resize : Key::Special;
            key->code = next == KEY_ENTER ? kEnter : int(next);
            key->alt = after.empty();
            return true;
        }
        if (r == OK) after.push_back(char32_t(next));
        if (decode_escape(after, r == ERR, key) == EscapeRead::Done) return key->type != Key::None;
    }
}

Key Screen::read_key() {
    Key key;
    if (!m_open) {
        key.type = Key::Closed;
        return key;
    }
    for (int attempt = 0;; ++attempt) {
        wint_t wc = 0;
        errno = 0;
        int r = get_wch(&wc);
        if (r == ERR) {
            // A signal may cut the wait short; an error that persists means
            // the terminal has gone (hung up, or input closed).
            if (errno == EINTR && attempt < 100) continue;
            key.type = Key::Closed;
            return key;
        }
        if (r == KEY_CODE_YES) {
            if (wc == KEY_RESIZE) {
                key.type = Key::Resize;
            } else if (wc == KEY_MOUSE) {
                MEVENT ev{};
                if (getmouse(&ev) != OK) continue;
                key.type = Key::Mouse;
                key.row = ev.y;
                key.col = ev.x;
                key.click = (ev.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) != 0;
                key.wheel_up = (ev.bstate & BUTTON4_PRESSED) != 0;
#ifdef BUTTON5_PRESSED
                key.wheel_down = (ev.bstate & BUTTON5_PRESSED) != 0;
#endif
            } else if (wc == KEY_ENTER) {
                key.type = Key::Special;
                key.code = kEnter;
            } else {
                key.type = Key::Special;
                key.code = int(wc);
            }
            return key;
        }
        if (wc == 27) {
            if (read_escape(&key)) return key;
            continue;  // a sequence that means nothing here
        }
        key.type = Key::Special;
        if (wc == 9) key.code = kTab;
        else if (wc == 10 || wc == 13) key.code = kEnter;
        else if (wc == 127 || wc == 8) key.code = KEY_BACKSPACE;
        else {
            key.type = Key::Char;
            key.ch = char32_t(wc);
        }
        return key;
    }
}

}  // namespace orva::terminal
