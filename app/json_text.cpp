// JSON text for --json.
#include "app/json_text.h"

#include <cstdio>

#include "common/utf.h"

namespace orva::app::json {

std::string string(const std::u16string& text) {
    std::string out = "\"";
    char buf[8];
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += utf::to_utf8(text.substr(i, 2));
            ++i;
        } else if (c == u'"' || c == u'\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || high || low) {
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
            out += buf;
        } else {
            out += utf::to_utf8(std::u16string(1, c));
        }
    }
    return out + "\"";
}

std::string string(std::string_view utf8) { return string(utf::to_utf16(utf8)); }

std::string number(int64_t value) { return std::to_string(value); }

std::string boolean(bool value) { return value ? "true" : "false"; }

std::string string_or_null(const std::optional<std::string>& text) { return text ? string(*text) : kNull; }

std::string number_or_null(const std::optional<int64_t>& value) { return value ? number(*value) : kNull; }

std::string array(const std::vector<std::string>& values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + values[i];
    return out + "]";
}

std::string string_array(const std::vector<std::string>& texts) {
    std::vector<std::string> values;
    for (const std::string& text : texts) values.push_back(string(text));
    return array(values);
}

Object& Object::add(std::string_view key, std::string value) {
    for (auto& member : m_members)
        if (member.first == key) return member.second = std::move(value), *this;
    m_members.emplace_back(std::string(key), std::move(value));
    return *this;
}

Object& Object::add_all(const Object& other) {
    for (const auto& [key, value] : other.m_members) add(key, value);
    return *this;
}

std::string Object::text() const {
    std::string out = "{";
    for (size_t i = 0; i < m_members.size(); ++i)
        out += (i ? ", " : "") + string(m_members[i].first) + ": " + m_members[i].second;
    return out + "}";
}

}  // namespace orva::app::json
