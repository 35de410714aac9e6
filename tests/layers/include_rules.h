// The layer table (build/layers.txt, written by cmake/layers.cmake from the
// one table of who may include whom) and the check of every #include of a
// tree against it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::layers {

struct Layer {
    std::string name;
    std::vector<std::string> folders;   // the folders its files are in
    std::vector<std::string> sees;      // headers and folders it may include; "." is the whole tree
    std::vector<std::string> toolkits;  // qt, ncurses, sqlite, toml, gtest; "any"; "c-only"
};

// One layer a line: "name|folders|sees|toolkits", each list space separated.
// nullopt and a message naming the line when a line is malformed.
std::optional<std::vector<Layer>> parse_layers(std::string_view text, std::string* error);

struct Violation {
    std::string file;  // relative to the tree's root
    int line = 0;      // 0 for the file as a whole
    std::string message;
};

// "file:line: message".
std::string describe(const Violation& v);

// The toolkit an <...> header belongs to ("qt", "ncurses", "sqlite", "toml",
// "gtest"), or "" for a system or standard header.
std::string toolkit_of(std::string_view header);

// Checks every C and C++ file below `root` (dot folders and build trees,
// folders that hold a CMakeCache.txt, are left out): the file must lie in a
// layer's folder (the longest one that holds it); a "..." include must name
// a header of the tree (beside the file or from the root; generated .moc
// files excepted) that its layer sees; a <...> include must be of a toolkit
// the layer may use, and only a C or C++ standard header for "c-only".
std::vector<Violation> check_tree(const std::filesystem::path& root, const std::vector<Layer>& layers);

}  // namespace orva::layers
