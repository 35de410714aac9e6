// Text helpers of the simulated controller: UTF-8 / UTF-16LE conversion,
// ASCII case folding for registry names, and 8-bit (Latin-1) byte strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf.h"

namespace orva::sim {

// Lower-cases ASCII letters only; other bytes are kept.
std::string ascii_fold(std::string_view s);

// Whether two names are equal ignoring ASCII case.
bool ascii_iequal(std::string_view a, std::string_view b);

// UTF-8 to UTF-16 code units. Invalid sequences become U+FFFD.
inline std::u16string utf8_to_utf16(std::string_view s) { return utf::to_utf16(s); }

// UTF-16 code units to UTF-8. Unpaired surrogates become U+FFFD.
inline std::string utf16_to_utf8(std::u16string_view s) { return utf::to_utf8(s); }

// The value of a hexadecimal digit (either case), or -1.
int hex_digit(char c);

// The length of the longest start of `s` of at most `max` code units that
// does not end between the two halves of a surrogate pair.
size_t utf16_cut(std::u16string_view s, size_t max);

// Text as REG_SZ data: UTF-16LE code units followed by one NUL character.
std::vector<uint8_t> reg_sz_bytes(std::string_view utf8);

// The UTF-16 text of REG_SZ-style data up to its first NUL (or its end);
// an odd trailing byte is ignored.
std::u16string reg_sz_text(const std::vector<uint8_t>& data);

// Each code point of a UTF-8 string as one byte; nullopt when one is above
// U+00FF or the string is not valid UTF-8.
std::optional<std::string> latin1_bytes(std::string_view utf8);

}  // namespace orva::sim
