// The server thread: connections, TLS, HTTP requests, uploads and the
// operator's WebSocket. Every object here lives and runs on that thread,
// except what Server::start and Server::stop do before and after it runs.
#include "frontends/web/server.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/detect_ssl.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <cstdio>
#include <future>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>

#include "frontends/web/http_routes.h"

namespace orva::web {

namespace beast = boost::beast;
namespace net = boost::asio;
namespace ssl = net::ssl;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;
using beast::error_code;

namespace {

constexpr int kMaxConnections = 32;
constexpr auto kHandshakeTime = std::chrono::seconds(10);
constexpr auto kRequestTime = std::chrono::seconds(30);
constexpr size_t kHeaderLimit = 16 * 1024;
constexpr size_t kBodyLimit = 16 * 1024;
constexpr size_t kMessageLimit = 64 * 1024;
constexpr size_t kUploadChunk = 64 * 1024;

class WsSession;
class HttpsSession;

// Counts a connection for as long as it lives.
class Ticket {
public:
    explicit Ticket(std::shared_ptr<int> count) : m_count(std::move(count)) { ++*m_count; }
    ~Ticket() { --*m_count; }
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

private:
    std::shared_ptr<int> m_count;
};

std::string message(const char* type, const char* reason) {
    return nlohmann::json{{"type", type}, {"reason", reason}}.dump();
}

}  // namespace

struct Server::Core {
    Core(ServerSettings s, Channel& c) : settings(std::move(s)), channel(c), access(settings.token) {}

    // Declared first, so destroyed last: the handlers it still holds are
    // destroyed with it and touch nothing else here.
    net::io_context ioc{1};
    ssl::context tls{ssl::context::tls_server};
    tcp::acceptor acceptor{ioc};
    net::steady_timer idle_timer{ioc};
    ServerSettings settings;
    Channel& channel;
    Access access;
    std::shared_ptr<int> connections = std::make_shared<int>(0);
    std::weak_ptr<WsSession> operator_ws;
    std::map<uint64_t, std::shared_ptr<HttpsSession>> waiting_uploads;
    uint64_t next_upload = 1;
    std::atomic<bool> wake_posted{false};
    bool ending = false;
    std::promise<void> flushed;
    bool flushed_set = false;

    void accept();
    void on_wake();
    void watch_idle();
    // Ends the operator's WebSocket with `why` as its last message.
    void close_operator(const std::string& why);
    void adopt(const std::shared_ptr<WsSession>& ws);
    void flush_done() {
        if (!flushed_set) flushed.set_value();
        flushed_set = true;
    }
    uint64_t wait_for_upload(std::shared_ptr<HttpsSession> session) {
        const uint64_t id = next_upload++;
        waiting_uploads[id] = std::move(session);
        return id;
    }
};

namespace {

using Core = Server::Core;

// The operator's WebSocket: the newest state out, actions in.
class WsSession : public std::enable_shared_from_this<WsSession> {
public:
    WsSession(Core& core, TlsStream stream, std::string session, std::shared_ptr<int> count)
        : m_core(core), m_ws(std::move(stream)), m_session(std::move(session)), m_ticket(std::move(count)) {}

    void run(http::request<http::empty_body> req) {
        m_req = std::move(req);
        beast::get_lowest_layer(m_ws).expires_never();
        m_ws.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        m_ws.set_option(websocket::stream_base::decorator([](websocket::response_type& res) {
            res.set(http::field::server, kServerName);
            add_security_headers(res);
        }));
        m_ws.read_message_max(kMessageLimit);
        m_ws.async_accept(m_req, [self = shared_from_this()](error_code ec) {
            if (ec) return;
            self->m_core.adopt(self);
            self->send();
            self->read();
        });
    }

    // Sends the newest state, or the last message once there is one.
    void send() {
        if (m_writing || m_closed) return;
        if (m_last) {
            m_writing = true;
            m_out = std::make_shared<const std::string>(*m_last);
            m_ws.text(true);
            m_ws.async_write(net::buffer(*m_out), [self = shared_from_this()](error_code, size_t) {
                self->m_writing = false;
                self->close();
            });
            return;
        }
        auto [version, state] = m_core.channel.state();
        if (!state || version == m_sent) return;
        m_sent = version;
        m_out = std::move(state);
        m_writing = true;
        m_ws.text(true);
        m_ws.async_write(net::buffer(*m_out), [self = shared_from_this()](error_code ec, size_t) {
            self->m_writing = false;
            if (!ec) self->send();
        });
    }

