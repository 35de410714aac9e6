// Reading and writing "Windows Registry Editor Version 5.00" text.
#include "simulator/reg_file.h"

#include <cstdio>

#include "simulator/text.h"

namespace orva::sim {

namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Reads a quoted string at s[0] == '"' with \\ and \" escapes; sets `used`.
std::optional<std::string> read_quoted(std::string_view s, size_t& used) {
    std::string out;
    for (size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            used = i + 1;
            return out;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return std::nullopt;
            out += s[++i];
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

// Converts a UTF-16LE file with BOM to UTF-8.
std::string from_utf16le(std::string_view bytes) {
    std::u16string w;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        w += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return utf16_to_utf8(w);
}

// The key path below HKEY_LOCAL_MACHINE, or nullopt for another root.
std::optional<std::string> key_below_root(std::string_view full) {
    size_t slash = full.find('\\');
    std::string_view root = full.substr(0, slash);
    if (!ascii_iequal(root, kRoot) && !ascii_iequal(root, "HKLM")) return std::nullopt;
    if (slash == std::string_view::npos) return std::string();
    return std::string(full.substr(slash + 1));
}

bool parse_hex_bytes(std::string_view s, std::vector<uint8_t>& out) {
    s = trim(s);
    if (s.empty()) return true;
    size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i + 1 >= s.size()) return false;
        int hi = hex_digit(s[i]), lo = hex_digit(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 2;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i == s.size()) return true;
        if (s[i] != ',') return false;
        ++i;
        if (trim(s.substr(i)).empty()) return true;  // a trailing comma
    }
}

}  // namespace

std::optional<std::vector<RegChange>> parse_reg_text(std::string_view input, const std::string& name,
                                                     std::string* error) {
    std::string converted;
    if (input.size() >= 2 && static_cast<unsigned char>(input[0]) == 0xFF &&
        static_cast<unsigned char>(input[1]) == 0xFE) {
        converted = from_utf16le(input);
        input = converted;
    } else if (input.size() >= 3 && input.substr(0, 3) == "\xEF\xBB\xBF") {
        input.remove_prefix(3);
    }
    std::vector<std::string_view> lines;
    for (size_t pos = 0; pos <= input.size();) {
        size_t nl = input.find('\n', pos);
        if (nl == std::string_view::npos) nl = input.size();
        lines.push_back(input.substr(pos, nl - pos));
        pos = nl + 1;
    }
    auto fail = [&](size_t line, const std::string& what) {
        if (error) *error = name + ":" + std::to_string(line) + ": " + what;
        return std::nullopt;
    };

    std::vector<RegChange> changes;
    bool header = false;
    bool have_key = false, key_deleted = false;
    std::string key;
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t lineno = i + 1;
        std::string_view line = trim(lines[i]);
        if (!header) {
            if (line.empty()) continue;
            if (line != kRegFileHeader) return fail(lineno, "expected \"" + std::string(kRegFileHeader) + "\"");
            header = true;
            continue;
        }
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return fail(lineno, "key line does not end with ']'");
            std::string_view inner = line.substr(1, line.size() - 2);
            bool del = !inner.empty() && inner.front() == '-';
            if (del) inner.remove_prefix(1);
            auto k = key_below_root(inner);
            if (!k) return fail(lineno, "only HKEY_LOCAL_MACHINE keys can be imported");
            if (k->find('\0') != std::string::npos) return fail(lineno, "a key name cannot hold a NUL character");
            key = *k;
            have_key = true;
            key_deleted = del;
            changes.push_back({del ? RegChange::Kind::DeleteKey : RegChange::Kind::CreateKey, key, {}});
            continue;
        }
        if (!have_key) return fail(lineno, "value outside of a key");
        if (key_deleted) return fail(lineno, "value under a key that is being deleted");
        RegValue value;
        size_t used = 0;
        if (line.front() == '@') {
            used = 1;
        } else if (line.front() == '"') {
            auto n = read_quoted(line, used);
            if (!n) return fail(lineno, "unterminated or badly escaped value name");
            if (n->find('\0') != std::string::npos) return fail(lineno, "a value name cannot hold a NUL character");
            value.name = *n;
        } else {
            return fail(lineno, "expected a key in [...] or a value \"NAME\"=DATA");
        }
        std::string_view rest = trim(line.substr(used));
        if (rest.empty() || rest.front() != '=') return fail(lineno, "expected '=' after the value name");
        rest = trim(rest.substr(1));
        if (rest == "-") {
            changes.push_back({RegChange::Kind::DeleteValue, key, value});
            continue;
        }
        if (!rest.empty() && rest.front() == '"') {
            size_t n = 0;
            auto s = read_quoted(rest, n);
            if (!s) return fail(lineno, "unterminated or badly escaped string");
            if (!trim(rest.substr(n)).empty()) return fail(lineno, "unexpected text after the string");
            value.type = kRegSz;
            value.data = reg_sz_bytes(*s);
        } else if (rest.size() >= 6 && ascii_iequal(rest.substr(0, 6), "dword:")) {
            std::string_view digits = rest.substr(6);
            if (digits.empty() || digits.size() > 8) return fail(lineno, "dword: needs 1 to 8 hex digits");
            uint32_t v = 0;
            for (char c : digits) {
                int d = hex_digit(c);
                if (d < 0) return fail(lineno, "dword: needs 1 to 8 hex digits");
                v = v * 16 + static_cast<uint32_t>(d);
            }
            value.type = kRegDword;
            value.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 24)};
        } else if (rest.size() >= 3 && ascii_iequal(rest.substr(0, 3), "hex")) {
            std::string_view after = rest.substr(3);
            value.type = kRegBinary;
            if (!after.empty() && after.front() == '(') {
                size_t close = after.find(')');
                if (close == std::string_view::npos || close == 1 || close > 9)
                    return fail(lineno, "bad hex(TYPE): prefix");
                uint32_t t = 0;
                for (char c : after.substr(1, close - 1)) {
                    int d = hex_digit(c);
                    if (d < 0) return fail(lineno, "bad hex(TYPE): prefix");
                    t = t * 16 + static_cast<uint32_t>(d);
                }
                value.type = t;
                after.remove_prefix(close + 1);
            }
            if (after.empty() || after.front() != ':') return fail(lineno, "expected ':' after hex");
            std::string bytes(after.substr(1));
            const size_t first = lineno;
            while (!bytes.empty() && trim(bytes).back() == '\\') {
                std::string_view t = trim(bytes);
                bytes = std::string(t.substr(0, t.size() - 1));
                if (++i >= lines.size() || trim(lines[i]).empty())
                    return fail(first, "hex data continues past the end of the value");
                bytes += std::string(trim(lines[i]));
            }
            if (!parse_hex_bytes(bytes, value.data))
                return fail(first, "bad hex bytes (expected 2-digit hex numbers separated by commas)");
        } else {
            return fail(lineno, "unknown value data (expected \"text\", dword:, hex: or hex(N):)");
        }
        changes.push_back({RegChange::Kind::SetValue, key, std::move(value)});
    }
    if (!header) return fail(1, "expected \"" + std::string(kRegFileHeader) + "\"");
    return changes;
}

