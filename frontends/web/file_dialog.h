// The open-file dialog of the web frontend, on the main thread: the folder
// shown, its entries from the platform's file service, the name typed, and
// uploads named into the folder shown. The browser only asks; every path is
// resolved here, inside fs/.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "frontends/web/channel.h"
#include "platform/controller_files.h"
#include "platform/frontend.h"

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
    const std::u16string& chosen() const { return m_chosen; }
    uint64_t seq() const { return m_seq; }

private:
    bool open_folder(const std::u16string& folder);
    void choose(const std::u16string& typed);
    std::u16string child(const std::u16string& name) const;

    uint64_t m_seq;
    uint64_t m_limit;
    size_t m_capacity;
    std::u16string m_filter_name, m_pattern;
    std::u16string m_folder;  // "" when no folder could be listed
    std::vector<platform::FolderEntry> m_entries;
    std::u16string m_name;
    std::string m_error, m_notice;
    std::u16string m_chosen;
};

}  // namespace orva::web