    // The last message, then the closing handshake.
    void finish(std::string last) {
        if (m_last) return;
        m_last = std::move(last);
        send();
    }

    bool open() const { return !m_closed && !m_last; }

private:
    void read() {
        m_ws.async_read(m_in, [self = shared_from_this()](error_code ec, size_t n) {
            if (ec) {
                self->m_closed = true;
                if (self->m_core.ending) self->m_core.flush_done();
                return;
            }
            std::string text = beast::buffers_to_string(self->m_in.data());
            self->m_in.consume(n);
            Core& core = self->m_core;
            const auto now = Clock::now();
            if (!core.access.valid(self->m_session, now)) {
                self->finish(message("session", "ended"));
            } else if (!self->m_last && self->m_ws.got_text()) {
                core.access.touch(now);
                Input input;
                input.message = std::move(text);
                core.channel.push_input(std::move(input));
            }
            self->read();
        });
    }

    void close() {
        if (m_closed) return;
        m_closed = true;
        m_ws.async_close(websocket::close_code::normal, [self = shared_from_this()](error_code) {
            if (self->m_core.ending) self->m_core.flush_done();
        });
    }

    Core& m_core;
    websocket::stream<TlsStream> m_ws;
    http::request<http::empty_body> m_req;
    std::string m_session;
    Ticket m_ticket;
    beast::flat_buffer m_in;
    std::shared_ptr<const std::string> m_out;
    uint64_t m_sent = 0;
    bool m_writing = false;
    bool m_closed = false;
    std::optional<std::string> m_last;
};

// One HTTPS connection: requests one after another, an upload streamed into
// its file, or the upgrade to the operator's WebSocket.
class HttpsSession : public std::enable_shared_from_this<HttpsSession> {
public:
    HttpsSession(Core& core, beast::tcp_stream stream, beast::flat_buffer buffer, std::string address,
                 std::shared_ptr<int> count)
        : m_core(core),
          m_stream(std::move(stream), core.tls),
          m_buffer(std::move(buffer)),
          m_address(std::move(address)),
          m_count(std::move(count)),
          m_ticket(m_count) {}

    void run() {
        beast::get_lowest_layer(m_stream).expires_after(kHandshakeTime);
        m_stream.async_handshake(ssl::stream_base::server, m_buffer.data(),
                                 [self = shared_from_this()](error_code ec, size_t used) {
                                     if (ec) return;
                                     self->m_buffer.consume(used);
                                     self->read_header();
                                 });
    }

    // The main thread has named (or refused) the uploaded file.
    void answer_upload(const UploadAnswer& answer) {
        Response res{http::status(answer.status), m_version};
        res.set(http::field::server, kServerName);
        res.set(http::field::content_type, "application/json");
        add_security_headers(res);
        res.body() = answer.body;
        res.keep_alive(false);
        res.prepare_payload();
        send(std::move(res), true);
    }

private:
    RouteContext context() { return RouteContext{m_core.access, m_core.channel, m_address, Clock::now()}; }

    void read_header() {
        m_header.emplace();
        m_header->header_limit(kHeaderLimit);
        // Each kind of request sets its own limit once its header is read.
        m_header->body_limit(std::numeric_limits<std::uint64_t>::max());
        beast::get_lowest_layer(m_stream).expires_after(kRequestTime);
        http::async_read_header(m_stream, m_buffer, *m_header, [self = shared_from_this()](error_code ec, size_t) {
            if (ec) return self->shut_down();
            self->on_header();
        });
    }

    void on_header() {
        const auto& h = m_header->get();
        m_version = h.version();
        RouteContext ctx = context();
        if (websocket::is_upgrade(h)) {
            if (auto refusal = check_websocket(h, ctx)) return send(std::move(*refusal), true);
            if (m_core.ending) return;
            auto ws = std::make_shared<WsSession>(m_core, std::move(m_stream), session_cookie(h), m_count);
            ws->run(m_header->release());
            return;
        }
        if (h.method() == http::verb::post && target_path(h.target()) == "/upload") return begin_upload(ctx);
        if (m_header->chunked())
            return send(make_response(h, http::status::length_required, "{\"error\":\"length\"}"), true);
        if (m_header->content_length().value_or(0) > kBodyLimit)
            return send(make_response(h, http::status::payload_too_large, "{\"error\":\"too-large\"}"), true);
        m_body.emplace(std::move(*m_header));
        m_body->body_limit(kBodyLimit);
        http::async_read(m_stream, m_buffer, *m_body, [self = shared_from_this()](error_code ec, size_t) {
            if (ec == http::error::body_limit) {
                const auto& req = self->m_body->get();
                return self->send(make_response(req, http::status::payload_too_large, "{\"error\":\"too-large\"}"),
                                  true);
            }
            if (ec) return self->shut_down();
            self->on_request();
        });
    }

