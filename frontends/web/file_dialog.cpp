// Browsing, choosing and uploading in the web frontend's open-file dialog.
#include "frontends/web/file_dialog.h"

#include <sys/stat.h>

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

std::u16string last_name(const std::u16string& path) { return path.substr(path.rfind(u'\\') + 1); }

std::u16string folder_of(const std::u16string& path) {
    const size_t cut = path.rfind(u'\\');
    return cut == 0 || cut == std::u16string::npos ? u"\\" : path.substr(0, cut);
}

// Whether controller path `other` leads to the file `path` names (as
// resolve_controller_path gives it).
bool same_file(std::u16string_view other, const std::u16string& path) {
    const ControllerFile f = platform::resolve_controller_path(other);
    return f.status == ControllerFile::Status::Found && !f.folder && f.path == path;
}

// The auto-run list: the values Launch0 to Launch99 of HKEY_LOCAL_MACHINE\Init
// (the system's own below 80, the operator's rows from 80); a bare name is
// a program of \Windows.
constexpr int kLaunchValues = 100;

}  // namespace

std::optional<std::string> program_file_role(const std::u16string& path) {
    const std::string name = utf8(last_name(path));
    if (same_file(u"\\Windows\\RegView.exe", path)) return name + " is the registry viewer that View Registry starts.";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Init", 0, 0, &key) != ERROR_SUCCESS) return std::nullopt;
    std::optional<std::string> role;
    for (int n = 0; n < kLaunchValues && !role; ++n) {
        const std::u16string value = u"Launch" + platform::to_utf16(std::to_string(n));
        char16_t text[256] = {};
        DWORD type = 0, size = sizeof text - sizeof(char16_t);
        if (RegQueryValueExW(key, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            continue;
        std::u16string_view program(text);
        while (!program.empty() && program.back() == u' ') program.remove_suffix(1);
        while (!program.empty() && program.front() == u' ') program.remove_prefix(1);
        const bool bare = program.find_first_of(u"\\/") == std::u16string_view::npos;
        if (!program.empty() &&
            same_file(bare ? u"\\Windows\\" + std::u16string(program) : std::u16string(program), path))
            role = name + " is a program the auto-run list starts (" + utf8(value) + ").";
    }
    RegCloseKey(key);
    return role;
}

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
    if (m_held) {
        // The box is modal: its answer, or nothing.
        auto ask = action.find("ask");
        auto answer = action.find("answer");
        if (verb == "replace" && ask != action.end() && *ask == m_held->ask && answer != action.end() &&
            (*answer == "yes" || *answer == "no"))
            answer_replace(*answer == "yes");
        return Outcome::Open;
    }
    if (m_model.folder().empty()) return Outcome::Open;
    m_notice.clear();
    m_failed = false;
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
    if (m_held) return refusal_answer({409, "Answer the question about " + m_held->host_name + " first."});
    const std::u16string name = platform::to_utf16(upload.name);
    const ControllerFile file = platform::resolve_controller_path(m_model.path_of(name));
    if (file.status == ControllerFile::Status::Outside)
        return refusal_answer({403, "That name leads out of the controller's files."});
    if (file.status != ControllerFile::Status::Found && file.status != ControllerFile::Status::Missing)
        return refusal_answer({409, "The folder " + utf8(m_model.folder()) + " is gone."});
    if (file.folder) return refusal_answer({409, "A folder of that name is there: " + upload.name});
    if (file.status == ControllerFile::Status::Found) return hold(std::move(upload.file), file);
    bool exists = false;
    UploadAnswer answer = land_as(upload.file, file, std::nullopt, &exists);
    if (!exists) return answer;
    // A file of that name came while the upload did.
    const ControllerFile now = platform::resolve_controller_path(file.path);
    if (now.status != ControllerFile::Status::Found || now.folder) return answer;
    return hold(std::move(upload.file), now);
}

UploadAnswer FileDialog::land_as(std::unique_ptr<UploadFile>& file, const ControllerFile& target,
                                 std::optional<mode_t> replace_mode, bool* exists) {
    Refusal refusal;
    if (!file->land(target.host.parent_path(), target.host.filename().string(), replace_mode, &refusal, exists))
        return refusal_answer(refusal);
    const uint64_t size = file->written();
    m_model.refresh();
    const std::u16string landed = last_name(target.path);
    m_model.set_name(landed);
    m_failed = false;
    m_notice = utf8(landed) + (replace_mode ? " replaced (" : " uploaded (") + std::to_string(size) + " bytes).";
    return UploadAnswer{200, json{{"ok", true}, {"name", utf8(landed)}, {"path", utf8(target.path)}}.dump()};
}

UploadAnswer FileDialog::hold(std::unique_ptr<UploadFile> file, const ControllerFile& target) {
    const std::string name = utf8(last_name(target.path));
    const std::string size = std::to_string(file->written());
    const std::optional<std::string> role = program_file_role(target.path);
    std::string text = role ? *role + "\nReplacing it may keep that from working. Replace it with the uploaded file (" +
                                  size + " bytes)?"
                            : name + " is in " + utf8(folder_of(target.path)) +
                                  " already.\nReplace it with the uploaded file (" + size + " bytes)?";
    m_held =
        Held{std::move(file), ++m_asks,        target.path, target.host.parent_path(), target.host.filename().string(),
             std::move(text), role.has_value()};
    m_notice.clear();
    m_failed = false;
    return UploadAnswer{200, json{{"ok", true}, {"held", true}, {"name", name}, {"path", utf8(target.path)}}.dump()};
}

void FileDialog::answer_replace(bool yes) {
    Held held = std::move(*m_held);
    m_held.reset();
    if (!yes) {
        m_notice = "The upload was dropped; " + held.host_name + " is kept.";
        return;
    }
    // The new file takes the old one's mode (a program stays one); a file
    // gone in the meantime is simply made.
    const ControllerFile target = platform::resolve_controller_path(held.path);
    std::optional<mode_t> mode;
    struct stat st {};
    if (target.status == ControllerFile::Status::Found && !target.folder && ::stat(target.host.c_str(), &st) == 0)
        mode = st.st_mode;
    else if (target.status != ControllerFile::Status::Missing)
        return fail("The upload was dropped: " + held.host_name + " can no longer be replaced.");
    UploadAnswer answer = land_as(held.file, target, mode, nullptr);
    if (answer.status != 200) fail(json::parse(answer.body, nullptr, false).value("message", "The upload failed."));
}

void FileDialog::fail(std::string message) {
    m_notice = std::move(message);
    m_failed = true;
}

json FileDialog::view() const {
    json entries = json::array();
    for (const platform::OpenFileModel::Entry& e : m_model.entries())
        entries.push_back(json{{"name", utf8(e.name)}, {"folder", e.folder}});
    json ask = nullptr;
    if (m_held)
        ask = json{{"seq", m_held->ask},
                   {"caption", "Upload"},
                   {"text", m_held->text},
                   {"icon", m_held->program ? "exclamation" : "question"},
                   {"buttons",
                    json::array({json{{"answer", "yes"}, {"label", "Yes"}}, json{{"answer", "no"}, {"label", "No"}}})},
                   {"default", 1},
                   {"escape", "no"}};
    return json{{"seq", m_seq},
                {"folder", utf8(m_model.folder())},
                {"entries", std::move(entries)},
                {"filter", utf8(m_model.filter_name())},
                {"name", utf8(m_model.name())},
                {"error", m_failed ? m_notice : m_model.message()},
                {"notice", m_failed ? "" : m_notice},
                {"limit", m_limit},
                {"ask", std::move(ask)}};
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
