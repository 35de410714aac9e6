// Escape sequences from the keyboard: the forms of xterm, the VT220 and the
// Linux console each make their key, a sequence read a character at a time
// is never taken for a key early, and the rest are dropped whole.
#include <gtest/gtest.h>

#include <curses.h>

#include "frontends/terminal/escape_keys.h"

namespace orva::terminal {
namespace {

// "C-M-S-" and the key's ncurses name or the character; "-" when dropped.
std::string name(const Key& k) {
    if (k.type == Key::None) return "-";
    std::string mods = std::string(k.ctrl ? "C-" : "") + (k.alt ? "M-" : "") + (k.shift ? "S-" : "");
    if (k.type == Key::Char) return mods + char(k.ch);
    return mods + keyname(k.code);
}

std::string decoded(std::u32string_view after, bool timed_out = false) {
    Key k;
    return decode_escape(after, timed_out, &k) == EscapeRead::Done ? name(k) : "more";
}

TEST(EscapeKeys, DecodesTheCommonFormsAndDropsTheRest) {
    struct Row {
        std::u32string after;
        bool timed_out;
        std::string key;
    } rows[] = {
        {U"", true, "^["},  // Esc alone
        {U"", false, "more"},
        {U"[15~", false, "KEY_F(5)"},  // xterm, VT220 emulators
        {U"[11~", false, "KEY_F(1)"},
        {U"OP", false, "KEY_F(1)"},
        {U"[[E", false, "KEY_F(5)"},  // the Linux console
        {U"[1;5P", false, "C-KEY_F(1)"},
        {U"[A", false, "KEY_UP"},
        {U"[1;5A", false, "C-KEY_UP"},
        {U"[1;2D", false, "S-KEY_SLEFT"},
        {U"[1;3C", false, "M-KEY_RIGHT"},
        {U"[5;5~", false, "C-KEY_PPAGE"},
        {U"[1~", false, "KEY_HOME"},
        {U"OH", false, "KEY_HOME"},
        {U"[F", false, "KEY_END"},
        {U"[3~", false, "KEY_DC"},
        {U"[Z", false, "KEY_BTAB"},
        {U"\t", false, "KEY_BTAB"},
        {U"\x1b[A", false, "M-KEY_UP"},  // rxvt's Alt+Up
        {U"Op", false, "0"},             // the keypad in application mode
        {U"OM", false, "^J"},
        {U"5", false, "M-5"},  // Alt+5
        {U"[", true, "M-["},
        {U"[99~", false, "-"},
        {U"[200~", false, "-"},  // bracketed paste
        {U"[<0;10;5M", false, "-"},
        {U"[M !!", false, "-"},  // an X10 mouse report
        {U"[1;5", true, "-"},    // cut short
    };
    for (const Row& r : rows) {
        EXPECT_EQ(decoded(r.after, r.timed_out), r.key) << std::string(r.after.begin(), r.after.end());
        // Read a character at a time, a sequence is never complete early.
        if (r.after.size() > 1 && (r.after[0] == '[' || r.after[0] == 'O')) {
            for (size_t n = 1; n < r.after.size(); ++n)
                EXPECT_EQ(decoded(r.after.substr(0, n)), "more") << std::string(r.after.begin(), r.after.begin() + n);
        }
    }
}

}  // namespace
}  // namespace orva::terminal
