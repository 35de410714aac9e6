// FindFirstFileW and FindClose on controller paths: the search runs inside
// the controller's fs/, case-insensitively, with the wildcards * and ? in the
// last component of the path.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "common/syscalls.h"
#include "platform/controller_files.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/text.h"

namespace orva::platform {
namespace {

namespace fs = std::filesystem;

// An open search. Only the first entry is handed out (the program asks for
// no more), but the object keeps the search open until FindClose.
class FindObject : public KernelObject {};

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

bool has_wildcard(std::u16string_view text) { return text.find_first_of(u"*?") != std::u16string_view::npos; }

FILETIME file_time(const struct timespec& ts) {
    // 100-nanosecond intervals since 1601-01-01.
    constexpr uint64_t kEpochDifference = 11644473600ULL;
    uint64_t t = (uint64_t(ts.tv_sec) + kEpochDifference) * 10000000ULL + uint64_t(ts.tv_nsec) / 100;
    return FILETIME{DWORD(t & 0xFFFFFFFFu), DWORD(t >> 32)};
}

// Fills `data` from the host file; false when it cannot be examined.
bool fill_find_data(const fs::path& host, std::u16string_view name, LPWIN32_FIND_DATAW data) {
    struct stat st {};
    if (sys::stat(host.c_str(), &st) != 0) return false;
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

HANDLE found(const fs::path& host, std::u16string_view name, LPWIN32_FIND_DATAW data) {
    if (!fill_find_data(host, name, data)) return fail_handle(error_from_errno(errno));
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
    if (!data) return fail_handle(ERROR_INVALID_PARAMETER);
    const std::u16string_view path = wide_view(pattern);
    size_t cut = path.size();
    while (cut > 0 && !is_separator(path[cut - 1])) --cut;
    const std::u16string_view folder = path.substr(0, cut);
    const std::u16string_view last = path.substr(cut);
    if (has_wildcard(folder)) return fail_handle(ERROR_INVALID_NAME);

    if (last.empty()) {
        // A folder named with a separator at its end: nothing in it is named.
        const ControllerFile dir = resolve_controller_path(folder);
        const DWORD error = path_error(dir);
        return fail_handle(error == ERROR_SUCCESS          ? ERROR_FILE_NOT_FOUND
                           : error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND
                                                           : error);
    }
    if (!has_wildcard(last)) {
        const ControllerFile file = resolve_controller_path(path);
        if (DWORD error = path_error(file)) return fail_handle(error);
        const bool dots = last == u"." || last == u"..";
        const std::u16string name = dots ? std::u16string(last) : file.path.substr(file.path.rfind(u'\\') + 1);
        return found(file.host, name, data);
    }
    const FolderListing listing = list_controller_folder(folder, last, ListFor::Search);
    if (!listing.entries.empty()) return found(listing.entries.front().host, listing.entries.front().name, data);
    return fail_handle(listing.error != ERROR_SUCCESS ? listing.error : ERROR_FILE_NOT_FOUND);
}

BOOL FindClose(HANDLE find) {
    if (!find_handle_as<FindObject>(find) || !remove_handle(find)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
