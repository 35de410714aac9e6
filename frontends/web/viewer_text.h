// The registry viewer's text for the browser. View Registry starts the
// controller's \Windows\RegView.exe, which writes the live registry to
// \Temp\RegView.txt in the controller's files, where a browser cannot see it.
// From the viewer's start the file is watched (a thread of its own wakes the
// main thread when it changes) and, once written anew, it is read through the
// controller's file service for the page to show.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace orva::web {

class ViewerText {
public:
    // The viewer and the file it writes, as controller paths.
    static constexpr std::u16string_view kViewer = u"\\Windows\\RegView.exe";
    static constexpr std::u16string_view kText = u"\\Temp\\RegView.txt";
    // The most of the text the page is given.
    static constexpr size_t kMaxBytes = 4 << 20;
    // How long the viewer may take to write it.
    static constexpr std::chrono::seconds kWait{30};

    // `wake` is called, on the watching thread, when the text may be there.
    explicit ViewerText(std::function<void()> wake) : m_wake(std::move(wake)) {}
    ~ViewerText();
    ViewerText(const ViewerText&) = delete;
    ViewerText& operator=(const ViewerText&) = delete;

    // The program started the program at controller path `path`: when it is
    // the viewer, its text is watched for (main thread).
    void program_started(std::u16string_view path);
    // The viewer's new text, once, when it has written it (main thread);
    // nullopt otherwise. A text longer than kMaxBytes is cut there.
    std::optional<std::string> take();

private:
    // Size, modification time and inode of the text's host file; nullopt
    // when there is none.
    struct Stamp {
        off_t size;
        timespec modified;
        ino_t inode;
        bool operator==(const Stamp& o) const {
            return size == o.size && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
                   inode == o.inode;
        }
    };
    static std::optional<Stamp> stamp_of(const std::filesystem::path& host);
    void stop_watching();

    std::function<void()> m_wake;
    bool m_watching = false;
    std::filesystem::path m_host;   // the text's host file
    std::optional<Stamp> m_before;  // as it was when the viewer started
    std::chrono::steady_clock::time_point m_deadline;
    std::mutex m_mutex;
    std::condition_variable m_stop_cv;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace orva::web
