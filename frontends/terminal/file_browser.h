// The open-file dialog's view of the controller's file system: one folder of
// fs/ at a time, listed as the controller names it, through the platform's
// controller file service. It never leaves fs/: no ".." above the root, and
// links that lead outside are not offered.
#pragma once

#include <string>
#include <vector>

namespace orva::terminal {

class FileBrowser {
public:
    struct Entry {
        std::u16string name;  // ".." for the parent folder
        bool folder = false;
    };

    // `pattern` is the filter's pattern ("*.*"); files that do not match are
    // not listed (folders always are).
    explicit FileBrowser(std::u16string pattern);

    const std::vector<Entry>& entries() const { return m_entries; }
    // The folder shown, as a controller path: "\" at the root, else
    // "\Storage Card" and so on.
    std::u16string folder_path() const;
    // The controller path of entry `index` ("\Storage Card\nk.bin").
    std::u16string path_of(size_t index) const;
    // Goes into the folder of entry `index` (or up for ".."); false when the
    // entry is a file or the folder cannot be opened (see error()).
    bool open(size_t index);
    // Goes up one folder; false at the root.
    bool up();
    // Why the last listing or open failed; empty when it did not.
    const std::string& error() const { return m_error; }

private:
    void list();

    std::u16string m_pattern;
    std::vector<std::u16string> m_folder;  // components below the root
    std::vector<Entry> m_entries;
    std::string m_error;
};

}  // namespace orva::terminal
