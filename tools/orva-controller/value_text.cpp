// Formatting and parsing of registry value data for orva-controller.
#include "tools/orva-controller/value_text.h"

#include <cstdio>

#include "simulator/text.h"

namespace orva::tool {

namespace {

struct TypeName {
    uint32_t type;
    const char* name;
};
constexpr TypeName kTypes[] = {{sim::kRegNone, "REG_NONE"},          {sim::kRegSz, "REG_SZ"},
                               {sim::kRegExpandSz, "REG_EXPAND_SZ"}, {sim::kRegBinary, "REG_BINARY"},
                               {sim::kRegDword, "REG_DWORD"},        {sim::kRegMultiSz, "REG_MULTI_SZ"}};

// Double quotes, the escapes \\ \" \r \n, control characters (C0, DEL and
// C1) as \xHH, everything else as UTF-8 (surrogate pairs kept together).
std::string quote(const std::u16string& text) {
    std::string out = "\"";
    std::u16string plain;
    auto flush = [&] {
        out += sim::utf16_to_utf8(plain);
        plain.clear();
    };
    char buf[8];
    for (char16_t c : text) {
        const char* escape = c == u'\\'   ? "\\\\"
                             : c == u'"'  ? "\\\""
                             : c == u'\r' ? "\\r"
                             : c == u'\n' ? "\\n"
                                          : nullptr;
        if (escape) {
            flush();
            out += escape;
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            flush();
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(c));
            out += buf;
        } else {
            plain += c;
        }
    }
    flush();
    return out + "\"";
}

std::string hex_text(const std::vector<uint8_t>& data) {
    std::string out = "hex:";
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        if (i) out += ',';
        out += buf;
    }
    return out;
}

using sim::hex_digit;

}  // namespace

std::string type_name(uint32_t type) {
    for (const TypeName& t : kTypes)
        if (t.type == type) return t.name;
    return "REG_TYPE_" + std::to_string(type);
}

std::optional<uint32_t> parse_type_name(const std::string& name) {
    for (const TypeName& t : kTypes)
        if (sim::ascii_iequal(name, t.name)) return t.type;
    return std::nullopt;
}

std::optional<uint32_t> parse_hex_type(const std::string& name) {
    if (name.size() < 6 || !sim::ascii_iequal(name.substr(0, 4), "hex(") || name.back() != ')' || name.size() > 13)
        return std::nullopt;
    uint32_t type = 0;
    for (size_t i = 4; i + 1 < name.size(); ++i) {
        const int d = sim::hex_digit(name[i]);
        if (d < 0) return std::nullopt;
        type = type * 16 + static_cast<uint32_t>(d);
    }
    return type;
}

std::string format_value(const sim::RegValue& v) {
    std::string out = type_name(v.type) + " " + std::to_string(v.data.size()) + " ";
    if (v.type == sim::kRegSz || v.type == sim::kRegExpandSz) return out + quote(sim::reg_sz_text(v.data));
    if (v.type == sim::kRegDword && v.data.size() == 4) {
        uint32_t x = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
        return out + std::to_string(x);
    }
    if (v.type == sim::kRegMultiSz) {
        // Strings one after another, each with its NUL, up to an empty one.
        std::u16string all;
        for (size_t i = 0; i + 1 < v.data.size(); i += 2)
            all += static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
        std::string list;
        size_t pos = 0;
        while (pos < all.size()) {
            size_t nul = all.find(u'\0', pos);
            if (nul == pos) break;
            if (nul == std::u16string::npos) nul = all.size();
            if (!list.empty()) list += ' ';
            list += quote(all.substr(pos, nul - pos));
            pos = nul + 1;
        }
        return out + list;
    }
    return out + hex_text(v.data);
}

std::optional<std::vector<uint8_t>> parse_value_data(uint32_t type, const std::string& text,
                                                     std::optional<uint64_t> size, std::string* error, bool exact) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        return std::nullopt;
    };
    std::vector<uint8_t> data;
    if (!exact && (type == sim::kRegSz || type == sim::kRegExpandSz)) {
        data = sim::reg_sz_bytes(text);
    } else if (!exact && type == sim::kRegDword) {
        if (text.empty()) return fail("REG_DWORD data is empty");
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        uint64_t v = 0;
        for (size_t i = hex ? 2 : 0; i < text.size(); ++i) {
            int d = hex ? hex_digit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
            if (d < 0) return fail("REG_DWORD data \"" + text + "\" is not a decimal or 0x hex number");
            v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
            if (v > 0xFFFFFFFFu) return fail("REG_DWORD data \"" + text + "\" does not fit in 32 bits");
        }
        data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                static_cast<uint8_t>(v >> 24)};
    } else {
        if (text.rfind("hex:", 0) != 0) return fail("data for " + type_name(type) + " must be hex:01,02,...");
        std::string rest = text.substr(4);
        size_t i = 0;
        while (i < rest.size()) {
            if (i + 1 >= rest.size() || hex_digit(rest[i]) < 0 || hex_digit(rest[i + 1]) < 0 ||
                (i + 2 < rest.size() && rest[i + 2] != ','))
                return fail("bad hex data \"" + text + "\" (expected two hex digits per byte, separated by commas)");
            data.push_back(static_cast<uint8_t>(hex_digit(rest[i]) * 16 + hex_digit(rest[i + 1])));
            i += 3;
        }
        if (!rest.empty() && rest.back() == ',') return fail("bad hex data \"" + text + "\" (trailing comma)");
    }
    if (size) {
        if (*size < data.size())
            return fail("--size " + std::to_string(*size) + " is smaller than the data (" +
                        std::to_string(data.size()) + " bytes)");
        if (*size > 1u << 20) return fail("--size " + std::to_string(*size) + " is too large");
        data.resize(*size, 0);
    }
    return data;
}

}  // namespace orva::tool
