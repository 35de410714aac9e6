// The "Windows Registry Editor Version 5.00" text format: reading it into a
// list of changes, and writing keys and values in it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/controller.h"

namespace orva::sim {

// One change that a .reg file asks for, in file order.
struct RegChange {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind = Kind::CreateKey;
    std::string key;  // relative to HKEY_LOCAL_MACHINE, backslash separated
    RegValue value;   // SetValue: the value; DeleteValue: its name
};

// One key with its values, as exported.
struct RegKeyDump {
    std::string key;
    std::vector<RegValue> values;
};

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

// Parses .reg text (UTF-8, optionally with a BOM; UTF-16LE with a BOM is
// accepted too). Only HKEY_LOCAL_MACHINE keys are allowed. nullopt and a
// message "NAME:LINE: what" on the first problem; nothing is partly returned.
std::optional<std::vector<RegChange>> parse_reg_text(std::string_view text, const std::string& name,
                                                     std::string* error);

// Writes keys in .reg text. REG_SZ that round-trips as text is written as
// "text", a 4-byte REG_DWORD as dword:, everything else as hex: or hex(N):,
// so that importing the text gives back exactly the same types and bytes.
std::string format_reg_text(const std::vector<RegKeyDump>& keys);

}  // namespace orva::sim