namespace {

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

void append_hex(std::string& out, size_t prefix_len, const std::vector<uint8_t>& data) {
    size_t col = prefix_len;
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        out += buf;
        col += 2;
        if (i + 1 < data.size()) {
            out += ',';
            ++col;
            if (col > 76) {
                out += "\\\n  ";
                col = 2;
            }
        }
    }
}

}  // namespace

std::string format_reg_text(const std::vector<RegKeyDump>& keys) {
    std::string out(kRegFileHeader);
    out += "\n\n";
    for (const RegKeyDump& k : keys) {
        out += "[" + std::string(kRoot);
        if (!k.key.empty()) out += "\\" + k.key;
        out += "]\n";
        for (const RegValue& v : k.values) {
            std::string line = v.name.empty() ? "@=" : quote(v.name) + "=";
            if (v.type == kRegSz) {
                std::string text = utf16_to_utf8(reg_sz_text(v.data));
                if (text.find_first_of("\r\n") == std::string::npos && reg_sz_bytes(text) == v.data) {
                    out += line + quote(text) + "\n";
                    continue;
                }
            }
            if (v.type == kRegDword && v.data.size() == 4) {
                char buf[16];
                uint32_t x =
                    v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
                std::snprintf(buf, sizeof buf, "dword:%08x", x);
                out += line + buf + "\n";
                continue;
            }
            if (v.type == kRegBinary) {
                line += "hex:";
            } else {
                char buf[24];
                std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
                line += buf;
            }
            out += line;
            append_hex(out, line.size(), v.data);
            out += "\n";
        }
        out += "\n";
    }
    return out;
}

}  // namespace orva::sim
