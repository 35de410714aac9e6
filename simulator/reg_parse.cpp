// Reading .reg files by regedit's grammar, in one pass over the text: each
// line is looked at once, hex data continued over many lines included.
// Where Windows skips a line (and so stores less than the file says, or
// something else), the file is refused with the line, or with
// skip_bad_lines the line is skipped with a warning as regedit does.
#include <cstdio>

#include "common/utf.h"
#include "simulator/reg_file.h"
#include "simulator/text.h"

namespace orva::sim {

namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";
// The other roots Windows knows in .reg files: their sections are skipped.
constexpr std::string_view kOtherRoots[] = {"HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS",
                                            "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

constexpr const char* kSplitByte =
    "hex data goes on to the next line only after a comma (a byte cannot be split across lines)";

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view ltrim(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && blank(s[i])) ++i;
    return s.substr(i);
}

std::string_view rtrim(std::string_view s) {
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// Whether `s` ends here, or goes on with a comment only.
bool ends_or_comment(std::string_view s) {
    s = ltrim(s);
    return s.empty() || s.front() == ';';
}

bool has_prefix_icase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && ascii_iequal(s.substr(0, prefix.size()), prefix);
}

class Parser {
public:
    Parser(const RegText& text, const std::string& name, const RegParseOptions& options, const RegChangeSink& sink,
           std::vector<std::string>* warnings, std::string* error)
        : m_text(text.text()),
          m_flaws(text.flaws),
          m_encoding(text.encoding),
          m_declared(text.declared),
          m_name(name),
          m_options(options),
          m_sink(sink),
          m_warnings(warnings),
          m_error(error) {}

    bool run() {
        if (!header()) return false;
        while (next_line())
            if (!statement()) return false;
        return true;
    }

private:
    enum class Section { None, Key, Deleted, Skipped, Dropped };

    // The next line without its line end (CR LF, LF or CR); false at the end.
    bool next_line() {
        if (m_pos > m_text.size()) return false;
        size_t end = m_text.find_first_of("\r\n", m_pos);
        if (end == std::string_view::npos) end = m_text.size();
        m_line = m_text.substr(m_pos, end - m_pos);
        m_flaw = nullptr;
        while (m_next_flaw < m_flaws.size() && m_flaws[m_next_flaw].offset < end) {
            if (!m_flaw) m_flaw = &m_flaws[m_next_flaw].what;
            ++m_next_flaw;
        }
        m_pos =
            end +
            (end < m_text.size() && m_text[end] == '\r' && end + 1 < m_text.size() && m_text[end + 1] == '\n' ? 2 : 1);
        ++m_lineno;
        return true;
    }

    std::string where(size_t line) const { return m_name + ":" + std::to_string(line) + ": "; }

    // A refusal of the whole file.
    bool refuse(size_t line, const std::string& what) {
        if (m_error) *m_error = where(line) + what;
        return false;
    }

    // A line Windows would skip: refused, or skipped with a warning. The
    // result says whether to go on.
    bool bad(size_t line, const std::string& what) {
        if (!m_options.skip_bad_lines) return refuse(line, what);
        if (m_warnings) m_warnings->push_back(where(line) + what + "; skipped");
        return true;
    }

    bool header() {
        const std::string expected =
            "expected \"" + std::string(kRegFileHeader) + "\" or \"" + std::string(kRegFileHeader4) + "\"";
        if (!next_line()) return refuse(1, expected);
        const std::string_view h = ltrim(m_line);
        if (h == kRegFileHeader) {
            m_version = 5;
        } else if (h == kRegFileHeader4) {
            m_version = 4;
        } else if (h.substr(0, 7) == "REGEDIT") {
            const std::string shown = h.size() > 40 ? std::string(h.substr(0, 40)) + "..." : std::string(h);
            return refuse(1, "\"" + shown + "\" is a header Windows imports nothing from; " + expected);
        } else if (h.find('\0') != std::string_view::npos) {
            return refuse(1, expected +
                                 " (the text holds NUL characters: UTF-16 without a byte order mark? "
                                 "--encoding utf-16le reads it)");
        } else {
            return refuse(1, expected);
        }
        return true;
    }

