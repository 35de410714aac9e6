// Browsing, choosing and uploading in the web frontend's open-file dialog.
#include "frontends/web/file_dialog.h"

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
    : m_seq(seq), m_limit(upload_limit), m_model(request) {}

FileDialog::Outcome FileDialog::apply(const json& action) {
    auto seq = action.find("seq");
    auto what = action.find("do");
    if (seq == action.end() || !seq->is_number_unsigned() || seq->get<uint64_t>() != m_seq || what == action.end() ||
        !what->is_string())
        return Outcome::Open;
    const std::string verb = *what;
    if (verb == "cancel") return Outcome::Cancelled;
    if (m_model.folder().empty()) return Outcome::Open;
    m_notice.clear();
    if (verb == "open") {
        m_model.open_folder(text_of(action, "path"));
    } else if (verb == "up") {
        m_model.up();
    } else if (verb == "choose") {
        if (m_model.choose(text_of(action, "name")) == platform::OpenFileModel::Choice::Chosen) return Outcome::Chosen;
    }
    return Outcome::Open;
}

UploadAnswer FileDialog::land(Input& upload) {
    if (upload.dialog != m_seq || m_model.folder().empty() || !upload.file)
        return refusal_answer({409, "The open-file dialog it was meant for is closed."});
    const std::u16string name = platform::to_utf16(upload.name);
    const ControllerFile file = platform::resolve_controller_path(m_model.path_of(name));
    if (file.status == ControllerFile::Status::Outside)
        return refusal_answer({403, "That name leads out of the controller's files."});
    if (file.status != ControllerFile::Status::Found && file.status != ControllerFile::Status::Missing)
        return refusal_answer({409, "The folder " + utf8(m_model.folder()) + " is gone."});
    if (file.folder) return refusal_answer({409, "A folder of that name is there: " + upload.name});
    Refusal refusal;
    if (!upload.file->land(file.host.parent_path(), file.host.filename().string(), &refusal))
        return refusal_answer(refusal);
    const uint64_t size = upload.file->written();
    m_model.refresh();
    const std::u16string landed = file.path.substr(file.path.rfind(u'\\') + 1);
    m_model.set_name(landed);
    m_notice = utf8(landed) + " uploaded (" + std::to_string(size) + " bytes).";
    return UploadAnswer{200, json{{"ok", true}, {"name", utf8(landed)}, {"path", utf8(file.path)}}.dump()};
}

json FileDialog::view() const {
    json entries = json::array();
    for (const platform::OpenFileModel::Entry& e : m_model.entries())
        entries.push_back(json{{"name", utf8(e.name)}, {"folder", e.folder}});
    return json{{"seq", m_seq},
                {"folder", utf8(m_model.folder())},
                {"entries", std::move(entries)},
                {"filter", utf8(m_model.filter_name())},
                {"name", utf8(m_model.name())},
                {"error", m_model.message()},
                {"notice", m_notice},
                {"limit", m_limit}};
}

std::optional<UploadFolder> FileDialog::upload_folder() const {
    if (m_model.folder().empty()) return std::nullopt;
    const ControllerFile dir = platform::resolve_controller_path(m_model.folder());
    const ControllerFile root = platform::resolve_controller_path(u"\\");
    if (dir.status != ControllerFile::Status::Found || !dir.folder || root.status != ControllerFile::Status::Found)
        return std::nullopt;
    return UploadFolder{m_seq, utf8(m_model.folder()), dir.host, root.host, m_limit};
}

}  // namespace orva::web
