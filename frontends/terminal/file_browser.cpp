// The terminal's rows of the open-file model.
#include "frontends/terminal/file_browser.h"

namespace orva::terminal {

using Choice = platform::OpenFileModel::Choice;

FileBrowser::FileBrowser(const platform::OpenFileRequest& request) : m_model(request) { rows(); }

void FileBrowser::rows() {
    m_entries.clear();
    if (!m_model.at_root()) m_entries.push_back(Entry{u"..", true});
    for (const auto& e : m_model.entries()) m_entries.push_back(Entry{e.name, e.folder});
}

std::u16string FileBrowser::folder_path() const { return m_model.folder().empty() ? u"\\" : m_model.folder(); }

std::u16string FileBrowser::path_of(size_t index) const {
    return index < m_entries.size() ? m_model.path_of(m_entries[index].name) : folder_path();
}

bool FileBrowser::up() {
    const bool moved = m_model.up();
    rows();
    return moved;
}

bool FileBrowser::open(size_t index) {
    if (index >= m_entries.size() || !m_entries[index].folder) return false;
    if (m_entries[index].name == u"..") return up();
    const bool opened = m_model.open_folder(path_of(index));
    rows();
    return opened;
}

Choice FileBrowser::activate(size_t index) {
    if (index < m_entries.size() && m_entries[index].folder) return open(index) ? Choice::Opened : Choice::Refused;
    const Choice choice = m_model.choose(index < m_entries.size() ? path_of(index) : u"");
    rows();
    return choice;
}

}  // namespace orva::terminal
