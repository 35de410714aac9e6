// Writing .reg text, and reading it into a list of changes.
#include "simulator/reg_file.h"

#include <cstdio>

#include "simulator/text.h"

namespace orva::sim {

namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

// A quoted name or string; a line end in a name is written as an escape.
std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n' || c == '\r') {
            out += c == '\n' ? "\\n" : "\\r";
            continue;
        }
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

std::optional<std::vector<RegChange>> parse_reg_text(std::string_view bytes, const std::string& name,
                                                     std::string* error, const RegParseOptions& options,
                                                     std::vector<std::string>* warnings) {
    std::vector<RegChange> changes;
    auto keep = [&](const RegChange& c) {
        changes.push_back(c);
        return true;
    };
    if (!parse_reg_file(bytes, name, options, keep, warnings, error)) return std::nullopt;
    return changes;
}

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
