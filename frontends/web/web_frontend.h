// The web frontend: the window model drawn by a page in the operator's
// browser, over HTTPS. Everything here runs on the program's main thread,
// which owns the model: model changes become state messages handed to the
// server thread, and the operator's input, queued by the server thread, is
// applied while the program waits (wait_for_input, a message box, the
// open-file dialog).
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "frontends/frontends.h"
#include "frontends/web/channel.h"
#include "frontends/web/file_dialog.h"
#include "frontends/web/model_view.h"
#include "frontends/web/server.h"
#include "frontends/web/viewer_text.h"

namespace orva::web {

class WebFrontend final : public platform::Frontend {
public:
    // While the program works, the browser gets a new state at most this
    // often (and at least as often as the program shows a change).
    static constexpr auto kUpdateInterval = std::chrono::milliseconds(50);

    // Makes the certificate (or reads the operator's), listens, and prints
    // the start line with the address, token and fingerprint on standard
    // error. nullptr and a message when it cannot serve.
    static std::unique_ptr<WebFrontend> start(const WebFrontendOptions& options, std::string* error);
    ~WebFrontend() override;

    void window_created(const platform::Window&) override { m_dirty = true; }
    void window_changed(const platform::Window& w, platform::Change change, int value, bool by_application) override;
    void window_destroyed(const platform::Window&) override { m_dirty = true; }
    void update_window(const platform::Window& w) override;
    void wait_for_input() override;
    int message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) override;
    bool open_file(HWND owner, const platform::OpenFileRequest& request, std::u16string* path) override;
    // Wakes the main thread's wait for the browser (from any thread).
    void interrupt() override { m_channel.push_input(Input{}); }
    // The registry viewer: its text is shown in the page once written.
    void program_started(std::u16string_view path) override { m_viewer_text.program_started(path); }
    void rebooting() override { m_rebooting = true; }
    void stopping(int signal) override { m_stop_signal = signal; }
    // Tells the browser the utility has ended and why, and removes the
    // uploads that have not become files.
    void program_ending(int exit_code) override;

private:
    explicit WebFrontend(uint64_t upload_limit) : m_upload_limit(upload_limit) {}
    // Hands the current state to the server thread when anything changed.
    // `busy`: the program is working and takes no input now.
    void publish(bool busy);
    // An upload that no open-file dialog is waiting for.
    void refuse_upload(Input& input);
    // {"op":"viewer","seq":N,"do":"close"}: the operator closed the viewer's
    // box. false for any other action.
    bool close_viewer(const nlohmann::json& action);

    Channel m_channel;  // outlives the server
    std::unique_ptr<Server> m_server;
    ViewerText m_viewer_text{[this] { m_channel.push_input(Input{}); }};
    // The viewer's text shown in the page (a read-only box), numbered as
    // the boxes are; null when there is none.
    nlohmann::json m_viewer;
    uint64_t m_upload_limit = 0;
    uint64_t m_seq = 0;  // numbers boxes and dialogs
    std::optional<BoxView> m_box;
    std::optional<FileDialog> m_file;
    bool m_dirty = true;
    bool m_busy = false;
    bool m_images_given = false;
    std::chrono::steady_clock::time_point m_last_publish{};
    bool m_rebooting = false;
    int m_stop_signal = 0;
    bool m_ended = false;
};

}  // namespace orva::web
