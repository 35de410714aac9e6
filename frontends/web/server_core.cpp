// The server's start and stop, and the core's work on the server thread: the
// operator's WebSocket, the idle check and the main thread's wake-ups.
#include "frontends/web/server_core.h"

#include <openssl/ssl.h>
#include <pthread.h>
#include <sys/resource.h>

#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <cstdio>
#include <algorithm>
#include <exception>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "frontends/web/https_session.h"
#include "frontends/web/listen_address.h"
#include "frontends/web/ws_session.h"

namespace orva::web {

std::string session_message(const char* type, const char* reason) {
    return nlohmann::json{{"type", type}, {"reason", reason}}.dump();
}

Server::Core::Core(ServerSettings s, Channel& c) : settings(std::move(s)), channel(c), access(settings.token) {
    // A spent token is replaced as its session ends; the operator needs the
    // new one to log in again (but not once the program is ending).
    access.on_new_token([this] {
        if (!ending) announce();
    });
}

Server::Core::~Core() = default;

void Server::Core::announce() {
    const std::string host = browser_host(settings.listen.host);
    std::fprintf(stderr, "orva-utility: serving https://%s:%u/?token=%s (certificate SHA-256 %s)\n", host.c_str(),
                 unsigned(acceptor.local_endpoint().port()), access.token().c_str(),
                 settings.identity.fingerprint.c_str());
    std::fflush(stderr);
}

void Server::Core::adopt(const std::shared_ptr<WsSession>& ws) {
    if (auto old = operator_ws.lock(); old && old != ws) old->finish(session_message("session", "replaced"));
    operator_ws = ws;
    if (ending) {
        if (auto last = channel.ended()) ws->finish(*last);
    }
}

void Server::Core::close_operator(const std::string& why) {
    if (auto ws = operator_ws.lock()) ws->finish(why);
    operator_ws.reset();
}

void Server::Core::watch_idle() {
    idle_timer.expires_after(std::chrono::seconds(1));
    idle_timer.async_wait([this](error_code ec) {
        if (ec || ending) return;
        if (access.expire(Clock::now())) close_operator(session_message("session", "idle"));
        watch_idle();
    });
}

void Server::Core::on_wake() {
    wake_posted = false;
    for (auto& [id, answer] : channel.take_upload_answers()) {
        auto it = waiting_uploads.find(id);
        if (it == waiting_uploads.end()) continue;
        it->second->answer_upload(answer);
        waiting_uploads.erase(it);
    }
    std::optional<std::string> last = channel.ended();
    if (last && !ending) {
        ending = true;
        error_code ec;
        acceptor.close(ec);
        idle_timer.cancel();
        accept_timer.cancel();
        for (auto& [id, session] : waiting_uploads)
            session->answer_upload(UploadAnswer{503, "{\"error\":\"ended\",\"message\":\"The utility has ended.\"}"});
        waiting_uploads.clear();
        auto ws = operator_ws.lock();
        if (ws && ws->open()) ws->finish(*last);
        else flush_done();
        return;
    }
    if (auto ws = operator_ws.lock()) ws->send();
}

std::unique_ptr<Server> Server::start(ServerSettings settings, Channel& channel, std::string* error) {
    std::unique_ptr<Server> server(new Server);
    server->m_core = std::make_unique<Core>(std::move(settings), channel);
    Core& core = *server->m_core;
    const ServerSettings& s = core.settings;
    const std::string where =
        (s.listen.host.find(':') != std::string::npos ? "[" + s.listen.host + "]" : s.listen.host) + ":" +
        std::to_string(s.listen.port);

    SSL_CTX* ctx = core.tls.native_handle();
    core.tls.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                         ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::no_compression |
                         ssl::context::single_dh_use);
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // TLS 1.2: forward secrecy and authenticated encryption only.
    SSL_CTX_set_cipher_list(ctx, "ECDHE+AESGCM:ECDHE+CHACHA20");
    error_code ec;
    core.tls.use_certificate_chain(net::buffer(s.identity.cert_pem), ec);
    if (!ec) core.tls.use_private_key(net::buffer(s.identity.key_pem), ssl::context::pem, ec);
    if (ec) {
        *error = "cannot use the TLS certificate: " + ec.message();
        return nullptr;
    }

    tcp::resolver resolver(core.ioc);
    auto endpoints = resolver.resolve(s.listen.host, std::to_string(s.listen.port),
                                      tcp::resolver::numeric_service | tcp::resolver::passive, ec);
    if (ec || endpoints.empty()) {
        *error = "cannot listen on " + where + ": " + (ec ? ec.message() : "no such address");
        return nullptr;
    }
    tcp::endpoint endpoint = endpoints.begin()->endpoint();
    core.acceptor.open(endpoint.protocol(), ec);
    if (!ec) core.acceptor.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) core.acceptor.bind(endpoint, ec);
    if (!ec) core.acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) {
        *error = "cannot listen on " + where + ": " + ec.message();
        return nullptr;
    }
    server->m_port = core.acceptor.local_endpoint(ec).port();

    // Descriptors past the ceiling are kept for the program's own files.
    rlimit files{};
    core.descriptor_ceiling = std::numeric_limits<int>::max();
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
        files.rlim_cur < rlim_t(std::numeric_limits<int>::max())) {
        const int limit = int(files.rlim_cur);
        core.descriptor_ceiling = limit - std::min(kReservedDescriptors, limit / 4);
    }

    core.announce();
    channel.set_waker([&core] {
        if (!core.wake_posted.exchange(true)) net::post(core.ioc, [&core] { core.on_wake(); });
    });
    core.accept();
    core.watch_idle();
    server->m_thread = std::thread([&core] {
        // Named, so that the server's share of the process shows in top -H.
        pthread_setname_np(pthread_self(), "orva-web");
        for (;;) {
            try {
                core.ioc.run();
                return;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "orva-utility: web server: %s\n", e.what());
            }
        }
    });
    return server;
}

void Server::stop(std::chrono::milliseconds grace) {
    if (!m_core) return;
    if (m_thread.joinable()) {
        m_core->flushed.get_future().wait_for(grace);
        m_core->channel.set_waker({});
        m_core->ioc.stop();
        m_thread.join();
    }
    m_core.reset();
}

Server::~Server() { stop(std::chrono::milliseconds(0)); }

}  // namespace orva::web
