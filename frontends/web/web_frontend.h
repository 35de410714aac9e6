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
    void rebooting() override { m_rebooting = true; }
    void program_ending(int exit_code) override;

private:
    explicit WebFrontend(uint64_t upload_limit) : m_upload_limit(upload_limit) {}
    // Hands the current state to the server thread when anything changed.
    // `busy`: the program is working and takes no input now.
    void publish(bool busy);
    // An upload that no open-file dialog is waiting for.
    void refuse_upload(Input& input);

    Channel m_channel;  // outlives the server
    std::unique_ptr<Server> m_server;
    uint64_t m_upload_limit = 0;
    uint64_t m_seq = 0;  // numbers boxes and dialogs
    std::optional<BoxView> m_box;
    std::optional<FileDialog> m_file;
    bool m_dirty = true;
    bool m_busy = false;
    bool m_images_given = false;
    std::chrono::steady_clock::time_point m_last_publish{};
    bool m_rebooting = false;
    bool m_ended = false;
};

}  // namespace orva::web
