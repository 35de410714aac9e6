// Conversions between the application's UTF-16 text and the UTF-8 of Linux,
// used at the edges (file names, frontends, terminal output).
#pragma once

#include <string>
#include <string_view>

#include "platform/wince.h"

namespace orva::platform {

std::string to_utf8(std::u16string_view text);
std::u16string to_utf16(std::string_view text);
// The length of a NUL-terminated wide string; 0 for nullptr.
size_t wide_length(LPCWSTR text);
// A NUL-terminated wide string as a view; empty for nullptr.
std::u16string_view wide_view(LPCWSTR text);
// ASCII case folding for names that compare case-insensitively.
std::u16string fold_case(std::u16string_view text);
bool equal_no_case(std::u16string_view a, std::u16string_view b);

// wsprintfW's formatting into a string, with no limit on the length.
std::u16string format_wide(LPCWSTR format, va_list args);

}  // namespace orva::platform
