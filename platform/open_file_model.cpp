// The open-file dialog's folder, choice and messages.
#include "platform/open_file_model.h"

#include <algorithm>

#include "platform/text.h"

namespace orva::platform {

std::string file_name_problem(std::u16string_view name) {
    const std::string shown = to_utf8(name);
    if (name.empty()) return "A file needs a name.";
    if (name.find_first_not_of(u' ') == std::u16string_view::npos) return "A name of only spaces names no file.";
    if (name == u"." || name == u"..") return "\"" + shown + "\" names a folder, not a file.";
    for (char16_t c : name)
        if (c < 0x20 || c == 0x7F || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos)
            return shown + ": a file name holds none of \\ / : * ? \" < > | and no control character.";
    if (name.back() == u' ' || name.back() == u'.') return shown + ": a file name ends with neither a space nor a dot.";
    if (shown.size() > 255) return "This file name is longer than 255 bytes.";
    return "";
}

OpenFileModel::OpenFileModel(const OpenFileRequest& request)
    : m_filter_name(request.filter_name), m_pattern(request.filter_pattern), m_capacity(request.capacity) {
    if (m_filter_name.empty()) m_filter_name = m_pattern.empty() ? u"All Documents (*.*)" : m_pattern;
    if (m_pattern.empty()) m_pattern = u"*.*";
    const size_t cut = request.initial_path.rfind(u'\\');
    if (cut != std::u16string::npos && cut > 0 && list(request.initial_path.substr(0, cut))) return;
    if (!list(u"\\")) m_message = "The controller's files cannot be listed.";
}

bool OpenFileModel::list(std::u16string_view path) {
    FolderListing listing = list_controller_folder(path, m_pattern, ListFor::Dialog);
    if (listing.path.empty() || listing.error != ERROR_SUCCESS) return false;
    std::stable_sort(listing.entries.begin(), listing.entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        if (a.folder != b.folder) return a.folder;
        return fold_case(a.name) < fold_case(b.name);
    });
    m_folder = std::move(listing.path);
    m_entries.clear();
    for (FolderEntry& e : listing.entries) m_entries.push_back(Entry{std::move(e.name), e.folder});
    return true;
}

std::u16string OpenFileModel::path_of(std::u16string_view name) const {
    return (at_root() ? u"\\" : m_folder + u"\\") + std::u16string(name);
}

bool OpenFileModel::open_folder(std::u16string_view path) {
    m_name.clear();
    if (list(path)) {
        m_message.clear();
        return true;
    }
    m_message = to_utf8(path) + ": this folder cannot be opened.";
    return false;
}

bool OpenFileModel::up() {
    if (at_root()) return false;
    const size_t cut = m_folder.rfind(u'\\');
    return open_folder(cut > 0 ? std::u16string_view(m_folder).substr(0, cut) : u"\\");
}

void OpenFileModel::refresh() {
    if (!m_folder.empty()) list(std::u16string(m_folder));
}

void OpenFileModel::set_name(std::u16string_view name) {
    m_name = name;
    m_message.clear();
}

OpenFileModel::Choice OpenFileModel::choose(std::u16string_view typed) {
    while (!typed.empty() && typed.back() == u' ') typed.remove_suffix(1);
    while (!typed.empty() && typed.front() == u' ') typed.remove_prefix(1);
    m_name = typed;
    auto refuse = [this](std::string message) {
        m_message = std::move(message);
        return Choice::Refused;
    };
    if (typed.empty()) return refuse("Choose a file.");
    const std::u16string_view last = typed.substr(typed.find_last_of(u"\\/") + 1);
    if (!last.empty() && last != u"." && last != u"..") {
        std::string problem = file_name_problem(last);
        if (!problem.empty()) return refuse(std::move(problem));
    }
    const ControllerFile file =
        resolve_controller_path(typed[0] == u'\\' || typed[0] == u'/' ? std::u16string(typed) : path_of(typed));
    if (file.status == ControllerFile::Status::Outside) return refuse("Only files of the controller can be opened.");
    if (file.status != ControllerFile::Status::Found) return refuse(to_utf8(typed) + ": no such file.");
    if (file.folder) return open_folder(file.path) ? Choice::Opened : Choice::Refused;
    if (!fits(file.path)) return Choice::Refused;
    m_message.clear();
    m_chosen = file.path;
    return Choice::Chosen;
}

bool OpenFileModel::fits(std::u16string_view path) {
    if (!m_capacity || path.size() + 1 <= m_capacity) return true;
    m_message = "This path is longer than the program takes (" + std::to_string(m_capacity - 1) + " characters).";
    return false;
}

}  // namespace orva::platform
