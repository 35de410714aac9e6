// Walking the controller's fs/ for the open-file dialog: folders first, each
// group by name regardless of case.
#include "frontends/terminal/file_browser.h"

#include <algorithm>

#include "platform/controller_files.h"
#include "platform/text.h"

namespace orva::terminal {
namespace {

// What the operator is told about a folder that cannot be listed.
std::string reason(DWORD error) {
    switch (error) {
        case ERROR_PATH_NOT_FOUND:
            return "no such folder";
        case ERROR_ACCESS_DENIED:
            return "access denied";
        default:
            return "error " + std::to_string(error);
    }
}

}  // namespace

FileBrowser::FileBrowser(std::u16string pattern) : m_pattern(std::move(pattern)) {
    if (m_pattern.empty()) m_pattern = u"*.*";
    list();
}

std::u16string FileBrowser::folder_path() const {
    std::u16string out;
    for (auto& c : m_folder) out += u"\\" + c;
    return out.empty() ? u"\\" : out;
}

std::u16string FileBrowser::path_of(size_t index) const {
    std::u16string out;
    for (auto& c : m_folder) out += u"\\" + c;
    if (index < m_entries.size()) out += u"\\" + m_entries[index].name;
    return out;
}

bool FileBrowser::up() {
    if (m_folder.empty()) return false;
    m_folder.pop_back();
    list();
    return true;
}

bool FileBrowser::open(size_t index) {
    if (index >= m_entries.size() || !m_entries[index].folder) return false;
    if (m_entries[index].name == u"..") return up();
    m_folder.push_back(m_entries[index].name);
    list();
    if (!m_error.empty()) {
        // Stay where the operator was, with the reason shown.
        std::string why = m_error;
        m_folder.pop_back();
        list();
        m_error = why;
        return false;
    }
    return true;
}

void FileBrowser::list() {
    m_entries.clear();
    m_error.clear();
    const platform::FolderListing listing =
        platform::list_controller_folder(folder_path(), m_pattern, platform::ListFor::Dialog);
    if (!m_folder.empty()) m_entries.push_back(Entry{u"..", true});
    if (listing.error != ERROR_SUCCESS)
        m_error = "cannot open " + platform::to_utf8(folder_path()) + ": " + reason(listing.error);
    std::vector<Entry> folders, files;
    for (const platform::FolderEntry& e : listing.entries)
        (e.folder ? folders : files).push_back(Entry{e.name, e.folder});
    auto by_name = [](const Entry& a, const Entry& b) {
        return platform::fold_case(a.name) < platform::fold_case(b.name);
    };
    std::sort(folders.begin(), folders.end(), by_name);
    std::sort(files.begin(), files.end(), by_name);
    m_entries.insert(m_entries.end(), folders.begin(), folders.end());
    m_entries.insert(m_entries.end(), files.begin(), files.end());
}

}  // namespace orva::terminal
