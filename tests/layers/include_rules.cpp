// Reading the layer table and holding a tree's #include lines to it.
#include "tests/layers/include_rules.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace orva::layers {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

bool has(const std::vector<std::string>& list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Whether `path` is `entry` or lies in the folder `entry`.
bool under(std::string_view path, std::string_view entry) {
    return entry == "." || path == entry ||
           (starts_with(path, entry) && path.size() > entry.size() && path[entry.size()] == '/');
}

bool is_source(const fs::path& p) {
    static const std::set<std::string> kEndings{".h", ".hpp", ".c", ".cc", ".cpp"};
    return kEndings.count(p.extension().string()) > 0;
}

// The C standard headers, and the C++ ones (no dot, no folder).
bool is_standard(std::string_view header) {
    static const std::set<std::string, std::less<>> kC{
        "assert.h", "ctype.h",  "errno.h",  "float.h",  "inttypes.h", "iso646.h", "limits.h", "locale.h",
        "math.h",   "setjmp.h", "signal.h", "stdarg.h", "stdbool.h",  "stddef.h", "stdint.h", "stdio.h",
        "stdlib.h", "string.h", "time.h",   "uchar.h",  "wchar.h",    "wctype.h"};
    if (kC.count(header)) return true;
    return toolkit_of(header).empty() && header.find_first_of("./") == std::string_view::npos;
}

const Layer* layer_of(std::string_view file, const std::vector<Layer>& layers) {
    const Layer* best = nullptr;
    size_t best_length = 0;
    for (const Layer& layer : layers)
        for (const std::string& folder : layer.folders)
            if (under(file, folder) && folder.size() >= best_length) {
                best = &layer;
                best_length = folder.size();
            }
    return best;
}

struct Include {
    int line;
    bool angle;
    std::string name;
};

std::vector<Include> includes_of(const fs::path& file) {
    std::vector<Include> out;
    std::ifstream in(file);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        std::string_view s = line;
        auto skip_blanks = [&] {
            while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
        };
        skip_blanks();
        if (s.empty() || s.front() != '#') continue;
        s.remove_prefix(1);
        skip_blanks();
        if (!starts_with(s, "include")) continue;
        s.remove_prefix(7);
        skip_blanks();
        if (s.empty() || (s.front() != '<' && s.front() != '"')) continue;
        const char close = s.front() == '<' ? '>' : '"';
        const size_t end = s.find(close, 1);
        if (end == std::string_view::npos) continue;
        out.push_back(Include{number, close == '>', std::string(s.substr(1, end - 1))});
    }
    return out;
}

// The tree-relative path a "..." include names, or "" when it names nothing
// in the tree. Beside the including file first, then from the root.
std::string resolve(const fs::path& root, const std::string& from, const std::string& name) {
    for (const fs::path& base : {fs::path(from).parent_path(), fs::path()}) {
        const fs::path rel = (base / name).lexically_normal();
        if (rel.empty() || starts_with(rel.string(), "..")) continue;
        std::error_code ec;
        if (fs::is_regular_file(root / rel, ec)) return rel.generic_string();
    }
    return "";
}

std::string joined(const std::vector<std::string>& list) {
    std::string out;
    for (const std::string& item : list) out += (out.empty() ? "" : ", ") + item;
    return out;
}

void check_file(const fs::path& root, const std::string& file, const std::vector<Layer>& layers,
                std::vector<Violation>& out) {
    const Layer* layer = layer_of(file, layers);
    if (!layer) {
        out.push_back({file, 0, "lies in no layer's folder"});
        return;
    }
    for (const Include& inc : includes_of(root / file)) {
        if (inc.angle) {
            if (has(layer->toolkits, "any")) continue;
            const std::string toolkit = toolkit_of(inc.name);
            if (!toolkit.empty() && !has(layer->toolkits, toolkit))
                out.push_back(
                    {file, inc.line, "<" + inc.name + "> is " + toolkit + ", which " + layer->name + " may not use"});
            else if (toolkit.empty() && has(layer->toolkits, "c-only") && !is_standard(inc.name))
                out.push_back({file, inc.line,
                               "<" + inc.name + ">: " + layer->name + " includes only C and C++ standard headers"});
            continue;
        }
        const std::string target = resolve(root, file, inc.name);
        if (target.empty()) {
            if (fs::path(inc.name).extension() == ".moc") continue;  // made by moc in the build
            out.push_back({file, inc.line, "\"" + inc.name + "\" is no header of the tree"});
            continue;
        }
        const bool seen = std::any_of(layer->sees.begin(), layer->sees.end(),
                                      [&](const std::string& entry) { return under(target, entry); });
        if (!seen) {
            const Layer* other = layer_of(target, layers);
            out.push_back({file, inc.line,
                           "\"" + inc.name + "\" crosses from " + layer->name + " into " +
                               (other ? other->name : "no layer") + "; " + layer->name + " sees " +
                               joined(layer->sees)});
        }
    }
}

}  // namespace

std::optional<std::vector<Layer>> parse_layers(std::string_view text, std::string* error) {
    std::vector<Layer> out;
    int number = 0;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        std::vector<std::string> fields;
        size_t at = 0;
        for (size_t bar; (bar = line.find('|', at)) != std::string::npos; at = bar + 1)
            fields.push_back(line.substr(at, bar - at));
        fields.push_back(line.substr(at));
        Layer layer;
        if (fields.size() == 4) {
            const std::vector<std::string> name = words(fields[0]);
            if (name.size() == 1) layer.name = name[0];
            layer.folders = words(fields[1]);
            layer.sees = words(fields[2]);
            layer.toolkits = words(fields[3]);
        }
        if (layer.name.empty() || layer.folders.empty() || layer.sees.empty()) {
            *error = "layer table line " + std::to_string(number) + ": want name|folders|sees|toolkits";
            return std::nullopt;
        }
        out.push_back(std::move(layer));
    }
    if (out.empty()) {
        *error = "the layer table is empty";
        return std::nullopt;
    }
    return out;
}

std::string describe(const Violation& v) { return v.file + ":" + std::to_string(v.line) + ": " + v.message; }

std::string toolkit_of(std::string_view header) {
    if (header.size() > 1 && header[0] == 'Q' && ((header[1] >= 'A' && header[1] <= 'Z') || header[1] == 't'))
        return "qt";
    if (header == "curses.h" || header == "ncurses.h" || header == "term.h" || starts_with(header, "ncursesw/"))
        return "ncurses";
    if (header == "sqlite3.h") return "sqlite";
    if (starts_with(header, "toml++/")) return "toml";
    if (starts_with(header, "gtest/") || starts_with(header, "gmock/")) return "gtest";
    if (starts_with(header, "boost/")) return "boost";
    if (starts_with(header, "openssl/")) return "openssl";
    if (starts_with(header, "nlohmann/")) return "json";
    return "";
}

std::vector<Violation> check_tree(const fs::path& root, const std::vector<Layer>& layers) {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path& p = it->path();
        if (it->is_directory(ec)) {
            if (p.filename().string().front() == '.' || fs::exists(p / "CMakeCache.txt", ec))
                it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file(ec) && is_source(p)) files.push_back(p.lexically_relative(root).generic_string());
    }
    std::sort(files.begin(), files.end());
    std::vector<Violation> out;
    if (ec) out.push_back({root.string(), 0, "cannot walk the tree: " + ec.message()});
    for (const std::string& file : files) check_file(root, file, layers, out);
    return out;
}

}  // namespace orva::layers
