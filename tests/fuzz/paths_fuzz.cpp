// Controller paths: whatever the path, what it resolves to lies inside fs/,
// symbolic links followed: an existing file or folder wholly, else the folder
// it would be made in (a dangling link in the file's own place is replaced by
// a write, never followed).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "simulator/paths.h"

namespace fs = std::filesystem;

namespace {

// base/fs, the controller's file system, with links that lead inside, out
// of it, and nowhere; base/outside beside it.
struct Tree {
    fs::path base, root;
    Tree() {
        std::string tmpl = (fs::temp_directory_path() / "orva-paths-fuzz-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        base = fs::canonical(tmpl);
        root = base / "fs";
        fs::create_directories(base / "outside" / "deeper");
        std::ofstream(base / "outside" / "secret") << "x";
        for (const char* d : {"Temp", "temp", "Windows", "Windows/www", "Storage Card"})
            fs::create_directories(root / d);
        std::ofstream(root / "Windows" / "RegView.exe") << "x";
        fs::create_directory_symlink("../outside", root / "Out");
        fs::create_directory_symlink("..", root / "Up");
        fs::create_directory_symlink(".", root / "Self");
        fs::create_directory_symlink("Windows", root / "In");
        fs::create_symlink("Loop", root / "Loop");
        fs::create_symlink("nowhere", root / "Dangling");
        fs::create_symlink("../../outside/new.txt", root / "Temp" / "away");
        fs::create_symlink(base / "outside" / "new2", root / "Temp" / "abs_away");
        fs::create_symlink(base / "outside" / "secret", root / "Windows" / "secret");
        fs::create_symlink("../Temp/away", root / "Windows" / "chain");
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
};

// Where `p` leads: itself made canonical when it exists (links followed),
// else the canonical folder it would be made in, with its name.
fs::path lands_at(const fs::path& p, bool exists) {
    std::error_code ec;
    fs::path at = exists ? fs::canonical(p, ec) : fs::weakly_canonical(p.parent_path(), ec) / p.filename();
    return ec ? fs::path() : at;
}

bool inside(const fs::path& root, const fs::path& p) {
    auto r = root.begin();
    auto q = p.begin();
    for (; r != root.end(); ++r, ++q)
        if (q == p.end() || *q != *r) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Tree tree;
    const std::string path(reinterpret_cast<const char*>(data), size);
    const orva::sim::ResolvedPath r = orva::sim::resolve_controller_path(tree.root, path);
    if (r.status != orva::sim::ResolvedPath::Status::Ok) return 0;
    const fs::path at = lands_at(r.host, r.exists);
    if (at.empty() || !inside(tree.root, at)) {
        std::fprintf(stderr, "paths_fuzz: \"%s\" resolves to %s, which leads to %s outside %s\n", path.c_str(),
                     r.host.c_str(), at.c_str(), tree.root.c_str());
        std::abort();
    }
    return 0;
}