    bool statement() {
        const std::string_view p = ltrim(m_line);
        if (m_flaw) {
            if (!p.empty() && p.front() == '[') m_section = Section::Dropped;
            return bad(m_lineno, "holds " + *m_flaw + ", which is not text");
        }
        if (p.empty() || p.front() == ';' || p.front() == '#') return true;
        if (p.front() == '[') return key_line(p.substr(1));
        if (p.front() == '@' || p.front() == '"') return value_line(p);
        return bad(m_lineno, "not a key [...], a value \"NAME\"=DATA or a comment");
    }

    bool emit() {
        if (m_section != Section::Key) return true;
        return m_sink(m_change);
    }

    bool key_line(std::string_view rest) {
        // A key line that is skipped takes the values after it along.
        m_section = Section::Dropped;
        if (rest.empty() || blank(rest.front())) return bad(m_lineno, "a key name cannot begin with a space");
        const size_t close = rest.rfind(']');
        if (close == std::string_view::npos) return bad(m_lineno, "key line does not end with ']'");
        if (!ends_or_comment(rest.substr(close + 1))) return bad(m_lineno, "unexpected text after ']'");
        const std::string_view written = rest.substr(0, close);
        std::string_view inner = written;
        const bool del = !inner.empty() && inner.front() == '-';
        if (del) {
            inner.remove_prefix(1);
            if (inner.empty() || (inner.front() != 'H' && inner.front() != 'h'))
                return bad(m_lineno, "'-' must be followed by the key's root: [-HKEY_LOCAL_MACHINE\\KEY]");
        }
        const size_t slash = inner.find('\\');
        const std::string_view root = inner.substr(0, slash);
        if (!ascii_iequal(root, kRoot)) {
            for (std::string_view other : kOtherRoots)
                if (ascii_iequal(root, other)) return other_root(written);
            return bad(m_lineno, "unknown root \"" + std::string(root) +
                                     "\" (Windows knows only full names such as HKEY_LOCAL_MACHINE)");
        }
        const std::string_view path = slash == std::string_view::npos ? "" : inner.substr(slash + 1);
        if (path.find('\0') != std::string_view::npos) return bad(m_lineno, "a key name cannot hold a NUL character");
        if (del && path.find_first_not_of('\\') == std::string_view::npos)
            return bad(m_lineno, "the root HKEY_LOCAL_MACHINE cannot be deleted");
        m_change.kind = del ? RegChange::Kind::DeleteKey : RegChange::Kind::CreateKey;
        m_change.key.assign(path);
        m_section = Section::Key;
        if (!emit()) return false;
        if (del) m_section = Section::Deleted;
        return true;
    }

    // `written` is the key line between its brackets.
    bool other_root(std::string_view written) {
        const std::string section = "[" + std::string(written) + "]";
        if (m_options.strict) return refuse(m_lineno, section + " is not under " + std::string(kRoot));
        if (m_warnings)
            m_warnings->push_back(where(m_lineno) + section + " is not under " + std::string(kRoot) +
                                  "; the section is skipped");
        m_section = Section::Skipped;
        return true;
    }

    // A quoted name or string at s[0] == '"', with the escapes \\ \" \n \r.
    // On success `used` is the length up to the closing quote.
    std::optional<std::string> quoted(std::string_view s, size_t& used, std::string& why) {
        std::string out;
        for (size_t i = 1; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '"') {
                used = i + 1;
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++i >= s.size()) break;
            switch (s[i]) {
                case '\\':
                case '"':
                    out += s[i];
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case '0':
                    why = "\\0 is refused by Windows too (a NUL character is written as hex(1):...)";
                    return std::nullopt;
                default: {
                    size_t j = i;
                    std::string ch(s.substr(i, 1));
                    if (static_cast<unsigned char>(s[i]) >= 0x80 && utf::decode(s, j) >= 0) ch = s.substr(i, j - i);
                    why = "unknown escape \\" + ch + ": a backslash is written \\\\ (Windows would drop it, \"C:\\" +
                          "Windows\" becoming C:Windows)";
                    return std::nullopt;
                }
            }
        }
        why = "unterminated string (a value is written on one line)";
        return std::nullopt;
    }

