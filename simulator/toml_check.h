// Checking a TOML description file (controller.toml, board.toml): typed
// reads of its keys that name the file and the line of the first problem,
// warnings for the sections and keys this version does not know, and
// reading it whole with the bytes no TOML file may hold refused before the
// parser sees them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <toml++/toml.h>

namespace orva::sim {

// Collects the first problem found, with its file and line.
class TomlChecker {
public:
    explicit TomlChecker(const std::filesystem::path& file) : m_file(file.string()) {}

    // Records "FILE:LINE: what" unless a problem is recorded already; false.
    bool fail(const toml::node* node, const std::string& what);
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
    // Reads a string key when present; `node` is set to it then.
    bool string(const toml::table* t, const char* section, const char* key, std::string& out,
                const toml::node** node = nullptr);
    // An 8-bit string: every character must be U+0000 to U+00FF.
    bool bytes(const toml::table* t, const char* section, const char* key, std::string& out, bool* present = nullptr);
    // Reads a boolean key when present.
    bool boolean(const toml::table* t, const char* section, const char* key, bool& out);

private:
    std::string m_file;
    std::string m_error;
};

// A section of the file and the keys it knows; a section with no keys
// listed takes any key.
struct TomlSection {
    const char* name;
    std::vector<const char*> keys;
};

// One warning for every section and key of `root` that `sections` does not
// know, in the file's order: "FILE:LINE: unknown key "x" in [s] (did you
// mean "y"?); it is ignored".
void find_unknown_keys(const std::string& file, const toml::table& root, const std::vector<TomlSection>& sections,
                       std::vector<std::string>& out);

// The first byte of a TOML text that no TOML document may hold where it
// stands: "LINE: what" on the first one, "" when there is none.
std::string check_toml_bytes(std::string_view text);

// Reads and parses a TOML file: its bytes checked first (the parser is not
// safe on every byte sequence), then parsed. nullopt and a one-line message
// naming the file (and the line, where there is one) otherwise.
std::optional<toml::table> read_toml_file(const std::filesystem::path& file, std::string* error);

}  // namespace orva::sim
