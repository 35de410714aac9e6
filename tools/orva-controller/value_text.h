// Registry values as orva-controller shows and takes them on the command line:
// "REG_DWORD 4 640", "REG_SZ 200 \"\\\\Temp\"", "REG_BINARY 3 hex:01,02,03".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulator/controller.h"

namespace orva::tool {

// "REG_SZ", "REG_DWORD", ...; "REG_TYPE_<n>" for a type without a name.
std::string type_name(uint32_t type);
// The type for a name such as "REG_SZ" (case-insensitive); nullopt if unknown.
std::optional<uint32_t> parse_type_name(const std::string& name);
// The type N of "hex(N)" (N in hexadecimal, as .reg files write it), whose
// data is given as hex:.. whatever the type; nullopt for another name.
std::optional<uint32_t> parse_hex_type(const std::string& name);

// One line "TYPE SIZE DATA": strings quoted up to their first NUL with \\ \"
// \r \n and \xHH escapes (other text as UTF-8), a 4-byte REG_DWORD in
// decimal, REG_MULTI_SZ as its quoted strings, everything else hex:..
std::string format_value(const sim::RegValue& value);

// The data bytes for `text` of a type: REG_SZ/REG_EXPAND_SZ text (UTF-16LE
// with its NUL), REG_DWORD decimal or 0x hex, anything else (and any type
// when `exact`) hex:.. . With `size` the data is padded with zero bytes to
// that many bytes (an error when it is shorter than the data). nullopt and a
// message on bad input.
std::optional<std::vector<uint8_t>> parse_value_data(uint32_t type, const std::string& text,
                                                     std::optional<uint64_t> size, std::string* error,
                                                     bool exact = false);

}  // namespace orva::tool
