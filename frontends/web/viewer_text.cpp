// Watching for the registry viewer's text and reading it.
#include "frontends/web/viewer_text.h"

#include <fstream>
#include <iterator>

#include "platform/controller_files.h"

namespace orva::web {

using platform::ControllerFile;

ViewerText::~ViewerText() { stop_watching(); }

std::optional<ViewerText::Stamp> ViewerText::stamp_of(const std::filesystem::path& host) {
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return Stamp{st.st_size, st.st_mtim, st.st_ino};
}

void ViewerText::stop_watching() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_stop_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
    m_watching = false;
}

void ViewerText::program_started(std::u16string_view path) {
    const ControllerFile viewer = platform::resolve_controller_path(kViewer);
    if (viewer.status != ControllerFile::Status::Found || platform::resolve_controller_path(path).path != viewer.path)
        return;
    const ControllerFile text = platform::resolve_controller_path(kText);
    if (text.status != ControllerFile::Status::Found && text.status != ControllerFile::Status::Missing) return;
    stop_watching();
    m_host = text.host;
    m_before = stamp_of(m_host);
    m_watching = true;
    m_stop = false;
    m_deadline = std::chrono::steady_clock::now() + kWait;
    m_thread = std::thread([this, host = m_host, before = m_before, until = m_deadline] {
        std::unique_lock lock(m_mutex);
        while (!m_stop && std::chrono::steady_clock::now() < until) {
            if (stamp_of(host) != before) break;
            m_stop_cv.wait_for(lock, std::chrono::milliseconds(100));
        }
        if (!m_stop) m_wake();
    });
}

std::optional<std::string> ViewerText::take() {
    if (!m_watching) return std::nullopt;
    const std::optional<Stamp> now = stamp_of(m_host);
    if (!now || now == m_before) {
        // Not written yet; given up after kWait.
        if (std::chrono::steady_clock::now() > m_deadline) stop_watching();
        return std::nullopt;
    }
    stop_watching();
    // Read as the controller's files are: resolved inside fs/ again.
    const ControllerFile text = platform::resolve_controller_path(kText);
    if (text.status != ControllerFile::Status::Found || text.folder) return std::nullopt;
    std::ifstream in(text.host, std::ios::binary);
    std::string bytes;
    bytes.resize(kMaxBytes);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    bytes.resize(size_t(in.gcount()));
    return bytes;
}

}  // namespace orva::web
