// Appending device library calls to the event log.
#include "simulator/event_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "common/diagnostics.h"
#include "common/syscalls.h"

namespace orva::sim {

EventLog::~EventLog() {
    if (m_fd >= 0) sys::close(m_fd);
}

void EventLog::append(std::string_view line) {
    std::string text(line);
    text += '\n';
    append_text(text);
}

void EventLog::append_text(std::string_view text) {
    if (m_fd < 0) m_fd = sys::open(m_file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    // One write per line, so that lines of two processes never interleave;
    // a write cut short is followed by one for the rest.
    bool ok = m_fd >= 0;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t n = sys::write(m_fd, text.data() + done, text.size() - done);
        if (n == 0) errno = EIO;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    if (!ok) {
        if (!m_reported) report(m_file.string() + ": cannot append to " + m_what + ": " + std::strerror(errno));
        m_reported = true;
    }
}

bool EventLog::clear() {
    int fd = sys::open(m_file.c_str(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    sys::close(fd);
    return true;
}

}  // namespace orva::sim
