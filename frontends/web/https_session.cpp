// An HTTPS connection: TLS, requests, uploads and the WebSocket upgrade.
#include "frontends/web/https_session.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <variant>

#include "frontends/web/ws_session.h"

namespace orva::web {

HttpsSession::HttpsSession(Core& core, beast::tcp_stream stream, beast::flat_buffer buffer, std::string address,
                           Slot slot)
    : m_core(core),
      m_stream(std::move(stream), core.tls),
      m_buffer(std::move(buffer)),
      m_address(std::move(address)),
      m_slot(std::move(slot)),
      m_hold(core.ioc) {}

HttpsSession::~HttpsSession() = default;

void HttpsSession::run() {
    m_slot.on_drop([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->m_hold.cancel();
            beast::get_lowest_layer(self->m_stream).close();
        }
    });
    beast::get_lowest_layer(m_stream).expires_after(kGuestTime);
    m_stream.async_handshake(m_buffer.data(), [self = shared_from_this()](error_code ec, size_t used) {
        if (ec) return;
        self->m_slot.progress(Clock::now());
        self->m_buffer.consume(used);
        self->read_header();
    });
}

std::chrono::steady_clock::duration HttpsSession::client_time() const {
    if (m_slot.is_operator()) return kRequestTime;
    return kGuestTime;
}

void HttpsSession::answer_upload(const UploadAnswer& answer) {
    Response res{http::status(answer.status), m_version};
    res.set(http::field::server, kServerName);
    res.set(http::field::content_type, "application/json");
    add_security_headers(res);
    res.body() = answer.body;
    res.keep_alive(false);
    res.prepare_payload();
    send(std::move(res), true);
}

RouteContext HttpsSession::context() { return RouteContext{m_core.access, m_core.channel, m_address, Clock::now()}; }

void HttpsSession::read_header() {
    m_header.emplace();
    m_header->header_limit(kHeaderLimit);
    // Each kind of request sets its own limit once its header is read.
    m_header->body_limit(std::numeric_limits<std::uint64_t>::max());
    beast::get_lowest_layer(m_stream).expires_after(client_time());
    http::async_read_header(m_stream, m_buffer, *m_header, [self = shared_from_this()](error_code ec, size_t) {
        if (ec) return self->shut_down();
        self->on_header();
    });
}

void HttpsSession::on_header() {
    const auto& h = m_header->get();
    m_version = h.version();
    RouteContext ctx = context();
    // The operator's requests never wait behind a guest's, and are never
    // dropped for one.
    m_slot.set_operator(ctx.access.valid(session_cookie(h), ctx.now));
    m_slot.progress(ctx.now);
    if (beast::websocket::is_upgrade(h)) {
        if (auto refusal = check_websocket(h, ctx)) return send(std::move(*refusal), true);
        if (m_core.ending) return;
        auto ws = std::make_shared<WsSession>(m_core, std::move(m_stream), session_cookie(h), std::move(m_slot));
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
    beast::get_lowest_layer(m_stream).expires_after(client_time());
    http::async_read(m_stream, m_buffer, *m_body, [self = shared_from_this()](error_code ec, size_t) {
        if (ec == http::error::body_limit) {
            const auto& req = self->m_body->get();
            return self->send(make_response(req, http::status::payload_too_large, "{\"error\":\"too-large\"}"), true);
        }
        if (ec) return self->shut_down();
        self->on_request();
    });
}

void HttpsSession::on_request() {
    RouteContext ctx = context();
    Response res = handle_request(m_body->get(), ctx);
    if (ctx.logged_out) m_core.close_operator(session_message("session", "logout"));
    const bool close = !res.keep_alive();
    if (ctx.hold <= Clock::duration::zero()) return send(std::move(res), close);
    // A wrong token, after many: answered late. The connection stays a
    // guest meanwhile, the first to be dropped when room is needed.
    m_hold.expires_after(ctx.hold);
    m_hold.async_wait(
        [self = shared_from_this(), res = std::make_shared<Response>(std::move(res)), close](error_code ec) {
            if (ec) return;
            self->send(std::move(*res), close);
        });
}

void HttpsSession::begin_upload(RouteContext& ctx) {
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

void HttpsSession::read_chunk() {
    auto& body = m_upload_body->get().body();
    body.data = m_chunk.data();
    body.size = m_chunk.size();
    beast::get_lowest_layer(m_stream).expires_after(kRequestTime);
    http::async_read_some(m_stream, m_buffer, *m_upload_body,
                          [self = shared_from_this()](error_code ec, size_t) { self->on_chunk(ec); });
}

void HttpsSession::on_chunk(error_code ec) {
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
    if (!m_core.channel.push_input(std::move(input))) {
        m_core.waiting_uploads.erase(id);
        refuse_upload(Refusal{503, "The utility is busy; upload the file again when it is ready."});
    }
}

void HttpsSession::refuse_upload(const Refusal& refusal) {
    m_upload.reset();
    answer_upload(
        UploadAnswer{refusal.status, nlohmann::json{{"error", "upload"}, {"message", refusal.message}}.dump()});
}

void HttpsSession::send(Response res, bool close) {
    if (close) res.keep_alive(false);
    auto out = std::make_shared<Response>(std::move(res));
    beast::get_lowest_layer(m_stream).expires_after(kRequestTime);
    http::async_write(m_stream, *out, [self = shared_from_this(), out, close](error_code ec, size_t) {
        if (ec || close) return self->shut_down();
        self->read_header();
    });
}

void HttpsSession::shut_down() {
    beast::get_lowest_layer(m_stream).expires_after(std::chrono::seconds(2));
    m_stream.async_shutdown([self = shared_from_this()](error_code, size_t) {});
}

}  // namespace orva::web