    bool value_line(std::string_view p) {
        const size_t line = m_lineno;
        if (m_section == Section::None) return bad(line, "value outside of a key");
        if (m_section == Section::Deleted) return bad(line, "value under a key that is being deleted");
        RegValue& value = m_change.value;
        value.name.clear();
        value.data.clear();
        size_t used = 1;
        std::string why;
        if (p.front() == '"') {
            auto name = quoted(p, used, why);
            if (!name) return bad(line, "value name: " + why);
            if (name->find('\0') != std::string::npos) return bad(line, "a value name cannot hold a NUL character");
            value.name = std::move(*name);
        }
        std::string_view rest = ltrim(p.substr(used));
        if (rest.empty() || rest.front() != '=') return bad(line, "expected '=' after the value name");
        rest = rtrim(ltrim(rest.substr(1)));
        if (!rest.empty() && rest.front() == '-') {
            if (!ends_or_comment(rest.substr(1))) return bad(line, "unexpected text after '-'");
            m_change.kind = RegChange::Kind::DeleteValue;
            return emit();
        }
        m_change.kind = RegChange::Kind::SetValue;
        if (!rest.empty() && rest.front() == '"') {
            auto s = quoted(rest, used, why);
            if (!s) return bad(line, why);
            if (!ends_or_comment(rest.substr(used)))
                return bad(line, "unexpected text after the string (a comment begins with ';')");
            if (s->find('\0') != std::string::npos)
                return bad(line, "a string cannot hold a NUL character (write it as hex(1):...)");
            value.type = kRegSz;
            value.data = reg_sz_bytes(*s);
            return emit();
        }
        if (has_prefix_icase(rest, "dword:")) {
            const std::string_view digits = ltrim(rest.substr(6));
            size_t n = 0;
            uint32_t v = 0;
            while (n < digits.size() && hex_digit(digits[n]) >= 0)
                v = v * 16 + static_cast<uint32_t>(hex_digit(digits[n++]));
            if (n == 0 || n > 8 || !ends_or_comment(digits.substr(n)))
                return bad(line, "dword: needs 1 to 8 hex digits");
            value.type = kRegDword;
            value.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 24)};
            return emit();
        }
        if (has_prefix_icase(rest, "hex")) return hex_value(rest.substr(3));
        return bad(line, "unknown value data (expected \"text\", dword:, hex: or hex(N):)");
    }

    // hex: or hex(N): data from `rest` (after "hex"), continued on the
    // lines after a backslash that follows a comma.
    bool hex_value(std::string_view rest) {
        RegValue& value = m_change.value;
        const size_t first = m_lineno;
        value.type = kRegBinary;
        if (!rest.empty() && rest.front() == '(') {
            const size_t close = rest.find(')');
            uint64_t t = 0;
            bool ok = close != std::string_view::npos && close > 1;
            for (size_t i = 1; ok && i < close; ++i) {
                const int d = hex_digit(rest[i]);
                t = t * 16 + static_cast<uint64_t>(d);
                ok = d >= 0 && t <= 0xFFFFFFFFu;
            }
            if (!ok) return bad(first, "bad hex(N): type (N is 1 to 8 hex digits)");
            value.type = static_cast<uint32_t>(t);
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') return bad(first, "expected ':' after hex");
        std::string_view seg = rest.substr(1);
        std::vector<uint8_t>& data = value.data;
        bool expect = true;  // at the start or after a comma
        for (;;) {
            size_t i = 0;
            while (i < seg.size() && blank(seg[i])) ++i;
            if (i == seg.size() || seg[i] == ';') break;
            const char c = seg[i];
            if (!expect) {
                if (c == ',') {
                    expect = true;
                    seg.remove_prefix(i + 1);
                    continue;
                }
                if (c == '\\') return bad(m_lineno, kSplitByte);
                return bad(m_lineno, "expected ',' between hex bytes");
            }
            if (c == '\\') {
                if (!ends_or_comment(seg.substr(i + 1)))
                    return bad(m_lineno, "unexpected text after the backslash that continues the hex data");
                if (!continuation(first, seg)) return m_stop ? false : true;
                if (seg.empty()) break;  // the end of the file
                continue;
            }
            size_t n = 0;
            while (i + n < seg.size() && n < 3 && hex_digit(seg[i + n]) >= 0) ++n;
            if (n == 0) return bad(m_lineno, "expected a hex byte (2-digit hex numbers separated by commas)");
            if (n == 1 && ltrim(seg.substr(i + 1)).substr(0, 1) == "\\") return bad(m_lineno, kSplitByte);
            if (n != 2) return bad(m_lineno, "a hex byte is two hex digits");
            data.push_back(static_cast<uint8_t>(hex_digit(seg[i]) * 16 + hex_digit(seg[i + 1])));
            expect = false;
            seg.remove_prefix(i + n);
        }
        if (!text_data(first)) return !m_stop;
        return emit();
    }

    // The line that hex data goes on to, in `seg`: blank lines and comment
    // lines are passed over; at the end of the file `seg` is empty and the
    // value ends. false when the data breaks off (with m_stop when the file
    // is refused).
    bool continuation(size_t first, std::string_view& seg) {
        while (next_line()) {
            const std::string_view q = ltrim(m_line);
            if (m_flaw) return broken(first, "holds " + *m_flaw + ", which is not text");
            if (q.empty() || q.front() == ';') continue;
            if (hex_digit(q.front()) < 0) {
                // Windows takes the line as part of the value, and drops both.
                if (q.front() == '[') m_section = Section::Dropped;
                return broken(first, "hex data continued from line " + std::to_string(first) +
                                         " meets a line that is not hex data (Windows drops the value and this " +
                                         (q.front() == '[' ? "key line, with the values after it)" : "line)"));
            }
            seg = q;
            return true;
        }
        seg = {};
        return true;
    }

    bool broken(size_t, const std::string& what) {
        m_stop = !bad(m_lineno, what);
        return false;
    }

    // hex(1), hex(2) and hex(7) data end in a NUL character, as Windows
    // makes them. In a REGEDIT4 file (not UTF-16) the bytes are 8-bit text,
    // widened to UTF-16: Windows-1252, as regedit wrote them, unless the
    // file says it is UTF-8 (a byte order mark, or --encoding).
    bool text_data(size_t first) {
        RegValue& value = m_change.value;
        std::vector<uint8_t>& data = value.data;
        if ((value.type != kRegSz && value.type != kRegExpandSz && value.type != kRegMultiSz) || data.empty())
            return true;
        if (m_version == 5 || m_encoding == RegEncoding::Utf16le) {
            if (data.size() % 2 == 0 && (data[data.size() - 2] | data.back()) != 0) data.insert(data.end(), {0, 0});
            return true;
        }
        if (data.back() != 0) data.push_back(0);
        std::u16string wide;
        if (m_encoding == RegEncoding::Utf8 && m_declared) {
            const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
            size_t i = 0;
            while (i < bytes.size()) {
                long c = utf::decode(bytes, i);
                if (c < 0) {
                    m_stop = !bad(first, "the hex data of a REGEDIT4 file is its 8-bit text, and this is not UTF-8");
                    return false;
                }
                if (c >= 0x10000) {
                    c -= 0x10000;
                    wide += static_cast<char16_t>(0xD800 + (c >> 10));
                    wide += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
                } else {
                    wide += static_cast<char16_t>(c);
                }
            }
        } else {
            for (uint8_t b : data) wide += static_cast<char16_t>(windows1252_char(b));
        }
        data.clear();
        for (char16_t u : wide) data.insert(data.end(), {static_cast<uint8_t>(u & 0xFF), static_cast<uint8_t>(u >> 8)});
        return true;
    }

    const std::string_view m_text;
    const std::vector<RegText::Flaw>& m_flaws;
    const RegEncoding m_encoding;
    const bool m_declared;
    const std::string& m_name;
    const RegParseOptions& m_options;
    const RegChangeSink& m_sink;
    std::vector<std::string>* m_warnings;
    std::string* m_error;

    size_t m_pos = 0;
    size_t m_lineno = 0;
    std::string_view m_line;
    const std::string* m_flaw = nullptr;  // what in the line is not text
    size_t m_next_flaw = 0;
    int m_version = 5;
    Section m_section = Section::None;
    RegChange m_change;
    bool m_stop = false;  // a value broke off and the file is refused
};

}  // namespace

bool parse_reg_file(std::string_view bytes, const std::string& name, const RegParseOptions& options,
                    const RegChangeSink& sink, std::vector<std::string>* warnings, std::string* error) {
    const RegText text = decode_reg_bytes(bytes, options.encoding);
    return Parser(text, name, options, sink, warnings, error).run();
}

}  // namespace orva::sim
