// Controller paths on the board: the root folder and the mounted folders.
#include "board/file_map.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/diagnostics.h"
#include "common/host_files.h"
#include "simulator/paths.h"
#include "simulator/text.h"

namespace orva::board {

namespace fs = std::filesystem;

std::optional<std::vector<std::string>> path_parts(std::string_view controller_path) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= controller_path.size()) {
        size_t j = controller_path.find_first_of("\\/", i);
        if (j == std::string_view::npos) j = controller_path.size();
        const std::string part(controller_path.substr(i, j - i));
        if (part == "..") {
            if (parts.empty()) return std::nullopt;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    return parts;
}

namespace {

std::string join(const std::vector<std::string>& parts, size_t from) {
    std::string out;
    for (size_t i = from; i < parts.size(); ++i) out += "\\" + parts[i];
    return out;
}

}  // namespace

FileMap::FileMap(fs::path root, std::vector<std::pair<std::string, fs::path>> mounts) : m_root(std::move(root)) {
    for (auto& [name, host] : mounts) {
        Mount m;
        m.parts = path_parts(name).value_or(std::vector<std::string>());
        if (m.parts.empty()) continue;
        m.spelling = join(m.parts, 0);
        m.host = std::move(host);
        m_mounts.push_back(std::move(m));
    }
    // The longest name first: "Windows\www" before "Windows".
    std::stable_sort(m_mounts.begin(), m_mounts.end(),
                     [](const Mount& a, const Mount& b) { return a.parts.size() > b.parts.size(); });
}

const FileMap::Mount* FileMap::mount_of(const std::vector<std::string>& parts) const {
    for (const Mount& m : m_mounts) {
        if (m.parts.size() > parts.size()) continue;
        bool match = true;
        for (size_t i = 0; match && i < m.parts.size(); ++i) match = sim::ascii_iequal(m.parts[i], parts[i]);
        if (match) return &m;
    }
    return nullptr;
}

ctl::ResolvedPath FileMap::resolve(std::string_view controller_path) const {
    auto parts = path_parts(controller_path);
    if (!parts) {
        ctl::ResolvedPath out;
        out.status = ctl::ResolvedPath::Status::Outside;
        return out;
    }
    if (const Mount* m = mount_of(*parts)) return sim::resolve_controller_path(m->host, join(*parts, m->parts.size()));
    return sim::resolve_controller_path(m_root, join(*parts, 0));
}

std::optional<std::string> FileMap::controller_path_of(const fs::path& host) const {
    const Mount* best = nullptr;
    std::optional<std::string> best_path;
    size_t best_depth = 0;
    for (const Mount& m : m_mounts) {
        auto below = ctl::controller_path_below(m.host, host);
        const size_t depth = std::distance(m.host.begin(), m.host.end());
        if (below && (!best || depth > best_depth)) {
            best = &m;
            best_path = *below == "\\" ? m.spelling : m.spelling + *below;
            best_depth = depth;
        }
    }
    if (best) return best_path;
    return ctl::controller_path_below(m_root, host);
}

bool FileMap::write_file(std::string_view controller_path, const std::string& text, std::string* error) const {
    auto parts = path_parts(controller_path);
    const Mount* m = parts ? mount_of(*parts) : nullptr;
    if (!m) return sim::write_controller_file(m_root, controller_path, text, error);
    const std::string rest = join(*parts, m->parts.size());
    if (sim::write_controller_file(m->host, rest, text, error)) return true;
    // The message names the path as the caller gave it.
    if (error && error->rfind(rest, 0) == 0) *error = std::string(controller_path) + error->substr(rest.size());
    return false;
}

void FileMap::make_mount_points() {
    for (Mount& m : m_mounts) {
        // Through the folders that are there, then as board.toml spells it.
        fs::path folder = m_root;
        for (const std::string& part : m.parts) {
            const ctl::ResolvedPath r = sim::resolve_controller_path(folder, part);
            folder = r.status == ctl::ResolvedPath::Status::Ok ? r.host : folder / part;
        }
        if (!files::exists(folder) && !files::make_folders(folder))
            report("warning: " + folder.string() + ": cannot be created: " + std::strerror(errno));
        if (auto spelled = ctl::controller_path_below(m_root, folder)) m.spelling = *spelled;
    }
}

}  // namespace orva::board
