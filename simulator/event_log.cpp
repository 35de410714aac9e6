// Appending device library calls to the event log.
#include "simulator/event_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace orva::sim {

EventLog::~EventLog() {
    if (m_fd >= 0) ::close(m_fd);
}

void EventLog::append(std::string_view line) {
    std::string text(line);
    text += '\n';
    append_text(text);
}

void EventLog::append_text(std::string_view text) {
    if (m_fd < 0) m_fd = ::open(m_file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    // One write per line, so that lines of two processes never interleave.
    if (m_fd < 0 || ::write(m_fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        if (!m_reported) std::fprintf(stderr, "%s: cannot append to %s: %s\n", m_file.c_str(), m_what.c_str(), std::strerror(errno));
        m_reported = true;
    }
}

bool EventLog::clear() {
    int fd = ::open(m_file.c_str(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace orva::sim
