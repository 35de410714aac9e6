// wsprintfW and the wide-string helpers of the platform layer.
#include <cstdarg>
#include <cstring>

#include "platform/text.h"

namespace orva::platform {

size_t wide_length(LPCWSTR text) {
    size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

std::u16string_view wide_view(LPCWSTR text) { return std::u16string_view(text ? text : u"", wide_length(text)); }

std::u16string fold_case(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return out;
}

bool equal_no_case(std::u16string_view a, std::u16string_view b) { return fold_case(a) == fold_case(b); }

namespace {

void append_padded(std::u16string& out, const std::u16string& body, bool left, size_t width, char16_t pad) {
    if (body.size() >= width) {
        out += body;
        return;
    }
    size_t fill = width - body.size();
    if (left) {
        out += body;
        out.append(fill, u' ');
        return;
    }
    if (pad == u'0' && !body.empty() && body[0] == u'-') {
        out += u'-';
        out.append(fill, u'0');
        out.append(body, 1);
        return;
    }
    out.append(fill, pad);
    out += body;
}

std::u16string digits(uint64_t value, unsigned base, bool upper) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string s;
    do {
        s.insert(s.begin(), char16_t(set[value % base]));
        value /= base;
    } while (value);
    return s;
}

}  // namespace

std::u16string format_wide(LPCWSTR format, va_list args) {
    std::u16string out;
    if (!format) return out;
    for (const WCHAR* p = format; *p; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == u'%') {
            out += u'%';
            continue;
        }
        bool left = false;
        char16_t pad = u' ';
        for (;; ++p) {
            if (*p == u'-') left = true;
            else if (*p == u'0') pad = u'0';
            else break;
        }
        size_t width = 0;
        while (*p >= u'0' && *p <= u'9') width = width * 10 + (*p++ - u'0');
        int precision = -1;
        if (*p == u'.') {
            ++p;
            precision = 0;
            while (*p >= u'0' && *p <= u'9') precision = precision * 10 + (*p++ - u'0');
        }
        bool is_long = false;
        if (*p == u'l') {
            is_long = true;
            ++p;
        }  // LONG is 32 bits, as on the controller
        else if (*p == u'h')
            ++p;
        (void)is_long;
        std::u16string body;
        switch (*p) {
            case u'd':
            case u'i': {
                int32_t v = va_arg(args, int32_t);
                uint64_t mag = v < 0 ? uint64_t(-int64_t(v)) : uint64_t(v);
                body = digits(mag, 10, false);
                if (precision >= 0 && body.size() < size_t(precision)) body.insert(0, precision - body.size(), u'0');
                if (v < 0) body.insert(body.begin(), u'-');
                break;
            }
            case u'u':
            case u'x':
            case u'X': {
                uint32_t v = va_arg(args, uint32_t);
                body = digits(v, *p == u'u' ? 10 : 16, *p == u'X');
                if (precision >= 0 && body.size() < size_t(precision)) body.insert(0, precision - body.size(), u'0');
                break;
            }
            case u'c': {
                body = char16_t(va_arg(args, int) & 0xFFFF);
                break;
            }
            case u's': {
                const WCHAR* s = va_arg(args, const WCHAR*);
                body = s ? std::u16string(wide_view(s)) : u"(null)";
                if (precision >= 0 && body.size() > size_t(precision)) body.resize(precision);
                break;
            }
            case u'S': {
                const char* s = va_arg(args, const char*);
                if (!s) s = "(null)";
                // 8-bit characters become the wide characters of the same code.
                for (const char* q = s; *q && (precision < 0 || body.size() < size_t(precision)); ++q)
                    body += char16_t(static_cast<unsigned char>(*q));
                break;
            }
            case 0:
                return out;
            default:
                body = u"%";
                body += *p;
                break;
        }
        append_padded(out, body, left, width, pad);
    }
    return out;
}

}  // namespace orva::platform

// Windows limits wsprintfW's output to 1024 characters, terminator included.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = orva::platform::format_wide(format, args);
    va_end(args);
    if (text.size() > 1023) text.resize(1023);
    std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
    buffer[text.size()] = 0;
    return int(text.size());
}
