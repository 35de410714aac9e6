// What passes between the program's main thread, which owns the window
// model, and the server thread, which owns the connections. The main thread
// publishes the state to show (the newest replaces one not yet sent, so that
// a busy browser gets the latest, not a backlog), the folder uploads go to
// and the answers to uploads; the server thread queues the operator's input,
// up to a bound in number and in bytes, so that a page sending while the
// program is busy cannot make the queue grow without end. Nothing else is
// shared between the two.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "frontends/web/upload.h"

namespace orva::web {

// One thing the operator did, for the main thread.
struct Input {
    // An action or answer from the browser, as JSON text.
    std::string message;
    // Or an upload that has fully arrived, to be named in its folder.
    uint64_t upload_id = 0;
    std::unique_ptr<UploadFile> file;
    std::string name;     // the name asked for (UTF-8)
    uint64_t dialog = 0;  // the showing of the open-file dialog it was for
};

struct UploadAnswer {
    int status = 200;
    std::string body;  // JSON
};

class Channel {
public:
    // The most inputs waiting for the main thread, and the most bytes of
    // their messages.
    static constexpr size_t kMaxInputs = 64;
    static constexpr size_t kMaxInputBytes = 256 * 1024;

    // ----- main thread
    // The newest state message; replaces one not yet taken.
    void publish(std::string state);
    // The program has ended: `message` is the last thing the browser gets.
    void end(std::string message);
    void set_images(std::map<int, std::string> images);
    void set_upload_folder(std::optional<UploadFolder> folder);
    void answer_upload(uint64_t id, UploadAnswer answer);
    // The next input; waits for it.
    Input wait_input();

    // ----- server thread
    // Called (from either thread, with the channel's lock held) whenever the
    // main thread has published something; empty to stop.
    void set_waker(std::function<void()> waker);
    // The newest state and its number (0 and null before the first).
    std::pair<uint64_t, std::shared_ptr<const std::string>> state() const;
    std::optional<std::string> ended() const;
    std::optional<std::string> image(int id) const;
    std::optional<UploadFolder> upload_folder() const;
    std::map<uint64_t, UploadAnswer> take_upload_answers();
    // Queues `input` for the main thread; false, and the input dropped, when
    // the queue already holds the most inputs or bytes it may.
    bool push_input(Input input);

private:
    void wake();

    mutable std::mutex m_mutex;
    std::condition_variable m_input_ready;
    std::function<void()> m_waker;
    uint64_t m_version = 0;
    std::shared_ptr<const std::string> m_state;
    std::optional<std::string> m_ended;
    std::map<int, std::string> m_images;
    std::optional<UploadFolder> m_upload_folder;
    std::map<uint64_t, UploadAnswer> m_upload_answers;
    std::deque<Input> m_inputs;
    size_t m_input_bytes = 0;
};

}  // namespace orva::web
