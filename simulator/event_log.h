// The controller's event log: one line per device library call, appended to
// a text file in the controller directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orva::sim {

class EventLog {
public:
    explicit EventLog(std::filesystem::path file) : m_file(std::move(file)) {}
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Appends one line (a newline is added). A failing write is reported on
    // stderr once and otherwise ignored: the call it records still happened.
    void append(std::string_view line);
    // Empties the log; false on an I/O error.
    bool clear();
    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
    int m_fd = -1;
    bool m_reported = false;
};

}  // namespace orva::sim
