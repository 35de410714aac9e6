// The open-file dialog as every frontend shows it: the folder shown, its
// entries (folders first, then the files the filter lets through), the
// resolution of a typed or picked name to the chosen file, the length limit
// of the program's buffer, and what the dialog tells the operator. The
// frontends only draw it and pass the operator's actions on. It never leaves
// the controller's fs/.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/controller_files.h"
#include "platform/frontend.h"

namespace orva::platform {

// Why `name` cannot be the name of a file of the controller; "" when it can.
// The one rule for every name that comes in, typed or picked in the
// open-file dialog or given to an upload: not empty and not only spaces, not
// "." or "..", none of \ / : * ? " < > | and no control character, no space
// or dot at its end (Windows drops those, so such a file could never be
// opened by its name), at most 255 bytes in UTF-8 (the host's limit).
std::string file_name_problem(std::u16string_view name);

class OpenFileModel {
public:
    struct Entry {
        std::u16string name;
        bool folder = false;
    };

    // Shows the folder of the request's initial path when it can be listed,
    // else the root. The filter defaults to "All Documents (*.*)".
    explicit OpenFileModel(const OpenFileRequest& request);

    // The folder shown as a controller path ("\" at the root); empty when
    // not even the root could be listed.
    const std::u16string& folder() const { return m_folder; }
    bool at_root() const { return m_folder.empty() || m_folder == u"\\"; }
    // Folders first, then files, each group by name regardless of case.
    const std::vector<Entry>& entries() const { return m_entries; }
    const std::u16string& filter_name() const { return m_filter_name; }
    // The controller path of `name` in the folder shown.
    std::u16string path_of(std::u16string_view name) const;
    // What the name field shows after the last action: the name typed,
    // cleared when a folder opened.
    const std::u16string& name() const { return m_name; }
    // What the dialog tells the operator about the last action; empty when
    // it went well.
    const std::string& message() const { return m_message; }

    // Shows the folder at controller path `path`. false, with the folder
    // shown unchanged and a message, when it cannot be listed.
    bool open_folder(std::u16string_view path);
    // The parent of the folder shown; false at the root.
    bool up();
    // Lists the folder shown again (after a file arrived in it).
    void refresh();
    // Sets the name field, as after an upload; clears the message.
    void set_name(std::u16string_view name);

    enum class Choice {
        Chosen,   // a file: chosen() holds its controller path
        Opened,   // a folder: it is shown now, the name field is cleared
        Refused,  // message() says why; the dialog stays open
    };
    // What the operator typed or picked and confirmed: a name in the folder
    // shown, a path below it, or a controller path starting with "\" (blanks
    // around it are dropped). Its last name must pass file_name_problem
    // (unless it is "." or "..") and name a file of the controller whose path
    // fits the program's buffer with its NUL.
    Choice choose(std::u16string_view typed);
    // Whether a controller path fits the program's buffer with its NUL;
    // when it does not, message() says so.
    bool fits(std::u16string_view path);
    const std::u16string& chosen() const { return m_chosen; }

private:
    bool list(std::u16string_view path);

    std::u16string m_filter_name, m_pattern;
    size_t m_capacity;
    std::u16string m_folder;
    std::vector<Entry> m_entries;
    std::u16string m_name;
    std::string m_message;
    std::u16string m_chosen;
};

}  // namespace orva::platform
