// UTF-8 and UTF-16 conversion, the one implementation the platform (file
// names, frontends, terminal output) and the controller (registry text, the
// tool's output) share. Standard library only: every layer but the
// application may include it.
#pragma once

#include <string>
#include <string_view>

namespace orva::utf {

// Decodes the code point at s[i] and moves i past it. -1 for an invalid
// sequence (a stray or truncated byte, an overlong form, a surrogate, a code
// point above U+10FFFF); i is then past the longest prefix that could have
// begun a valid sequence, so that each broken sequence is replaced once.
long decode(std::string_view s, size_t& i);

// Appends code point `cp` (at most U+10FFFF) to `out` as UTF-8.
void append_utf8(std::string& out, unsigned long cp);

// UTF-8 to UTF-16 code units; each invalid sequence becomes one U+FFFD.
std::u16string to_utf16(std::string_view s);

// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string to_utf8(std::u16string_view s);

}  // namespace orva::utf
