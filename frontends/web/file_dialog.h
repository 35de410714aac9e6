// The open-file dialog of the web frontend, on the main thread: the
// platform's open-file model as the browser draws it, the browser's actions
// applied to it, and uploads named into the folder shown. The browser only
// asks; every path is resolved here, inside fs/.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "frontends/web/channel.h"
#include "platform/open_file_model.h"

namespace orva::web {

class FileDialog {
public:
    // Shows the folder of the request's initial path, else the root.
    FileDialog(const platform::OpenFileRequest& request, uint64_t seq, uint64_t upload_limit);

    enum class Outcome { Open, Chosen, Cancelled };
    // Applies {"op":"file","seq":SEQ,"do":ACTION,...}: "open" with "path" (a
    // folder), "up", "choose" with "name" (typed or picked: a name in the
    // folder shown or a controller path), "cancel". Actions for another
    // showing are ignored.
    Outcome apply(const nlohmann::json& action);
    // Names an upload that arrived for this showing in the folder shown; the
    // answer for the browser.
    UploadAnswer land(Input& upload);

    nlohmann::json view() const;
    // Where uploads go now; nullopt while no folder is shown.
    std::optional<UploadFolder> upload_folder() const;
    // The chosen controller path (Outcome::Chosen).
    const std::u16string& chosen() const { return m_model.chosen(); }
    uint64_t seq() const { return m_seq; }

private:
    uint64_t m_seq;
    uint64_t m_limit;
    platform::OpenFileModel m_model;
    std::string m_notice;  // an upload that arrived
};

}  // namespace orva::web
