// FindFirstFileW and FindClose on controller paths: the search runs inside
// the controller's fs/, case-insensitively, with the wildcards * and ? in the
// last component of the path.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "simulator/controller.h"

namespace orva::platform {
namespace {

namespace fs = std::filesystem;
using Status = orva::sim::ResolvedPath::Status;

// An open search. Only the first entry is handed out (the program asks for
// no more), but the object keeps the search open until FindClose.
class FindObject : public KernelObject {};

HANDLE fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

bool has_wildcard(std::u16string_view text) { return text.find_first_of(u"*?") != std::u16string_view::npos; }

// `*` matches any run of characters, `?` exactly one; ASCII letters match
// either case. "*.*" matches every name, with or without a dot, as on Windows.
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

FILETIME file_time(const struct timespec& ts) {
    // 100-nanosecond intervals since 1601-01-01.
    constexpr uint64_t kEpochDifference = 11644473600ULL;
    uint64_t t = (uint64_t(ts.tv_sec) + kEpochDifference) * 10000000ULL + uint64_t(ts.tv_nsec) / 100;
    return FILETIME{DWORD(t & 0xFFFFFFFFu), DWORD(t >> 32)};
}

// Fills `data` from the host file; false when it cannot be examined.
bool fill_find_data(const fs::path& host, std::u16string_view name, LPWIN32_FIND_DATAW data) {
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) return false;
    *data = WIN32_FIND_DATAW{};
    data->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (!S_ISDIR(st.st_mode)) {
        data->nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
        data->nFileSizeLow = DWORD(uint64_t(st.st_size) & 0xFFFFFFFFu);
    }
    data->ftCreationTime = file_time(st.st_ctim);
    data->ftLastAccessTime = file_time(st.st_atim);
    data->ftLastWriteTime = file_time(st.st_mtim);
    const size_t n = std::min(name.size(), size_t(MAX_PATH - 1));
    std::copy_n(name.begin(), n, data->cFileName);
    data->cFileName[n] = 0;
    return true;
}

// Whether `p` lies inside `root` once symbolic links are followed.
bool inside(const fs::path& root, const fs::path& p) {
    std::error_code ec;
    const fs::path r = fs::weakly_canonical(root, ec);
    if (ec) return false;
    const fs::path c = fs::weakly_canonical(p, ec);
    if (ec) return false;
    auto [ri, ci] = std::mismatch(r.begin(), r.end(), c.begin(), c.end());
    return ri == r.end();
}

HANDLE found(const fs::path& host, std::u16string_view name, LPWIN32_FIND_DATAW data) {
    if (!fill_find_data(host, name, data)) return fail(error_from_errno(errno));
    SetLastError(ERROR_SUCCESS);
    return add_handle(std::make_unique<FindObject>());
}

}  // namespace
}  // namespace orva::platform

using namespace orva::platform;

// The first entry that matches `pattern`, a controller path whose last
// component may hold * and ?. Errors through GetLastError:
// ERROR_FILE_NOT_FOUND when the folder exists and nothing in it matches (or
// the path ends with a separator), ERROR_PATH_NOT_FOUND when the folder does
// not exist, ERROR_INVALID_NAME for a wildcard in a folder component, and
// ERROR_ACCESS_DENIED for a path that ".." or a symbolic link would take out
// of the controller's file system. As on Windows CE, a search never yields
// the "." and ".." entries of a folder; a named file passes as well as a
// folder.
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    if (!data) return fail(ERROR_INVALID_PARAMETER);
    auto* controller = orva::sim::current();
    if (!controller) return fail(ERROR_PATH_NOT_FOUND);
    const std::u16string_view path = wide_view(pattern);
    size_t cut = path.size();
    while (cut > 0 && !is_separator(path[cut - 1])) --cut;
    const std::u16string_view folder = path.substr(0, cut);
    const std::u16string_view last = path.substr(cut);
    if (has_wildcard(folder)) return fail(ERROR_INVALID_NAME);

    if (last.empty() || !has_wildcard(last)) {
        orva::sim::ResolvedPath resolved = controller->resolve_path(to_utf8(last.empty() ? folder : path));
        if (resolved.status == Status::Outside) return fail(ERROR_ACCESS_DENIED);
        if (resolved.status == Status::ParentMissing) return fail(ERROR_PATH_NOT_FOUND);
        if (last.empty()) return fail(resolved.exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        if (!resolved.exists) return fail(ERROR_FILE_NOT_FOUND);
        if (!inside(controller->fs_root(), resolved.host)) return fail(ERROR_ACCESS_DENIED);
        const bool dots = last == u"." || last == u"..";
        const std::u16string name = dots ? std::u16string(last) : to_utf16(resolved.host.filename().string());
        return found(resolved.host, name, data);
    }

    orva::sim::ResolvedPath dir = controller->resolve_path(to_utf8(folder));
    if (dir.status == Status::Outside) return fail(ERROR_ACCESS_DENIED);
    std::error_code ec;
    if (dir.status != Status::Ok || !dir.exists || !fs::is_directory(dir.host, ec)) return fail(ERROR_PATH_NOT_FOUND);
    const fs::path root = controller->fs_root();
    if (!inside(root, dir.host)) return fail(ERROR_ACCESS_DENIED);
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir.host, ec)) names.push_back(e.path().filename().string());
    if (ec) return fail(error_from_errno(ec.value()));
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::u16string wide = to_utf16(name);
        if (!wildcard_match(last, wide)) continue;
        const fs::path host = dir.host / name;
        if (!inside(root, host)) continue;  // a link out of fs/ is not an entry of the controller
        return found(host, wide, data);
    }
    return fail(ERROR_FILE_NOT_FOUND);
}

BOOL FindClose(HANDLE find) {
    if (!find_handle_as<FindObject>(find) || !remove_handle(find)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
