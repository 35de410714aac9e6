// The .reg text format of regedit ("Windows Registry Editor Version 5.00"
// and "REGEDIT4"): reading a file into a list of changes, and writing keys
// and values in it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/controller.h"
#include "simulator/reg_encoding.h"

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
inline constexpr std::string_view kRegFileHeader4 = "REGEDIT4";

struct RegParseOptions {
    // The file's encoding, instead of telling it from the bytes.
    std::optional<RegEncoding> encoding;
    // A line that Windows would skip is skipped with a warning, instead of
    // refusing the whole file.
    bool skip_bad_lines = false;
    // A section under another root than HKEY_LOCAL_MACHINE refuses the
    // whole file, instead of being skipped with a warning.
    bool strict = false;
};

// Receives each change as it is read; false stops the reading.
using RegChangeSink = std::function<bool(const RegChange&)>;

// Reads the bytes of a .reg file and passes each change to `sink`, in file
// order and before the next line is read. Only HKEY_LOCAL_MACHINE keys are
// changed. false with "NAME:LINE: what" in *error on the first line that
// refuses the file (whatever the sink got before it is to be undone); false
// with *error untouched when the sink said stop. Each warning ("NAME:LINE:
// what happened") is appended to *warnings.
bool parse_reg_file(std::string_view bytes, const std::string& name, const RegParseOptions& options,
                    const RegChangeSink& sink, std::vector<std::string>* warnings, std::string* error);

// The same, gathering the changes; nullopt and the message on a refusal.
std::optional<std::vector<RegChange>> parse_reg_text(std::string_view bytes, const std::string& name,
                                                     std::string* error, const RegParseOptions& options = {},
                                                     std::vector<std::string>* warnings = nullptr);

// Writes keys in .reg text: UTF-8 with LF line ends (utf16le_file_text
// gives regedit's own form). REG_SZ that round-trips as text is written as
// "text", a 4-byte REG_DWORD as dword:, everything else as hex: or hex(N):,
// so that importing the text gives back exactly the same types and bytes
// (hex(1), hex(2) and hex(7) data that does not end in a NUL character
// gains one, as in Windows).
std::string format_reg_text(const std::vector<RegKeyDump>& keys);

}  // namespace orva::sim
