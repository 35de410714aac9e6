// The platform's wide-string helpers: conversions between the application's
// UTF-16 text and the UTF-8 of Linux, used at the edges (file names,
// frontends, terminal output), case folding and wsprintfW's formatting.
#pragma once

#include <string>
#include <string_view>

#include "common/utf.h"
#include "platform/wince.h"

namespace orva::platform {

// UTF-16 to UTF-8 (an unpaired surrogate becomes U+FFFD) and back (each
// invalid sequence becomes one U+FFFD).
using utf::to_utf16;
using utf::to_utf8;

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
