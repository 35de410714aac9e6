// The rows the terminal's open-file dialog draws: the entries of the
// platform's open-file model, with ".." first below the root, which a row
// opens or chooses. The folder, the choice and the messages are the model's.
#pragma once

#include <string>
#include <vector>

#include "platform/open_file_model.h"

namespace orva::terminal {

class FileBrowser {
public:
    struct Entry {
        std::u16string name;  // ".." for the parent folder
        bool folder = false;
    };

    explicit FileBrowser(const platform::OpenFileRequest& request);

    const std::vector<Entry>& entries() const { return m_entries; }
    // The folder shown, as a controller path: "\" at the root, else
    // "\Storage Card" and so on.
    std::u16string folder_path() const;
    const std::u16string& filter_name() const { return m_model.filter_name(); }
    // The controller path of entry `index` ("\Storage Card\nk.bin").
    std::u16string path_of(size_t index) const;
    // Goes into the folder of entry `index` (or up for ".."); false when the
    // entry is a file or the folder cannot be opened (see error()).
    bool open(size_t index);
    // Goes up one folder; false at the root.
    bool up();
    // Opens the folder of entry `index` or chooses its file (see
    // OpenFileModel::choose).
    platform::OpenFileModel::Choice activate(size_t index);
    const std::u16string& chosen() const { return m_model.chosen(); }
    // What the dialog tells the operator; empty when the last action went well.
    const std::string& error() const { return m_model.message(); }

private:
    void rows();

    platform::OpenFileModel m_model;
    std::vector<Entry> m_entries;
};

}  // namespace orva::terminal
