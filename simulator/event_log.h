// The controller's event log: one line per device library call, appended to
// a text file in the controller directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orva::sim {

class EventLog {
public:
    // `what` names the log in the message of a failing write.
    explicit EventLog(std::filesystem::path file, std::string what = "the event log")
        : m_file(std::move(file)), m_what(std::move(what)) {}
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Appends one line (a newline is added). A failing write is reported on
    // stderr once and otherwise ignored: the call it records still happened.
    void append(std::string_view line);
    // Appends text as it is (no newline added), reported the same way.
    void append_text(std::string_view text);
    // Empties the log; false on an I/O error.
    bool clear();
    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
    std::string m_what;
    int m_fd = -1;
    bool m_reported = false;
};

}  // namespace orva::sim
