// The web frontend's main-thread side.
#include "frontends/web/web_frontend.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "frontends/web/access.h"
#include "frontends/web/operator_input.h"
#include "platform/message_box_style.h"
#include "platform/text.h"
#include "platform/window_model.h"

namespace orva::web {
namespace {

using nlohmann::json;

// The answer a box's buttons allow for what the browser sent; 0 for none.
int box_answer(const json& action, UINT flags) {
    auto it = action.find("answer");
    if (it == action.end() || !it->is_string()) return 0;
    const std::optional<platform::BoxButton> b =
        platform::message_box_style(nullptr, flags).button(it->get<std::string>());
    return b ? b->id : 0;
}

json parse(const std::string& text) { return json::parse(text, nullptr, false); }

bool is_op(const json& action, const char* op) {
    return action.is_object() && action.contains("op") && action["op"] == op;
}

// The names a new certificate is made for: this host, the address listened
// on when it is a particular one, and the loopback names.
std::vector<std::string> certificate_names(const std::string& listen_host) {
    std::vector<std::string> names;
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0]) names.push_back(host);
    if (listen_host != "0.0.0.0" && listen_host != "::") names.push_back(listen_host);
    for (const char* n : {"localhost", "127.0.0.1", "::1"}) names.push_back(n);
    return names;
}

}  // namespace

std::unique_ptr<WebFrontend> WebFrontend::start(const WebFrontendOptions& options, std::string* error) {
    std::optional<ListenAddress> listen = parse_listen_address(options.listen, error);
    if (!listen) return nullptr;
    if (options.tls_cert.empty() != options.tls_key.empty()) {
        *error = "--tls-cert and --tls-key go together";
        return nullptr;
    }
    std::optional<TlsIdentity> identity =
        options.tls_cert.empty() ? controller_tls_identity(options.keep_dir, certificate_names(listen->host), error)
                                 : load_tls_identity(options.tls_cert, options.tls_key, error);
    if (!identity) return nullptr;
    std::unique_ptr<WebFrontend> frontend(new WebFrontend(options.upload_limit));
    frontend->m_server = Server::start(ServerSettings{*listen, *identity, random_name(24)}, frontend->m_channel, error);
    if (!frontend->m_server) return nullptr;
    return frontend;
}

WebFrontend::~WebFrontend() {
    if (!m_ended) {
        m_ended = true;
        m_channel.end(json{{"type", "ended"}, {"reason", "closed"}}.dump());
        UploadFile::remove_unlanded();
    }
    if (m_server) m_server->stop(std::chrono::milliseconds(0));
}

void WebFrontend::window_changed(const platform::Window&, platform::Change change, int, bool by_application) {
    // The operator's own typing and choosing the browser already shows.
    if (by_application || change == platform::Change::Visible) m_dirty = true;
}

void WebFrontend::publish(bool busy) {
    if (std::optional<std::string> text = m_viewer_text.take()) {
        m_viewer = json{{"seq", ++m_seq},
                        {"path", platform::to_utf8(ViewerText::kText)},
                        {"name", "RegView.txt"},
                        {"text", std::move(*text)}};
        m_dirty = true;
    }
    if (!m_dirty && busy == m_busy) return;
    if (!m_images_given) {
        m_channel.set_images(resource_images());
        m_images_given = true;
    }
    HWND active = platform::active_dialog();
    json state{{"type", "state"},
               {"busy", busy},
               {"active", uint64_t(reinterpret_cast<uintptr_t>(active))},
               {"windows", windows_view()},
               {"box", box_view(m_box ? &*m_box : nullptr)},
               {"file", m_file ? m_file->view() : json(nullptr)},
               {"viewer", m_viewer}};
    m_channel.publish(state.dump(-1, ' ', false, json::error_handler_t::replace));
    m_dirty = false;
    m_busy = busy;
    m_last_publish = std::chrono::steady_clock::now();
}

