// Browsing, choosing and uploading in the web frontend's open-file dialog.
#include "frontends/web/file_dialog.h"

#include <algorithm>

#include "platform/text.h"

namespace orva::web {
namespace {

using nlohmann::json;
using platform::ControllerFile;

std::string utf8(std::u16string_view text) { return platform::to_utf8(text); }

std::u16string text_of(const json& action, const char* key) {
    auto it = action.find(key);
    if (it == action.end() || !it->is_string()) return u"";
    return platform::to_utf16(it->get<std::string>());
}

UploadAnswer refusal_answer(const Refusal& r) {
    return UploadAnswer{r.status, json{{"error", "upload"}, {"message", r.message}}.dump()};
}

}  // namespace

FileDialog::FileDialog(const platform::OpenFileRequest& request, uint64_t seq, uint64_t upload_limit)
    : m_seq(seq),
      m_limit(upload_limit),
      m_capacity(request.capacity),
      m_filter_name(request.filter_name),
      m_pattern(request.filter_pattern) {
    if (m_filter_name.empty()) m_filter_name = u"All Documents (*.*)";
    if (m_pattern.empty()) m_pattern = u"*.*";
    const size_t cut = request.initial_path.rfind(u'\\');
    if (cut != std::u16string::npos && cut > 0 && open_folder(request.initial_path.substr(0, cut))) return;
    if (!open_folder(u"\\")) m_error = "The controller's files cannot be listed.";
}

std::u16string FileDialog::child(const std::u16string& name) const {
    return m_folder == u"\\" ? u"\\" + name : m_folder + u"\\" + name;
}

bool FileDialog::open_folder(const std::u16string& folder) {
    platform::FolderListing listing = platform::list_controller_folder(folder, m_pattern, platform::ListFor::Dialog);
    if (listing.path.empty()) return false;
    // Folders first, each group by name regardless of case.
    std::stable_sort(listing.entries.begin(), listing.entries.end(),
                     [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
                         if (a.folder != b.folder) return a.folder;
                         return platform::fold_case(a.name) < platform::fold_case(b.name);
                     });
    m_folder = listing.path;
    m_entries = std::move(listing.entries);
    m_error.clear();
    return true;
}

// A typed name may be a bare name, a path below the folder shown, or a
// controller path starting with "\"; it must name an existing file of the
// controller. A folder is opened instead.
void FileDialog::choose(const std::u16string& typed_text) {
    std::u16string typed = typed_text;
    while (!typed.empty() && typed.back() == u' ') typed.pop_back();
    while (!typed.empty() && typed.front() == u' ') typed.erase(typed.begin());
    m_name = typed;
    m_notice.clear();
    if (typed.empty()) {
        m_error = "Choose a file.";
        return;
    }
    const std::u16string path = typed[0] == u'\\' || typed[0] == u'/' ? typed : child(typed);
    const ControllerFile file = platform::resolve_controller_path(path);
    if (file.status == ControllerFile::Status::Outside) {
        m_error = "Only files of the controller can be opened.";
        return;
    }
    if (file.status != ControllerFile::Status::Found) {
        m_error = utf8(typed) + ": no such file.";
        return;
    }
    if (file.folder) {
        if (!open_folder(file.path)) m_error = utf8(file.path) + ": this folder cannot be opened.";
        m_name.clear();
        return;
    }
    if (file.path.size() + 1 > m_capacity) {
        m_error = "The path is longer than the program takes.";
        return;
    }
    m_chosen = file.path;
}

FileDialog::Outcome FileDialog::apply(const json& action) {
    auto seq = action.find("seq");
    auto what = action.find("do");
    if (seq == action.end() || !seq->is_number_unsigned() || seq->get<uint64_t>() != m_seq || what == action.end() ||
        !what->is_string())
        return Outcome::Open;
    const std::string verb = *what;
    if (verb == "cancel") return Outcome::Cancelled;
    if (m_folder.empty()) return Outcome::Open;
    m_notice.clear();
    if (verb == "open") {
        const std::u16string path = text_of(action, "path");
        const ControllerFile dir = platform::resolve_controller_path(path);
        if (dir.status != ControllerFile::Status::Found || !dir.folder || !open_folder(dir.path))
            m_error = utf8(path) + ": this folder cannot be opened.";
        m_name.clear();
    } else if (verb == "up") {
        const size_t cut = m_folder.rfind(u'\\');
        if (m_folder != u"\\") open_folder(cut > 0 ? m_folder.substr(0, cut) : u"\\");
        m_name.clear();
    } else if (verb == "choose") {
        choose(text_of(action, "name"));
        if (!m_chosen.empty()) return Outcome::Chosen;
    }
    return Outcome::Open;
}

UploadAnswer FileDialog::land(Input& upload) {
    if (upload.dialog != m_seq || m_folder.empty() || !upload.file)
        return refusal_answer({409, "The open-file dialog it was meant for is closed."});
    const std::u16string name = platform::to_utf16(upload.name);
    const ControllerFile file = platform::resolve_controller_path(child(name));
    if (file.status == ControllerFile::Status::Outside)
        return refusal_answer({403, "That name leads out of the controller's files."});
    if (file.status != ControllerFile::Status::Found && file.status != ControllerFile::Status::Missing)
        return refusal_answer({409, "The folder " + utf8(m_folder) + " is gone."});
    if (file.folder) return refusal_answer({409, "A folder of that name is there: " + upload.name});
    Refusal refusal;
    if (!upload.file->land(file.host.parent_path(), file.host.filename().string(), &refusal))
        return refusal_answer(refusal);
    const uint64_t size = upload.file->written();
    open_folder(m_folder);
    const size_t cut = file.path.rfind(u'\\');
    m_name = file.path.substr(cut + 1);
    m_error.clear();
    m_notice = utf8(m_name) + " uploaded (" + std::to_string(size) + " bytes).";
    return UploadAnswer{200, json{{"ok", true}, {"name", utf8(m_name)}, {"path", utf8(file.path)}}.dump()};
}

json FileDialog::view() const {
    json entries = json::array();
    for (const platform::FolderEntry& e : m_entries)
        entries.push_back(json{{"name", utf8(e.name)}, {"folder", e.folder}});
    return json{{"seq", m_seq},
                {"folder", utf8(m_folder)},
                {"entries", std::move(entries)},
                {"filter", utf8(m_filter_name)},
                {"name", utf8(m_name)},
                {"error", m_error},
                {"notice", m_notice},
                {"limit", m_limit}};
}

std::optional<UploadFolder> FileDialog::upload_folder() const {
    if (m_folder.empty()) return std::nullopt;
    const ControllerFile dir = platform::resolve_controller_path(m_folder);
    const ControllerFile root = platform::resolve_controller_path(u"\\");
    if (dir.status != ControllerFile::Status::Found || !dir.folder || root.status != ControllerFile::Status::Found)
        return std::nullopt;
    return UploadFolder{m_seq, utf8(m_folder), dir.host, root.host, m_limit};
}

}  // namespace orva::web
