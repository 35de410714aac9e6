// .reg file encodings: detection, reading as UTF-8, writing UTF-16LE.
#include "simulator/reg_encoding.h"

#include <cstdio>

#include "common/utf.h"
#include "simulator/text.h"

namespace orva::sim {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";

// Code points of Windows-1252 bytes 0x80 to 0x9F.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Whether `s` is valid UTF-8 throughout.
bool valid_utf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        if (utf::decode(s, i) < 0) return false;
    }
    return true;
}

void decode_utf8_with_flaws(std::string_view s, RegText& out) {
    std::string& text = out.own();
    text.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const size_t start = i;
        const long c = static_cast<unsigned char>(s[i]) < 0x80 ? static_cast<unsigned char>(s[i++]) : utf::decode(s, i);
        if (c >= 0) {
            utf::append_utf8(text, static_cast<unsigned long>(c));
            continue;
        }
        if (i == start) ++i;  // a stray byte that began nothing
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned char>(s[start]));
        out.flaws.push_back({text.size(), std::string("a byte that is not UTF-8 (") + buf + ")"});
        utf::append_utf8(text, 0xFFFD);
    }
}

void decode_utf16le(std::string_view s, RegText& out) {
    std::string& text = out.own();
    text.reserve(s.size() / 2 + s.size() / 4);
    const size_t n = s.size() / 2;
    auto unit = [&](size_t k) {
        return static_cast<unsigned>(static_cast<unsigned char>(s[2 * k]) |
                                     (static_cast<unsigned char>(s[2 * k + 1]) << 8));
    };
    for (size_t k = 0; k < n; ++k) {
        const unsigned u = unit(k);
        if (u < 0x80) {
            text += static_cast<char>(u);
        } else if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
            utf::append_utf8(text, 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
            ++k;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            char buf[48];
            std::snprintf(buf, sizeof buf, "a lone UTF-16 surrogate (U+%04X)", u);
            out.flaws.push_back({text.size(), buf});
            utf::append_utf8(text, 0xFFFD);
        } else {
            utf::append_utf8(text, u);
        }
    }
    if (s.size() % 2 != 0) {
        out.flaws.push_back({text.size(), "an odd last byte in UTF-16 text"});
        utf::append_utf8(text, 0xFFFD);
    }
}

void decode_windows1252(std::string_view s, RegText& out) {
    std::string& text = out.own();
    text.reserve(s.size() + s.size() / 2);
    for (char ch : s) utf::append_utf8(text, windows1252_char(static_cast<unsigned char>(ch)));
}

}  // namespace

const char* encoding_name(RegEncoding encoding) {
    switch (encoding) {
        case RegEncoding::Utf8:
            return "UTF-8";
        case RegEncoding::Utf16le:
            return "UTF-16LE";
        case RegEncoding::Windows1252:
            return "Windows-1252";
    }
    return "";
}

std::optional<RegEncoding> parse_encoding_name(std::string_view name) {
    const std::string n = ascii_fold(name);
    if (n == "utf-8" || n == "utf8") return RegEncoding::Utf8;
    if (n == "utf-16le" || n == "utf-16" || n == "utf16le" || n == "utf16") return RegEncoding::Utf16le;
    if (n == "windows-1252" || n == "cp1252") return RegEncoding::Windows1252;
    return std::nullopt;
}

char32_t windows1252_char(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

RegText decode_reg_bytes(std::string_view bytes, std::optional<RegEncoding> forced) {
    RegText out;
    RegEncoding encoding;
    std::optional<bool> valid;  // whether the bytes are UTF-8, once known
    if (forced) {
        encoding = *forced;
        if (encoding == RegEncoding::Utf16le && starts_with(bytes, kUtf16Bom)) bytes.remove_prefix(2);
        if (encoding == RegEncoding::Utf8 && starts_with(bytes, kUtf8Bom)) bytes.remove_prefix(3);
    } else if (starts_with(bytes, kUtf16Bom)) {
        encoding = RegEncoding::Utf16le;
        bytes.remove_prefix(2);
    } else if (starts_with(bytes, kUtf8Bom)) {
        encoding = RegEncoding::Utf8;
        bytes.remove_prefix(3);
    } else {
        valid = valid_utf8(bytes);
        encoding = *valid ? RegEncoding::Utf8 : RegEncoding::Windows1252;
    }
    out.encoding = encoding;
    out.declared = !valid.has_value();
    switch (encoding) {
        case RegEncoding::Utf8:
            if (valid ? *valid : valid_utf8(bytes)) out.set_view(bytes);
            else decode_utf8_with_flaws(bytes, out);
            break;
        case RegEncoding::Utf16le:
            decode_utf16le(bytes, out);
            break;
        case RegEncoding::Windows1252:
            decode_windows1252(bytes, out);
            break;
    }
    return out;
}

std::string utf16le_file_text(std::string_view utf8) {
    std::string out;
    out.reserve(2 * utf8.size() + 64);
    out += kUtf16Bom;
    auto put = [&](unsigned u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            if (b == '\n') put('\r');
            put(b);
            ++i;
            continue;
        }
        long c = utf::decode(utf8, i);
        if (c < 0) c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (static_cast<unsigned>(c) >> 10));
            put(0xDC00 + (static_cast<unsigned>(c) & 0x3FF));
        } else {
            put(static_cast<unsigned>(c));
        }
    }
    return out;
}

}  // namespace orva::sim
