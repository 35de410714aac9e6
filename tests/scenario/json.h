// A small strict JSON reader for the tests (RFC 8259): the scenario tests
// parse what the programs print instead of comparing it as text.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orva::test {

struct Json {
    using Array = std::vector<Json>;
    using Object = std::map<std::string, Json>;
    std::variant<std::nullptr_t, bool, double, std::string, Array, Object> value;

    friend bool operator==(const Json&, const Json&) = default;

    const std::string* string() const { return std::get_if<std::string>(&value); }
    const Object* object() const { return std::get_if<Object>(&value); }
};

namespace json_detail {

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    std::optional<Json> document() {
        auto v = value();
        skip();
        if (!v || m_pos != m_text.size()) return std::nullopt;
        return v;
    }

private:
    void skip() {
        while (m_pos < m_text.size() &&
               (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }
    bool eat(char c) {
        skip();
        if (m_pos < m_text.size() && m_text[m_pos] == c) return ++m_pos, true;
        return false;
    }
    bool word(std::string_view w) {
        if (m_text.substr(m_pos, w.size()) != w) return false;
        m_pos += w.size();
        return true;
    }
    std::optional<uint32_t> hex4() {
        if (m_pos + 4 > m_text.size()) return std::nullopt;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            char c = m_text[m_pos++];
            int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
            if (d < 0) return std::nullopt;
            v = v * 16 + uint32_t(d);
        }
        return v;
    }
    static void utf8(uint32_t cp, std::string& out) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    std::optional<std::string> string() {
        if (!eat('"')) return std::nullopt;
        std::string out;
        while (m_pos < m_text.size()) {
            unsigned char c = static_cast<unsigned char>(m_text[m_pos++]);
            if (c == '"') return out;
            if (c < 0x20) return std::nullopt;
            if (c != '\\') {
                out += char(c);
                continue;
            }
            if (m_pos >= m_text.size()) return std::nullopt;
            char e = m_text[m_pos++];
            const char* plain = "\"\\/bfnrt";
            const char* meant = "\"\\/\b\f\n\r\t";
            if (const char* p = std::char_traits<char>::find(plain, 8, e)) {
                out += meant[p - plain];
            } else if (e == 'u') {
                auto cp = hex4();
                if (!cp) return std::nullopt;
                if (*cp >= 0xD800 && *cp <= 0xDBFF && word("\\u")) {
                    auto low = hex4();
                    if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
                    *cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
                } else if (*cp >= 0xD800 && *cp <= 0xDFFF) {
                    return std::nullopt;  // a lone surrogate has no UTF-8 form
                }
                utf8(*cp, out);
            } else {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    std::optional<Json> value() {
        skip();
        if (m_pos >= m_text.size()) return std::nullopt;
        char c = m_text[m_pos];
        if (c == '"') {
            auto s = string();
            return s ? std::optional<Json>(Json{*s}) : std::nullopt;
        }
        if (c == '{') {
            ++m_pos;
            Json::Object object;
            if (eat('}')) return Json{object};
            do {
                auto key = string();
                if (!key || !eat(':')) return std::nullopt;
                auto v = value();
                if (!v || !object.emplace(*key, *v).second) return std::nullopt;  // duplicate keys are refused
            } while (eat(','));
            return eat('}') ? std::optional<Json>(Json{object}) : std::nullopt;
        }
        if (c == '[') {
            ++m_pos;
            Json::Array array;
            if (eat(']')) return Json{array};
            do {
                auto v = value();
                if (!v) return std::nullopt;
                array.push_back(*v);
            } while (eat(','));
            return eat(']') ? std::optional<Json>(Json{array}) : std::nullopt;
        }
        if (word("true")) return Json{true};
        if (word("false")) return Json{false};
        if (word("null")) return Json{nullptr};
        size_t start = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '-') ++m_pos;
        while (m_pos < m_text.size() &&
               std::string_view("0123456789.eE+-").find(m_text[m_pos]) != std::string_view::npos)
            ++m_pos;
        if (m_pos == start) return std::nullopt;
        try {
            size_t used = 0;
            double d = std::stod(std::string(m_text.substr(start, m_pos - start)), &used);
            if (used != m_pos - start) return std::nullopt;
            return Json{d};
        } catch (...) {
            return std::nullopt;
        }
    }

    std::string_view m_text;
    size_t m_pos = 0;
};

}  // namespace json_detail

// The value of a whole JSON text; nullopt when it is not valid JSON.
inline std::optional<Json> parse_json(std::string_view text) { return json_detail::Reader(text).document(); }

}  // namespace orva::test
