// Checking TOML description files: typed reads, unknown keys, bad bytes.
#include "simulator/toml_check.h"

#include <algorithm>
#include <cstdio>

#include "simulator/text.h"
#include "simulator/whole_file.h"

namespace orva::sim {

bool TomlChecker::fail(const toml::node* node, const std::string& what) {
    if (m_error.empty()) {
        m_error = m_file;
        if (node && node->source().begin.line > 0) {
            m_error += ':';
            m_error += std::to_string(node->source().begin.line);
        }
        m_error += ": ";
        m_error += what;
    }
    return false;
}

bool TomlChecker::string(const toml::table* t, const char* section, const char* key, std::string& out,
                         const toml::node** node) {
    const toml::node* n = t ? t->get(key) : nullptr;
    if (!n) return true;
    auto v = n->value_exact<std::string>();
    if (!v) return fail(n, std::string(section) + "." + key + " must be a string");
    out = *v;
    if (node) *node = n;
    return true;
}

bool TomlChecker::bytes(const toml::table* t, const char* section, const char* key, std::string& out, bool* present) {
    const toml::node* n = nullptr;
    std::string text;
    if (!string(t, section, key, text, &n)) return false;
    if (!n) return true;
    auto b = latin1_bytes(text);
    if (!b) return fail(n, std::string(section) + "." + key + " may only hold 8-bit characters (U+0000 to U+00FF)");
    out = *b;
    if (present) *present = true;
    return true;
}

bool TomlChecker::boolean(const toml::table* t, const char* section, const char* key, bool& out) {
    const toml::node* n = t ? t->get(key) : nullptr;
    if (!n) return true;
    auto v = n->value_exact<bool>();
    if (!v) return fail(n, std::string(section) + "." + key + " must be true or false");
    out = *v;
    return true;
}

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Edit distance, ASCII case ignored.
size_t distance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (fold(a[i - 1]) == fold(b[j - 1]) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The candidate nearest to `name` when it is close enough to be a slip (at
// most two edits, and fewer than half the letters); "" otherwise.
std::string nearest(std::string_view name, const std::vector<const char*>& candidates) {
    std::string best;
    size_t best_distance = 3;
    for (const char* c : candidates) {
        size_t d = distance(name, c);
        if (d < best_distance && 2 * d < std::max(name.size(), std::string_view(c).size())) {
            best = c;
            best_distance = d;
        }
    }
    return best;
}

}  // namespace

void find_unknown_keys(const std::string& file, const toml::table& root, const std::vector<TomlSection>& sections,
                       std::vector<std::string>& out) {
    std::vector<std::pair<uint32_t, std::string>> warnings;  // by line, as the file has them
    auto at = [&](const toml::source_region& where) {
        std::string text = file;
        if (where.begin.line > 0) text += ":" + std::to_string(where.begin.line);
        return text + ": ";
    };
    std::vector<const char*> section_names;
    for (const TomlSection& s : sections) section_names.push_back(s.name);
    for (const auto& [key, node] : root) {
        const TomlSection* section = nullptr;
        for (const TomlSection& s : sections)
            if (key.str() == s.name) section = &s;
        if (!section) {
            std::string what = node.is_table() ? "unknown section [" + std::string(key.str()) + "]"
                                               : "unknown key \"" + std::string(key.str()) + "\" outside any section";
            std::string near = nearest(key.str(), section_names);
            if (!near.empty()) what += " (did you mean [" + near + "]?)";
            warnings.emplace_back(key.source().begin.line, at(key.source()) + what + "; it is ignored");
            continue;
        }
        const toml::table* table = node.as_table();
        if (!table || section->keys.empty()) continue;
        for (const auto& [name, value] : *table) {
            bool known = false;
            for (const char* k : section->keys) known = known || name.str() == k;
            if (known) continue;
            std::string what = "unknown key \"" + std::string(name.str()) + "\" in [" + section->name + "]";
            std::string near = nearest(name.str(), section->keys);
            if (!near.empty()) what += " (did you mean \"" + near + "\"?)";
            warnings.emplace_back(name.source().begin.line, at(name.source()) + what + "; it is ignored");
        }
    }
    std::stable_sort(warnings.begin(), warnings.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (auto& w : warnings) out.push_back(std::move(w.second));
}

namespace {

// Whether `c` may stand in a bare key, a number, a date or a time.
bool is_bare_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '+' || c == ':';
}

}  // namespace

std::string check_toml_bytes(std::string_view text) {
    enum class In { Code, Comment, Basic, Literal, MultiBasic, MultiLiteral } in = In::Code;
    int line = 1;
    auto at = [&](const std::string& what) { return std::to_string(line) + ": " + what; };
    auto triple = [&](size_t i, char quote) {
        return i + 2 < text.size() && text[i] == quote && text[i + 1] == quote && text[i + 2] == quote;
    };
    char hex[8];
    // Where the code stands: in a value (after "=") or in a key or a table
    // header; the arrays and inline tables open around it; the code
    // character before this one ('\n' at the start of a line).
    bool value = false;
    std::string open;
    char prev = '\n';
    // A bare value (a number, a date, a boolean) is being read: the parser
    // reads on to the next space, line end, ',', ']', '}' or '#'.
    bool bare = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            if (in == In::Comment || in == In::Basic || in == In::Literal) in = In::Code;
            if (in == In::Code && open.empty()) value = false;
            prev = '\n';
            bare = false;
            continue;
        }
        if ((c < 0x20 && c != '\t' && !(c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) || c == 0x7F) {
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(c));
            return at(std::string("control character ") + hex + " (TOML allows only tab and line ends)");
        }
        if (c >= 0x80) {
            if (in == In::Code)
                return at(
                    "non-ASCII character outside a string or comment (a bare key holds only A-Z a-z 0-9 _ -; "
                    "quote the key)");
            // One whole UTF-8 sequence: no overlong form, no surrogate, at most U+10FFFF.
            const size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
            if (n == 0 || c > 0xF4 || i + n > text.size()) return at("invalid UTF-8");
            uint32_t cp = c & (0x7Fu >> n);
            for (size_t k = 1; k < n; ++k) {
                const unsigned char next = static_cast<unsigned char>(text[i + k]);
                if ((next & 0xC0) != 0x80) return at("invalid UTF-8");
                cp = (cp << 6) | (next & 0x3Fu);
            }
            if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
                return at("invalid UTF-8");
            i += n - 1;
            continue;
        }
        switch (in) {
            case In::Code:
                // The parser asserts on a table header without a name and on a
                // closing brace where an array expects a value, and reads
                // undefined memory when a bare value runs on into a string (it
                // reads the string's characters as the value's): none of them
                // is TOML, and all are refused here.
                if ((c == '"' || c == '\'') && (is_bare_char(prev) || bare))
                    return at("a quote right after a number, date or name (a string stands on its own)");
                if (c == ' ' || c == '\t' || c == '\r' || c == ',' || c == ']' || c == '}' || c == '#') bare = false;
                else if (value && c != '"' && c != '\'' && c != '[' && c != '{' && c != '=') bare = true;
                if (c == '}' && (open.empty() || open.back() != '{'))
                    return at("a closing brace without an inline table to close");
                if (c == '[' && !value && open.empty()) {
                    size_t k = i + 1;
                    if (k < text.size() && text[k] == '[') ++k;
                    while (k < text.size() && (text[k] == ' ' || text[k] == '\t')) ++k;
                    // (A byte that is no character of its own is refused below.)
                    const unsigned char n = k < text.size() ? static_cast<unsigned char>(text[k]) : '\n';
                    const bool names = (is_bare_char(char(n)) && n != '+' && n != ':') || n == '"' || n == '\'';
                    if (!names && (n == '\n' || n == '\r' || (n >= 0x20 && n < 0x7F)))
                        return at("a table header without a name");
                } else if (c == '[' || c == '{') {
                    open += static_cast<char>(c);
                    value = c == '[';
                } else if ((c == ']' || c == '}') && !open.empty() && open.back() == (c == ']' ? '[' : '{')) {
                    open.pop_back();
                    value = true;
                } else if (c == '=') {
                    value = true;
                } else if (c == ',' && !open.empty() && open.back() == '{') {
                    value = false;
                }
                if (c != ' ' && c != '\t') prev = static_cast<char>(c);
                if (c == ' ' || c == '\t') prev = ' ';
                if (c == '#') {
                    in = In::Comment;
                } else if (triple(i, '"') || triple(i, '\'')) {
                    in = c == '"' ? In::MultiBasic : In::MultiLiteral;
                    i += 2;
                } else if (c == '"') {
                    in = In::Basic;
                } else if (c == '\'') {
                    in = In::Literal;
                }
                break;
            case In::Basic:
                if (c == '\\' && i + 1 < text.size() && text[i + 1] != '\n') ++i;
                else if (c == '"') in = In::Code;
                break;
            case In::Literal:
                if (c == '\'') in = In::Code;
                break;
            case In::MultiBasic:
            case In::MultiLiteral: {
                const char quote = in == In::MultiBasic ? '"' : '\'';
                if (in == In::MultiBasic && c == '\\') {
                    // A backslash that ends a line: the parser skips the
                    // white space after it, and reads undefined memory when
                    // it meets a non-ASCII character there.
                    size_t k = i + 1;
                    while (k < text.size() && (text[k] == ' ' || text[k] == '\t' || text[k] == '\r')) ++k;
                    if (k < text.size() && text[k] == '\n') {
                        while (k < text.size() &&
                               (text[k] == ' ' || text[k] == '\t' || text[k] == '\r' || text[k] == '\n'))
                            ++k;
                        if (k < text.size() && static_cast<unsigned char>(text[k]) >= 0x80)
                            return at("a non-ASCII character right after a backslash that ends a line");
                    }
                }
                if (in == In::MultiBasic && c == '\\' && i + 1 < text.size() && text[i + 1] != '\n') {
                    ++i;
                } else if (triple(i, quote)) {
                    // Up to two more quotes belong to the string's end.
                    i += 2;
                    for (int extra = 0; extra < 2 && i + 1 < text.size() && text[i + 1] == quote; ++extra) ++i;
                    in = In::Code;
                }
                break;
            }
            case In::Comment:
                break;
        }
    }
    return "";
}

std::optional<toml::table> read_toml_file(const std::filesystem::path& file, std::string* error) {
    std::string text, why;
    if (!read_whole_file(file, text, &why)) {
        if (error) *error = why;
        return std::nullopt;
    }
    // The parser is not safe on every byte sequence (non-ASCII bare keys,
    // control characters): those never reach it.
    const std::string bad = check_toml_bytes(text);
    if (!bad.empty()) {
        if (error) *error = file.string() + ":" + bad;
        return std::nullopt;
    }
    try {
        return toml::parse(text, file.string());
    } catch (const toml::parse_error& e) {
        if (error) {
            *error = file.string();
            if (e.source().begin.line > 0) *error += ":" + std::to_string(e.source().begin.line);
            *error += ": " + std::string(e.description());
        }
        return std::nullopt;
    }
}

}  // namespace orva::sim