    void on_request() {
        RouteContext ctx = context();
        Response res = handle_request(m_body->get(), ctx);
        if (ctx.logged_out) m_core.close_operator(message("session", "logout"));
        const bool close = !res.keep_alive();
        send(std::move(res), close);
    }

    void begin_upload(RouteContext& ctx) {
        auto admitted = check_upload(m_header->get(), ctx);
        if (auto* refusal = std::get_if<Response>(&admitted)) {
            refusal->keep_alive(false);
            return send(std::move(*refusal), true);
        }
        m_upload_request = std::move(std::get<UploadRequest>(admitted));
        Refusal refusal;
        m_upload = UploadFile::open(m_upload_request.folder, m_upload_request.size, &refusal);
        if (!m_upload) return refuse_upload(refusal);
        ctx.access.touch(ctx.now);
        m_upload_body.emplace(std::move(*m_header));
        m_upload_body->body_limit(m_upload_request.size);
        m_chunk.resize(kUploadChunk);
        if (beast::iequals(m_upload_body->get()[http::field::expect], "100-continue")) {
            auto cont = std::make_shared<http::response<http::empty_body>>(http::status::continue_, m_version);
            http::async_write(m_stream, *cont, [self = shared_from_this(), cont](error_code ec, size_t) {
                if (ec) return self->shut_down();
                self->read_chunk();
            });
            return;
        }
        read_chunk();
    }

    void read_chunk() {
        auto& body = m_upload_body->get().body();
        body.data = m_chunk.data();
        body.size = m_chunk.size();
        beast::get_lowest_layer(m_stream).expires_after(kRequestTime);
        http::async_read_some(m_stream, m_buffer, *m_upload_body,
                              [self = shared_from_this()](error_code ec, size_t) { self->on_chunk(ec); });
    }

    void on_chunk(error_code ec) {
        if (ec == http::error::need_buffer) ec = {};
        if (ec) {
            m_upload.reset();
            return shut_down();
        }
        const size_t got = m_chunk.size() - m_upload_body->get().body().size;
        Refusal refusal;
        if (got && !m_upload->write(m_chunk.data(), got, &refusal)) return refuse_upload(refusal);
        if (m_core.access.valid(session_cookie(m_upload_body->get()), Clock::now())) m_core.access.touch(Clock::now());
        else return refuse_upload(Refusal{401, "The session ended during the upload."});
        if (!m_upload_body->is_done()) return read_chunk();
        if (!m_upload->finish(&refusal)) return refuse_upload(refusal);
        if (m_core.ending) return refuse_upload(Refusal{503, "The utility has ended."});
        const uint64_t id = m_core.wait_for_upload(shared_from_this());
        Input input;
        input.upload_id = id;
        input.file = std::move(m_upload);
        input.name = m_upload_request.name;
        input.dialog = m_upload_request.folder.dialog;
        m_core.channel.push_input(std::move(input));
    }

    void refuse_upload(const Refusal& refusal) {
        m_upload.reset();
        answer_upload(
            UploadAnswer{refusal.status, nlohmann::json{{"error", "upload"}, {"message", refusal.message}}.dump()});
    }

    void send(Response res, bool close) {
        if (close) res.keep_alive(false);
        auto out = std::make_shared<Response>(std::move(res));
        beast::get_lowest_layer(m_stream).expires_after(kRequestTime);
        http::async_write(m_stream, *out, [self = shared_from_this(), out, close](error_code ec, size_t) {
            if (ec || close) return self->shut_down();
            self->read_header();
        });
    }

    void shut_down() {
        beast::get_lowest_layer(m_stream).expires_after(std::chrono::seconds(2));
        m_stream.async_shutdown([self = shared_from_this()](error_code) {});
    }

