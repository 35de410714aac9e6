// Text helpers of the simulated controller: UTF conversion and case folding.
#include "simulator/text.h"

namespace orva::sim {

namespace {

// Decodes one code point at s[i]; advances i. Returns -1 on an invalid sequence.
long decode_utf8(std::string_view s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i++]);
    if (c < 0x80) return c;
    int extra = 0;
    long cp = 0;
    if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; }
    else return -1;
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size()) return -1;
        unsigned char d = static_cast<unsigned char>(s[i]);
        if ((d & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (d & 0x3F);
        ++i;
    }
    static const long min_for[] = {0, 0x80, 0x800, 0x10000};
    if (cp < min_for[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return cp;
}

void append_utf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string ascii_fold(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool ascii_iequal(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ascii_fold(a) == ascii_fold(b);
}

std::u16string utf8_to_utf16(std::string_view s) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        long cp = decode_utf8(s, i);
        if (cp < 0) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned long cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        append_utf8(out, cp);
    }
    return out;
}

std::vector<uint8_t> reg_sz_bytes(std::string_view utf8) {
    std::u16string w = utf8_to_utf16(utf8);
    std::vector<uint8_t> out;
    out.reserve((w.size() + 1) * 2);
    for (char16_t c : w) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::u16string reg_sz_text(const std::vector<uint8_t>& data) {
    std::u16string out;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        out += c;
    }
    return out;
}

std::optional<std::string> latin1_bytes(std::string_view utf8) {
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        long cp = decode_utf8(utf8, i);
        if (cp < 0 || cp > 0xFF) return std::nullopt;
        out += static_cast<char>(cp);
    }
    return out;
}

}  // namespace orva::sim
