// The encodings of .reg files: telling them apart as regedit does (a
// UTF-16LE byte order mark, a UTF-8 one, else UTF-8 when the bytes are
// valid UTF-8, else Windows-1252), reading them as UTF-8 text, and writing
// the UTF-16LE form that regedit writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::sim {

enum class RegEncoding { Utf8, Utf16le, Windows1252 };

// "UTF-8", "UTF-16LE" or "Windows-1252".
const char* encoding_name(RegEncoding encoding);

// The encoding a user names: utf-8 (utf8), utf-16le (utf-16, utf16le,
// utf16) or windows-1252 (cp1252), in any case; nullopt for another name.
std::optional<RegEncoding> parse_encoding_name(std::string_view name);

// A .reg file read as UTF-8 text.
struct RegText {
    RegEncoding encoding = RegEncoding::Utf8;
    // Whether the encoding was given (a byte order mark, or by the caller)
    // rather than told from the bytes.
    bool declared = false;
    // Something in the file that is not text (a lone UTF-16 surrogate, a
    // byte that is not UTF-8 when UTF-8 was asked for): it stands in the
    // text as U+FFFD at `offset`.
    struct Flaw {
        size_t offset;
        std::string what;
    };
    std::vector<Flaw> flaws;

    std::string_view text() const { return m_owned ? std::string_view(m_text) : m_view; }

    // The text is `view` itself (valid UTF-8 that outlives this object).
    void set_view(std::string_view view) {
        m_view = view;
        m_owned = false;
    }
    // The text is held here.
    std::string& own() {
        m_owned = true;
        return m_text;
    }

private:
    std::string_view m_view;
    std::string m_text;
    bool m_owned = false;
};

// Reads the bytes of a .reg file (the byte order mark left out). With
// `forced`, the bytes are taken in that encoding (its own byte order mark
// skipped). The result may point into `bytes`.
RegText decode_reg_bytes(std::string_view bytes, std::optional<RegEncoding> forced);

// The code point of a Windows-1252 byte. The five bytes that code page
// leaves unassigned stand for the C1 control of the same number, as
// Windows converts them.
char32_t windows1252_char(unsigned char byte);

// UTF-8 text with LF line ends as regedit writes it: UTF-16LE with a byte
// order mark and CR LF line ends.
std::string utf16le_file_text(std::string_view utf8);

}  // namespace orva::sim
