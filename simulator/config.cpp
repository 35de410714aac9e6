// Reading and checking controller.toml, and the text of a new one.
#include "simulator/config.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include <toml++/toml.h>

#include "simulator/sim_controller.h"
#include "simulator/text.h"

namespace orva::sim {

namespace {

// Collects the first problem found, with its file and line.
class Checker {
public:
    explicit Checker(const std::filesystem::path& file) : m_file(file.string()) {}

    bool fail(const toml::node* node, const std::string& what) {
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
    const std::string& error() const { return m_error; }

    // Reads an integer key within [lo, hi] when present.
    template <typename T>
    bool integer(const toml::table* t, const char* section, const char* key, T& out, int64_t lo, int64_t hi) {
        const toml::node* n = t ? t->get(key) : nullptr;
        if (!n) return true;
        auto v = n->value_exact<int64_t>();
        if (!v) return fail(n, std::string(section) + "." + key + " must be an integer");
        if (*v < lo || *v > hi)
            return fail(n, std::string(section) + "." + key + " = " + std::to_string(*v) + " is out of range " +
                               std::to_string(lo) + " to " + std::to_string(hi));
        out = static_cast<T>(*v);
        return true;
    }

    bool string(const toml::table* t, const char* section, const char* key, std::string& out,
                const toml::node** node = nullptr) {
        const toml::node* n = t ? t->get(key) : nullptr;
        if (!n) return true;
        auto v = n->value_exact<std::string>();
        if (!v) return fail(n, std::string(section) + "." + key + " must be a string");
        out = *v;
        if (node) *node = n;
        return true;
    }

    // An 8-bit string: every character must be U+0000 to U+00FF.
    bool bytes(const toml::table* t, const char* section, const char* key, std::string& out, bool* present = nullptr) {
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

private:
    std::string m_file;
    std::string m_error;
};

// The keys each section knows; [serial] takes any port name.
struct Section {
    const char* name;
    std::vector<const char*> keys;
};
const std::vector<Section>& known_sections() {
    static const std::vector<Section> sections = {
        {"identity", {"serial_number", "mac", "os_version", "sdk_version", "kernel_version"}},
        {"flash", {"segment_size", "image_area_size"}},
        {"slot1", {"model", "name"}},
        {"serial", {}},
        {"module", {"name", "reply", "delay_ms", "silent"}},
        {"faults",
         {"serial_number_failures", "flash_write_fail_segment", "registry_read_only", "registry_flush_fails"}},
    };
    return sections;
}

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

// One warning for every section and key that this version does not know.
void find_unknown(const std::string& file, const toml::table& root, std::vector<std::string>& out) {
    std::vector<std::pair<uint32_t, std::string>> warnings;  // by line, as the file has them
    auto at = [&](const toml::source_region& where) {
        std::string text = file;
        if (where.begin.line > 0) text += ":" + std::to_string(where.begin.line);
        return text + ": ";
    };
    std::vector<const char*> section_names;
    for (const Section& s : known_sections()) section_names.push_back(s.name);
    for (const auto& [key, node] : root) {
        const Section* section = nullptr;
        for (const Section& s : known_sections())
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

bool parse_mac_text(const std::string& s, std::array<uint32_t, 6>& out) {
    if (s.size() != 17) return false;
    for (int i = 0; i < 6; ++i) {
        int hi = hex_digit(s[i * 3]), lo = hex_digit(s[i * 3 + 1]);
        if (hi < 0 || lo < 0) return false;
        if (i < 5 && s[i * 3 + 2] != ':' && s[i * 3 + 2] != '-') return false;
        out[i] = static_cast<uint32_t>(hi * 16 + lo);
    }
    return true;
}

bool read_mac(Checker& c, const toml::node& n, std::array<uint32_t, 6>& out) {
    if (auto s = n.value_exact<std::string>()) {
        if (!parse_mac_text(*s, out))
            return c.fail(&n, "identity.mac entry \"" + *s + "\" is not six hex bytes like 02:00:00:00:00:01");
        return true;
    }
    const toml::array* a = n.as_array();
    if (!a || a->size() != 6)
        return c.fail(&n, "identity.mac entries must be \"02:00:00:00:00:01\" or an array of six integers");
    for (size_t i = 0; i < 6; ++i) {
        auto v = (*a)[i].value_exact<int64_t>();
        if (!v || *v < 0 || *v > std::numeric_limits<uint32_t>::max())
            return c.fail(&(*a)[i], "identity.mac values must be integers from 0 to 4294967295");
        out[i] = static_cast<uint32_t>(*v);
    }
    return true;
}

bool check(Checker& c, const toml::table& root, ControllerConfig& cfg) {
    for (const char* name : {"identity", "flash", "slot1", "serial", "module", "faults"}) {
        const toml::node* n = root.get(name);
        if (n && !n->is_table()) return c.fail(n, std::string("[") + name + "] must be a table");
    }
    const toml::table* id = root["identity"].as_table();
    const toml::table* flash = root["flash"].as_table();
    const toml::table* slot = root["slot1"].as_table();
    const toml::table* serial = root["serial"].as_table();
    const toml::table* module = root["module"].as_table();
    const toml::table* faults = root["faults"].as_table();

    const toml::node* n = nullptr;
    std::string text;
    if (!c.string(id, "identity", "serial_number", text, &n)) return false;
    if (n) {
        if (text.size() != 16) return c.fail(n, "identity.serial_number must be 16 hex digits (8 bytes)");
        for (size_t i = 0; i < 8; ++i) {
            int hi = hex_digit(text[2 * i]), lo = hex_digit(text[2 * i + 1]);
            if (hi < 0 || lo < 0) return c.fail(n, "identity.serial_number must be 16 hex digits (8 bytes)");
            cfg.serial_number[i] = static_cast<uint8_t>(hi * 16 + lo);
        }
    }
    if (const toml::node* macs = id ? id->get("mac") : nullptr) {
        const toml::array* a = macs->as_array();
        if (!a || a->size() != 2) return c.fail(macs, "identity.mac must be an array of two addresses");
        for (size_t i = 0; i < 2; ++i)
            if (!read_mac(c, (*a)[i], cfg.mac[i])) return false;
    }
    n = nullptr;
    if (!c.string(id, "identity", "os_version", text, &n)) return false;
    if (n) cfg.os_version = utf8_to_utf16(text);
    n = nullptr;
    if (!c.string(id, "identity", "sdk_version", text, &n)) return false;
    if (n) cfg.sdk_version = utf8_to_utf16(text);
    bool have_kernel = false;
    if (!c.bytes(id, "identity", "kernel_version", cfg.kernel_version, &have_kernel)) return false;
    if (have_kernel && cfg.kernel_version.size() != 6)
        return c.fail(id->get("kernel_version"), "identity.kernel_version must be exactly six 8-bit characters");

    if (!c.integer(flash, "flash", "segment_size", cfg.segment_size, 0, std::numeric_limits<uint32_t>::max()))
        return false;
    if (!c.integer(flash, "flash", "image_area_size", cfg.image_area_size, std::numeric_limits<int32_t>::min(),
                   std::numeric_limits<int32_t>::max()))
        return false;

    if (!c.integer(slot, "slot1", "model", cfg.slot1_model, std::numeric_limits<int32_t>::min() + 5000LL,
                   std::numeric_limits<int32_t>::max()))
        return false;
    if (!c.bytes(slot, "slot1", "name", cfg.slot1_name)) return false;

    if (serial) {
        for (const auto& [key, node] : *serial) {
            auto v = node.value_exact<std::string>();
            if (!v || v->empty())
                return c.fail(&node, "serial." + std::string(key.str()) + " must be \"module\" or a host device path");
            cfg.serial[ascii_fold(key.str())] = *v;
        }
    }

    if (!c.bytes(module, "module", "name", cfg.module.name)) return false;
    bool have_reply = false;
    std::string reply;
    if (!c.bytes(module, "module", "reply", reply, &have_reply)) return false;
    if (have_reply) cfg.module.reply = reply;
    if (!c.integer(module, "module", "delay_ms", cfg.module.delay_ms, 0, 3600000)) return false;
    if (const toml::node* s = module ? module->get("silent") : nullptr) {
        auto v = s->value_exact<bool>();
        if (!v) return c.fail(s, "module.silent must be true or false");
        cfg.module.silent = *v;
    }

    if (!c.integer(faults, "faults", "serial_number_failures", cfg.serial_number_failures, 0,
                   std::numeric_limits<int32_t>::max()))
        return false;
    if (!c.integer(faults, "faults", "flash_write_fail_segment", cfg.flash_write_fail_segment,
                   std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()))
        return false;
    if (const toml::node* ro = faults ? faults->get("registry_read_only") : nullptr) {
        const toml::array* a = ro->as_array();
        if (!a) return c.fail(ro, "faults.registry_read_only must be an array of \"KEY\\\\VALUE\" strings");
        for (const toml::node& e : *a) {
            auto v = e.value_exact<std::string>();
            if (!v || v->find('\\') == std::string::npos)
                return c.fail(&e, "faults.registry_read_only entries must be \"KEY\\\\VALUE\" strings");
            cfg.registry_read_only.push_back(*v);
        }
    }
    if (const toml::node* f = faults ? faults->get("registry_flush_fails") : nullptr) {
        auto v = f->value_exact<bool>();
        if (!v) return c.fail(f, "faults.registry_flush_fails must be true or false");
        cfg.registry_flush_fails = *v;
    }
    return true;
}

}  // namespace

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

std::optional<ControllerConfig> load_config(const std::filesystem::path& file, std::string* error) {
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
    toml::table root;
    try {
        root = toml::parse(text, file.string());
    } catch (const toml::parse_error& e) {
        if (error) {
            *error = file.string();
            if (e.source().begin.line > 0) *error += ":" + std::to_string(e.source().begin.line);
            *error += ": " + std::string(e.description());
        }
        return std::nullopt;
    }
    ControllerConfig cfg;
    Checker checker(file);
    if (!check(checker, root, cfg)) {
        if (error) *error = checker.error();
        return std::nullopt;
    }
    find_unknown(file.string(), root, cfg.warnings);
    return cfg;
}

std::string default_config_text(uint32_t segment_size) {
    std::string t;
    t += "# The simulated controller: identity, flash geometry, slot 1 module,\n";
    t += "# serial port mapping and faults to inject. Edit freely; every key may be left out.\n\n";
    t += "[identity]\n";
    t += "serial_number = \"0123456789ABCDEF\"   # 8 bytes in hex, byte 0 first\n";
    t += "mac = [\"02:00:00:00:00:01\", \"02:00:00:00:00:02\"]  # interfaces 0 and 1; an array of six integers is also "
         "accepted, stored as given\n";
    t += "os_version = \"Windows CE 4.20 (Build 1088)\"  # what GetOSversion stores (at most 79 characters)\n";
    t += "sdk_version = \"OrvaSDK 1.07\"       # what GetSDKversion stores (at most 79 characters)\n";
    t += "kernel_version = \"K1.0.3\"           # exactly six 8-bit characters\n\n";
    t += "[flash]\n";
    t += "segment_size = " + std::to_string(segment_size) + "                # what GetFlashSize_Img stores (" +
         segment_sizes_text() + "); any other value simulates an unknown flash\n";
    t += "image_area_size = " + std::to_string(new_image_area_size(segment_size)) +
         "           # what GetFlashSize_Img returns (bytes; any 32-bit signed value)\n\n";
    t += "[slot1]\n";
    t += "model = 5000                         # GetNameOfModule returns model - 5000\n";
    t += "name = \"5000\"                        # the 8-bit name it stores (at most 7 characters); \"5000\" is a "
         "module on the serial module bus\n\n";
    t += "[serial]\n";
    t += "COM0 = \"module\"                      # \"module\": the simulated I/O module; otherwise a host device "
         "path\n\n";
    t += "[module]\n";
    t += "name = \"OR5DI\"                       # the five characters the simulated module answers with\n";
    t += "# reply = \"\"                         # if set: the exact bytes it answers with instead (\\u0000 for a zero "
         "byte)\n";
    t += "delay_ms = 0                         # wait before answering\n";
    t += "silent = false                       # never answer\n\n";
    t += "[faults]\n";
    t += "serial_number_failures = 0           # the first N calls of GetSystemSerialNumber fail\n";
    t += "flash_write_fail_segment = -1        # FlashWriteString_Img on this segment returns 0\n";
    t += "registry_read_only = []              # \"KEY\\\\VALUE\" entries whose RegSetValueExW fails\n";
    t += "registry_flush_fails = false         # RegFlushKey fails\n";
    return t;
}

}  // namespace orva::sim
