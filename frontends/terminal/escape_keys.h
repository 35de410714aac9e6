// Keys that arrive as escape sequences, decoded from the characters that
// follow the ESC: the forms xterm, the VT220 and the Linux console send
// (CSI n ~, CSI and SS3 cursor and function keys, CSI Z, CSI [ A..E, each
// with xterm's modifier parameter), whatever the terminal's terminfo entry
// lists. A sequence is never typed as text: one that means nothing here is
// dropped whole.
#pragma once

#include <string_view>

#include "frontends/terminal/screen.h"

namespace orva::terminal {

enum class EscapeRead { NeedMore, Done };

// Decodes `after`, the characters read so far after an ESC. NeedMore while a
// sequence has begun and is not complete (never when `timed_out`, that is
// when no more came in time). Done otherwise, with `*key`: Esc alone, Alt and
// a character, a decoded key (with its modifiers), or a key of type None for
// a sequence that means nothing here.
EscapeRead decode_escape(std::u32string_view after, bool timed_out, Key* key);

}  // namespace orva::terminal
