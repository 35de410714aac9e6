// The open-file dialog of the web frontend, on the main thread: the
// platform's open-file model as the browser draws it, the browser's actions
// applied to it, and uploads named into the folder shown. The browser only
// asks; every path is resolved here, inside fs/. An upload whose name is
// taken is held until the operator answers a box that asks whether it may
// replace that file.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "frontends/web/channel.h"
#include "platform/open_file_model.h"

namespace orva::web {

// What a file at controller path `path` is to the programs the controller
// runs: the registry viewer that View Registry starts, or a program the
// auto-run list starts (the values Launch0 to Launch99 of
// HKEY_LOCAL_MACHINE\Init in the live registry); nullopt for any other file.
std::optional<std::string> program_file_role(const std::u16string& path);

class FileDialog {
public:
    // Shows the folder of the request's initial path, else the root.
    FileDialog(const platform::OpenFileRequest& request, uint64_t seq, uint64_t upload_limit);

    enum class Outcome { Open, Chosen, Cancelled };
    // Applies {"op":"file","seq":SEQ,"do":ACTION,...}: "open" with "path" (a
    // folder), "up", "choose" with "name" (typed or picked: a name in the
    // folder shown or a controller path), "cancel", and "replace" with "ask"
    // (the box's number) and "answer" ("yes" replaces the file with the held
    // upload, "no" drops the upload). Actions for another showing are
    // ignored; while the box is shown, only its answer and "cancel" (which
    // drops the upload) are taken.
    Outcome apply(const nlohmann::json& action);
    // Names an upload that arrived for this showing in the folder shown; the
    // answer for the browser. One whose name is taken is held for the box.
    UploadAnswer land(Input& upload);

    nlohmann::json view() const;
    // Where uploads go now; nullopt while no folder is shown.
    std::optional<UploadFolder> upload_folder() const;
    // The chosen controller path (Outcome::Chosen).
    const std::u16string& chosen() const { return m_model.chosen(); }
    uint64_t seq() const { return m_seq; }

private:
    // An upload waiting for the operator's word on replacing `path`.
    struct Held {
        std::unique_ptr<UploadFile> file;
        uint64_t ask = 0;
        std::u16string path;                // the file it would replace, as stored
        std::filesystem::path folder_host;  // where that file lies
        std::string host_name;
        std::string text;      // the question
        bool program = false;  // a file the controller's programs use
    };
    // Lands `file` as `target`, replacing a file there only with
    // `replace_mode`.
    UploadAnswer land_as(std::unique_ptr<UploadFile>& file, const platform::ControllerFile& target,
                         std::optional<mode_t> replace_mode, bool* exists);
    // Holds `file` and asks whether it may replace `target`.
    UploadAnswer hold(std::unique_ptr<UploadFile> file, const platform::ControllerFile& target);
    void answer_replace(bool yes);
    // Tells the operator that the last upload failed.
    void fail(std::string message);

    uint64_t m_seq;
    uint64_t m_limit;
    platform::OpenFileModel m_model;
    std::string m_notice;   // what became of the last upload
    bool m_failed = false;  // the notice says it failed
    std::optional<Held> m_held;
    uint64_t m_asks = 0;
};

}  // namespace orva::web
