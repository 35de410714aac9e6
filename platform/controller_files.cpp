// The controller's file system for the platform and the frontends: paths
// resolved and files written by the controller, folders listed with wildcard
// patterns.
#include "platform/controller_files.h"

#include <algorithm>

#include "common/host_files.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "controller/controller.h"

namespace orva::platform {

ControllerFile resolve_controller_path(std::u16string_view path) {
    ControllerFile out;
    ctl::Controller* controller = ctl::current();
    if (!controller) return out;
    const ctl::ResolvedPath resolved = controller->resolve_path(to_utf8(path));
    using S = ctl::ResolvedPath::Status;
    if (resolved.status == S::Outside) {
        out.status = ControllerFile::Status::Outside;
        return out;
    }
    if (resolved.status == S::ParentMissing) {
        out.status = ControllerFile::Status::ParentMissing;
        return out;
    }
    out.status = resolved.exists ? ControllerFile::Status::Found : ControllerFile::Status::Missing;
    out.host = resolved.host;
    out.path = platform::to_utf16(controller->controller_path_of(resolved.host).value_or("\\"));
    out.folder = resolved.exists && files::is_directory(resolved.host);
    return out;
}

DWORD path_error(const ControllerFile& file) {
    switch (file.status) {
        case ControllerFile::Status::Found:
            return ERROR_SUCCESS;
        case ControllerFile::Status::Missing:
            return ERROR_FILE_NOT_FOUND;
        case ControllerFile::Status::Outside:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_PATH_NOT_FOUND;
    }
}

bool wildcard_match(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*.*") pattern = u"*";
    const std::u16string p = fold_case(pattern);
    const std::u16string n = fold_case(name);
    size_t pi = 0, ni = 0, star = std::u16string::npos, resume = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            resume = ni;
        } else if (star != std::u16string::npos) {
            pi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*') ++pi;
    return pi == p.size();
}

FolderListing list_controller_folder(std::u16string_view folder, std::u16string_view pattern, ListFor purpose) {
    FolderListing out;
    const ControllerFile dir = resolve_controller_path(folder);
    if (dir.status != ControllerFile::Status::Found || !dir.folder) {
        out.error = dir.status == ControllerFile::Status::Outside ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
        return out;
    }
    out.path = dir.path;

    std::vector<std::u16string> patterns;
    if (purpose == ListFor::Dialog) {
        for (size_t at = 0; at <= pattern.size();) {
            size_t cut = std::min(pattern.find(u';', at), pattern.size());
            if (cut > at) patterns.emplace_back(pattern.substr(at, cut - at));
            at = cut + 1;
        }
        if (patterns.empty()) patterns.emplace_back(u"*");
    } else {
        patterns.emplace_back(pattern);
    }

    std::vector<std::string> names;
    if (!files::list(dir.host, &names)) out.error = error_from_errno(errno);
    std::sort(names.begin(), names.end());

    const std::u16string prefix = dir.path == u"\\" ? u"\\" : dir.path + u"\\";
    for (const std::string& host_name : names) {
        const std::u16string name = to_utf16(host_name);
        // A backslash in a Linux name would split the controller path.
        if (name.find(u'\\') != std::u16string::npos) continue;
        const ControllerFile entry = resolve_controller_path(prefix + name);
        if (entry.status != ControllerFile::Status::Found || entry.path != prefix + name) continue;
        const bool listed = (purpose == ListFor::Dialog && entry.folder) ||
                            std::any_of(patterns.begin(), patterns.end(),
                                        [&](const std::u16string& p) { return wildcard_match(p, name); });
        if (listed) out.entries.push_back(FolderEntry{name, entry.folder, entry.host});
    }
    return out;
}

DWORD place_controller_file(std::u16string_view path, std::string_view bytes) {
    const ControllerFile file = resolve_controller_path(path);
    if (file.status != ControllerFile::Status::Found && file.status != ControllerFile::Status::Missing)
        return path_error(file);
    if (file.folder) return ERROR_ACCESS_DENIED;
    std::string error;
    if (!ctl::current()->write_file(to_utf8(file.path), std::string(bytes), &error)) return ERROR_WRITE_FAULT;
    return ERROR_SUCCESS;
}

}  // namespace orva::platform
