// Listing and walking the controller's fs/ for the open-file dialog.
#include "frontends/terminal/file_browser.h"

#include <algorithm>
#include <system_error>

#include "platform/text.h"

namespace orva::terminal {
namespace {

namespace fs = std::filesystem;

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

bool less_no_case(const std::u16string& a, const std::u16string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

// Whether `path` (after following links) still lies inside `root`.
bool inside(const fs::path& root, const fs::path& path) {
    std::error_code ec;
    fs::path real = fs::weakly_canonical(path, ec);
    if (ec) return false;
    auto r = root.begin(), p = real.begin();
    for (; r != root.end(); ++r, ++p)
        if (p == real.end() || *p != *r) return false;
    return true;
}

}  // namespace

bool matches_pattern(std::u16string_view name, std::u16string_view pattern) {
    if (pattern == u"*.*" || pattern == u"*") return true;
    if (pattern.empty()) return name.empty();
    if (pattern[0] == u'*') {
        for (size_t i = 0; i <= name.size(); ++i)
            if (matches_pattern(name.substr(i), pattern.substr(1))) return true;
        return false;
    }
    if (name.empty()) return false;
    if (pattern[0] != u'?' && fold(pattern[0]) != fold(name[0])) return false;
    return matches_pattern(name.substr(1), pattern.substr(1));
}

FileBrowser::FileBrowser(fs::path root, std::u16string pattern) : m_pattern(std::move(pattern)) {
    std::error_code ec;
    m_root = fs::weakly_canonical(root, ec);
    if (ec) m_root = root;
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
    fs::path dir = m_root;
    for (auto& c : m_folder) dir /= platform::to_utf8(c);
    if (!m_folder.empty()) m_entries.push_back(Entry{u"..", true});
    std::vector<Entry> folders, files;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        m_error = "cannot open " + platform::to_utf8(folder_path()) + ": " + ec.message();
        return;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            m_error = "cannot list " + platform::to_utf8(folder_path()) + ": " + ec.message();
            break;
        }
        std::u16string name = platform::to_utf16(it->path().filename().string());
        // A controller path cannot name a file whose name holds a backslash.
        if (name.find(u'\\') != std::u16string::npos) continue;
        if (!inside(m_root, it->path())) continue;
        std::error_code kind_ec;
        if (it->is_directory(kind_ec)) folders.push_back(Entry{name, true});
        else if (matches_pattern(name, m_pattern)) files.push_back(Entry{name, false});
    }
    auto by_name = [](const Entry& a, const Entry& b) { return less_no_case(a.name, b.name); };
    std::sort(folders.begin(), folders.end(), by_name);
    std::sort(files.begin(), files.end(), by_name);
    m_entries.insert(m_entries.end(), folders.begin(), folders.end());
    m_entries.insert(m_entries.end(), files.begin(), files.end());
}

}  // namespace orva::terminal