    Core& m_core;
    TlsStream m_stream;
    beast::flat_buffer m_buffer;
    std::string m_address;
    std::shared_ptr<int> m_count;
    Ticket m_ticket;
    unsigned m_version = 11;
    std::optional<http::request_parser<http::empty_body>> m_header;
    std::optional<http::request_parser<http::string_body>> m_body;
    std::optional<http::request_parser<http::buffer_body>> m_upload_body;
    UploadRequest m_upload_request;
    std::unique_ptr<UploadFile> m_upload;
    std::vector<char> m_chunk;
};

// Plain HTTP on the HTTPS port: one request, answered with a redirect to
// the same host over HTTPS (its address left out, as it may hold the token),
// then closed.
class PlainSession : public std::enable_shared_from_this<PlainSession> {
public:
    PlainSession(Core& core, beast::tcp_stream stream, beast::flat_buffer buffer, std::shared_ptr<int> count)
        : m_core(core), m_stream(std::move(stream)), m_buffer(std::move(buffer)), m_ticket(std::move(count)) {}

    void run() {
        m_parser.header_limit(kHeaderLimit);
        m_stream.expires_after(kHandshakeTime);
        http::async_read_header(m_stream, m_buffer, m_parser, [self = shared_from_this()](error_code ec, size_t) {
            if (ec) return self->close();
            self->redirect();
        });
    }

private:
    static bool host_char(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("-.:[]").find(c) != std::string_view::npos;
    }

    void redirect() {
        const auto& req = m_parser.get();
        std::string host(req[http::field::host]);
        if (host.empty() || host.size() > 255 || !std::all_of(host.begin(), host.end(), host_char))
            host = browser_host(m_core.settings.listen.host) + ":" +
                   std::to_string(m_core.acceptor.local_endpoint().port());
        auto res = std::make_shared<http::response<http::string_body>>(http::status::moved_permanently, req.version());
        res->set(http::field::server, kServerName);
        res->set(http::field::location, "https://" + host + "/");
        res->set(http::field::content_type, "text/plain; charset=utf-8");
        add_security_headers(*res);
        res->body() = "This utility answers over HTTPS only.\n";
        res->keep_alive(false);
        res->prepare_payload();
        http::async_write(m_stream, *res, [self = shared_from_this(), res](error_code, size_t) { self->close(); });
    }

    void close() {
        error_code ec;
        m_stream.socket().shutdown(tcp::socket::shutdown_both, ec);
        m_stream.close();
    }

    Core& m_core;
    beast::tcp_stream m_stream;
    beast::flat_buffer m_buffer;
    Ticket m_ticket;
    http::request_parser<http::empty_body> m_parser;
};

// Tells TLS from plain HTTP by the first bytes.
class Detector : public std::enable_shared_from_this<Detector> {
public:
    Detector(Core& core, tcp::socket socket) : m_core(core), m_stream(std::move(socket)) {}

    void run() {
        m_stream.expires_after(kHandshakeTime);
        beast::async_detect_ssl(m_stream, m_buffer, [self = shared_from_this()](error_code ec, bool tls) {
            if (ec) return;
            Core& core = self->m_core;
            error_code address_error;
            const std::string address = self->m_stream.socket().remote_endpoint(address_error).address().to_string();
            if (tls)
                std::make_shared<HttpsSession>(core, std::move(self->m_stream), std::move(self->m_buffer), address,
                                               core.connections)
                    ->run();
            else
                std::make_shared<PlainSession>(core, std::move(self->m_stream), std::move(self->m_buffer),
                                               core.connections)
                    ->run();
        });
    }

private:
    Core& m_core;
    beast::tcp_stream m_stream;
    beast::flat_buffer m_buffer;
};

}  // namespace

void Server::Core::accept() {
    acceptor.async_accept([this](error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
        if (!ec) {
            if (*connections >= kMaxConnections) {
                socket.close(ec);
            } else {
                std::make_shared<Detector>(*this, std::move(socket))->run();
            }
        }
        accept();
    });
}

void Server::Core::adopt(const std::shared_ptr<WsSession>& ws) {
    if (auto old = operator_ws.lock(); old && old != ws) old->finish(message("session", "replaced"));
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
        if (access.expire(Clock::now())) close_operator(message("session", "idle"));
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

    channel.set_waker([&core] {
        if (!core.wake_posted.exchange(true)) net::post(core.ioc, [&core] { core.on_wake(); });
    });
    core.accept();
    core.watch_idle();
    server->m_thread = std::thread([&core] {
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
