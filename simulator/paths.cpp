// Case-insensitive resolution of controller paths inside fs/.
#include "simulator/paths.h"

#include <string>
#include <system_error>
#include <vector>

#include "simulator/text.h"

namespace orva::sim {

namespace fs = std::filesystem;

namespace {

// Whether `p` (made canonical) lies within `root` (already canonical).
bool within(const fs::path& root, const fs::path& p) {
    std::error_code ec;
    fs::path c = fs::weakly_canonical(p, ec);
    if (ec) return false;
    auto r = root.begin();
    auto q = c.begin();
    for (; r != root.end(); ++r, ++q)
        if (q == c.end() || *q != *r) return false;
    return true;
}

}  // namespace

ResolvedPath resolve_controller_path(const fs::path& fs_root, std::string_view controller_path) {
    ResolvedPath out;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= controller_path.size()) {
        size_t j = controller_path.find_first_of("\\/", i);
        if (j == std::string_view::npos) j = controller_path.size();
        std::string part(controller_path.substr(i, j - i));
        if (part == "..") {
            if (parts.empty()) {
                out.status = ResolvedPath::Status::Outside;
                return out;
            }
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(fs_root, ec);
    fs::path host = fs_root;
    bool exists = true;
    for (size_t k = 0; k < parts.size(); ++k) {
        const bool last = k + 1 == parts.size();
        if (!fs::is_directory(host, ec)) {
            out.status = ResolvedPath::Status::ParentMissing;
            return out;
        }
        std::string match;
        if (fs::symlink_status(host / parts[k], ec).type() != fs::file_type::not_found) {
            match = parts[k];
        } else {
            for (const fs::directory_entry& e : fs::directory_iterator(host, ec)) {
                std::string name = e.path().filename().string();
                if (ascii_iequal(name, parts[k])) {
                    match = name;
                    break;
                }
            }
        }
        if (match.empty()) {
            if (!last) {
                out.status = ResolvedPath::Status::ParentMissing;
                return out;
            }
            match = parts[k];
            exists = false;
        }
        host /= match;
        if (exists && !within(root, host)) {
            out.status = ResolvedPath::Status::Outside;
            return out;
        }
    }
    out.host = host;
    out.exists = exists && fs::exists(host, ec);
    return out;
}

}  // namespace orva::sim
