// The entries of a program's --help, laid out the same way by both programs.
#pragma once

#include <string>
#include <string_view>

namespace orva {

// Where an entry's text starts.
inline constexpr size_t kHelpTextColumn = 26;

// "  HEADING               text\n", the text's further lines (separated by
// \n) under its first; a heading too long for the text's column stands on a
// line of its own. An entry without text is its heading alone.
std::string help_entry(std::string_view heading, std::string_view text);

}  // namespace orva
