// Text helpers of the simulated controller: case folding, hexadecimal
// digits, REG_SZ bytes and Latin-1.
#include "simulator/text.h"

namespace orva::sim {

std::string ascii_fold(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool ascii_iequal(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ascii_fold(a) == ascii_fold(b);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

size_t utf16_cut(std::u16string_view s, size_t max) {
    if (s.size() <= max) return s.size();
    if (max > 0 && s[max - 1] >= 0xD800 && s[max - 1] <= 0xDBFF && s[max] >= 0xDC00 && s[max] <= 0xDFFF) return max - 1;
    return max;
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
        long cp = utf::decode(utf8, i);
        if (cp < 0 || cp > 0xFF) return std::nullopt;
        out += static_cast<char>(cp);
    }
    return out;
}

}  // namespace orva::sim
