// The escape sequences of the keyboard: CSI (ESC [) and SS3 (ESC O)
// sequences with their parameters, the Linux console's ESC [ [ A..E, Alt and
// a character, and Esc alone.
#include "frontends/terminal/escape_keys.h"

#include <curses.h>

namespace orva::terminal {
namespace {

// A sequence longer than this is no key a terminal sends.
constexpr size_t kLongestSequence = 32;

Key special(int code) {
    Key k;
    k.type = Key::Special;
    k.code = code;
    return k;
}

Key character(char32_t ch, bool alt) {
    Key k;
    k.type = Key::Char;
    k.ch = ch;
    k.alt = alt;
    return k;
}

EscapeRead dropped(Key* key) {
    *key = Key{};
    return EscapeRead::Done;
}

// xterm's modifier parameter: 1 + (1 Shift, 2 Alt, 4 Ctrl, 8 Meta).
void apply_modifier(int modifier, Key* key) {
    int bits = modifier > 1 ? modifier - 1 : 0;
    key->shift = bits & 1;
    key->alt = bits & (2 | 8);
    key->ctrl = bits & 4;
    if (key->shift && key->code == KEY_LEFT) key->code = KEY_SLEFT;
    if (key->shift && key->code == KEY_RIGHT) key->code = KEY_SRIGHT;
}

// The key of a final character shared by CSI and SS3: cursor keys, Home,
// End and F1..F4; 0 for none.
int cursor_or_function(char32_t final) {
    switch (final) {
        case 'A':
            return KEY_UP;
        case 'B':
            return KEY_DOWN;
        case 'C':
            return KEY_RIGHT;
        case 'D':
            return KEY_LEFT;
        case 'H':
            return KEY_HOME;
        case 'F':
            return KEY_END;
        case 'P':
        case 'Q':
        case 'R':
        case 'S':
            return KEY_F(1 + int(final - 'P'));
        default:
            return 0;
    }
}

// The VT220's "CSI n ~" keys (rxvt's Home and End as 7 and 8); 0 for none.
int tilde_key(int n) {
    switch (n) {
        case 1:
        case 7:
            return KEY_HOME;
        case 2:
            return KEY_IC;
        case 3:
            return KEY_DC;
        case 4:
        case 8:
            return KEY_END;
        case 5:
            return KEY_PPAGE;
        case 6:
            return KEY_NPAGE;
        default:
            break;
    }
    if (n >= 11 && n <= 15) return KEY_F(n - 10);
    if (n >= 17 && n <= 21) return KEY_F(n - 11);
    if (n >= 23 && n <= 26) return KEY_F(n - 12);
    return 0;
}

// Splits the parameter bytes "a;b" into the key number and the modifier
// (both 1 when absent). false for a private form ("<", "=", ">", "?"), which
// reports (mouse, focus) rather than keys use.
bool parameters(std::u32string_view p, int* number, int* modifier) {
    if (!p.empty() && p[0] >= '<' && p[0] <= '?') return false;
    int values[2] = {0, 0}, index = 0;
    for (char32_t c : p) {
        if (c == ';') {
            if (++index > 1) break;
        } else if (c >= '0' && c <= '9') {
            values[index] = std::min(values[index] * 10 + int(c - '0'), 1000);
        } else {
            return false;
        }
    }
    *number = values[0] ? values[0] : 1;
    *modifier = values[1] ? values[1] : 1;
    return true;
}

// What followed "ESC [".
EscapeRead csi(std::u32string_view p, bool timed_out, Key* key) {
    if (p.empty()) {
        if (!timed_out) return EscapeRead::NeedMore;
        *key = character(U'[', true);
        return EscapeRead::Done;
    }
    if (p[0] == '[') {  // the Linux console's F1..F5
        if (p.size() < 2) return timed_out ? dropped(key) : EscapeRead::NeedMore;
        if (p[1] < 'A' || p[1] > 'E') return dropped(key);
        *key = special(KEY_F(1 + int(p[1] - 'A')));
        return EscapeRead::Done;
    }
    if (p[0] == 'M') {  // a mouse report in X10 form: three bytes follow
        if (p.size() < 4 && !timed_out) return EscapeRead::NeedMore;
        return dropped(key);
    }
    size_t i = 0;
    while (i < p.size() && p[i] >= 0x30 && p[i] <= 0x3F) ++i;
    size_t params_end = i;
    while (i < p.size() && p[i] >= 0x20 && p[i] <= 0x2F) ++i;
    if (i == p.size()) {
        if (timed_out || p.size() > kLongestSequence) return dropped(key);
        return EscapeRead::NeedMore;
    }
    char32_t final = p[i];
    int number = 1, modifier = 1;
    if (final < 0x40 || final > 0x7E || params_end != i || !parameters(p.substr(0, params_end), &number, &modifier))
        return dropped(key);
    int code = 0;
    if (final == '~') code = tilde_key(number);
    else if (final == 'Z') code = kBackTab;
    else code = cursor_or_function(final);
    if (!code) return dropped(key);
    *key = special(code);
    apply_modifier(modifier, key);
    return EscapeRead::Done;
}

// What followed "ESC O": cursor and function keys, and the numeric keypad in
// its application mode (its digits and signs are typed as themselves).
EscapeRead ss3(std::u32string_view p, bool timed_out, Key* key) {
    if (p.empty()) {
        if (!timed_out) return EscapeRead::NeedMore;
        *key = character(U'O', true);
        return EscapeRead::Done;
    }
    size_t i = 0;
    while (i < p.size() && ((p[i] >= '0' && p[i] <= '9') || p[i] == ';')) ++i;
    if (i == p.size()) {
        if (timed_out || p.size() > kLongestSequence) return dropped(key);
        return EscapeRead::NeedMore;
    }
    char32_t final = p[i];
    int number = 1, modifier = 1;
    parameters(p.substr(0, i), &number, &modifier);
    // "ESC O 5 P" (an older form) carries the modifier alone.
    if (i > 0 && p.substr(0, i).find(';') == std::u32string_view::npos) modifier = number;
    static constexpr std::u32string_view kKeypad = U"pqrstuvwxyjklmnoX";
    static constexpr std::u32string_view kKeypadChars = U"0123456789*+,-./=";
    if (final == 'M') {
        *key = special(kEnter);
    } else if (size_t at = kKeypad.find(final); at != std::u32string_view::npos) {
        *key = character(kKeypadChars[at], false);
        return EscapeRead::Done;
    } else if (int code = cursor_or_function(final)) {
        *key = special(code);
    } else {
        return dropped(key);
    }
    apply_modifier(modifier, key);
    return EscapeRead::Done;
}

}  // namespace

EscapeRead decode_escape(std::u32string_view after, bool timed_out, Key* key) {
    *key = Key{};
    if (after.empty()) {
        if (!timed_out) return EscapeRead::NeedMore;
        *key = special(kEscape);
        return EscapeRead::Done;
    }
    char32_t c = after[0];
    if (c == 27) {
        // A second ESC: Alt and the key the rest makes (rxvt's Alt+arrow),
        // or Esc pressed twice.
        if (after.size() == 1) {
            if (!timed_out) return EscapeRead::NeedMore;
            *key = special(kEscape);
            return EscapeRead::Done;
        }
        EscapeRead read = decode_escape(after.substr(1), timed_out, key);
        if (read == EscapeRead::Done && key->type != Key::None) key->alt = true;
        return read;
    }
    if (c == '[') return csi(after.substr(1), timed_out, key);
    if (c == 'O') return ss3(after.substr(1), timed_out, key);
    if (c == 9) {  // the Linux console's Shift+Tab
        *key = special(kBackTab);
        return EscapeRead::Done;
    }
    if (c < 0x20 || c == 0x7F) return dropped(key);
    *key = character(c, true);
    return EscapeRead::Done;
}

}  // namespace orva::terminal