void WebFrontend::update_window(const platform::Window&) {
    if (!m_dirty) return;
    if (std::chrono::steady_clock::now() - m_last_publish < kUpdateInterval) return;
    publish(true);
}

void WebFrontend::refuse_upload(Input& input) {
    m_channel.answer_upload(
        input.upload_id,
        UploadAnswer{
            409, json{{"error", "upload"}, {"message", "The open-file dialog it was meant for is closed."}}.dump()});
}

bool WebFrontend::close_viewer(const json& action) {
    if (!is_op(action, "viewer")) return false;
    if (m_viewer.is_object() && action.contains("seq") && action["seq"] == m_viewer["seq"]) {
        m_viewer = nullptr;
        m_dirty = true;
    }
    return true;
}

void WebFrontend::wait_for_input() {
    publish(false);
    Input input = m_channel.wait_input();
    if (input.file) return refuse_upload(input);
    const json action = parse(input.message);
    if (close_viewer(action) || !apply_operator_input(action)) return;
    // The program works on it now; the browser takes no more until it waits.
    if (!is_op(action, "type") && !is_op(action, "choose")) publish(true);
}

int WebFrontend::message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) {
    m_box = BoxView{++m_seq, std::u16string(caption), std::u16string(text), flags, owner};
    m_dirty = true;
    for (;;) {
        publish(false);
        Input input = m_channel.wait_input();
        if (input.file) {
            refuse_upload(input);
            continue;
        }
        // The program is to end: the platform ends it once this returns.
        if (platform::stop_requested()) return platform::message_box_style(owner, flags).escape;
        const json action = parse(input.message);
        if (close_viewer(action) || !is_op(action, "box") || !action.contains("seq") || action["seq"] != m_box->seq)
            continue;
        if (int answer = box_answer(action, flags)) {
            m_box.reset();
            m_dirty = true;
            publish(true);
            return answer;
        }
    }
}

bool WebFrontend::open_file(HWND, const platform::OpenFileRequest& request, std::u16string* path) {
    m_file.emplace(request, ++m_seq, m_upload_limit);
    m_channel.set_upload_folder(m_file->upload_folder());
    m_dirty = true;
    FileDialog::Outcome outcome = FileDialog::Outcome::Open;
    while (outcome == FileDialog::Outcome::Open) {
        publish(false);
        Input input = m_channel.wait_input();
        if (input.file) {
            m_channel.answer_upload(input.upload_id, m_file->land(input));
        } else if (platform::stop_requested()) {
            outcome = FileDialog::Outcome::Cancelled;
        } else {
            const json action = parse(input.message);
            if (close_viewer(action) || !is_op(action, "file")) continue;
            outcome = m_file->apply(action);
        }
        m_channel.set_upload_folder(m_file->upload_folder());
        m_dirty = true;
    }
    if (outcome == FileDialog::Outcome::Chosen) *path = m_file->chosen();
    m_file.reset();
    m_channel.set_upload_folder(std::nullopt);
    m_dirty = true;
    publish(true);
    return outcome == FileDialog::Outcome::Chosen;
}

void WebFrontend::program_ending(int exit_code) {
    if (m_ended) return;
    m_ended = true;
    json last{{"type", "ended"}, {"reason", m_rebooting ? "reboot" : "closed"}, {"code", exit_code}};
    if (m_stop_signal) {
        last["reason"] = "signal";
        last["signal"] = std::string("SIG") + sigabbrev_np(m_stop_signal);
    }
    m_channel.end(last.dump());
    UploadFile::remove_unlanded();
    if (m_server) m_server->stop(std::chrono::seconds(2));
    // An upload that came while the browser was told is removed too.
    UploadFile::remove_unlanded();
}

}  // namespace orva::web

namespace orva {

std::unique_ptr<platform::Frontend> make_web_frontend(const WebFrontendOptions& options, std::string* error) {
    return web::WebFrontend::start(options, error);
}

std::vector<std::string> remove_leftover_uploads(const std::filesystem::path& fs_root) {
    return web::remove_leftover_uploads(fs_root);
}

}  // namespace orva
