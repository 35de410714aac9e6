// The operator's WebSocket over TLS.
#include "frontends/web/ws_session.h"

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>
#include <utility>

#include "frontends/web/http_routes.h"

namespace orva::web {

namespace websocket = beast::websocket;

WsSession::WsSession(Core& core, TlsStream stream, std::string session, Slot slot)
    : m_core(core), m_ws(std::move(stream)), m_session(std::move(session)), m_slot(std::move(slot)) {}

WsSession::~WsSession() = default;

void WsSession::run(http::request<http::empty_body> req) {
    m_req = std::move(req);
    m_slot.on_drop([weak = weak_from_this()] {
        if (auto self = weak.lock()) beast::get_lowest_layer(self->m_ws).close();
    });
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

void WsSession::send() {
    if (m_writing || m_closed) return;
    if (m_last) return write(std::make_shared<const std::string>(*m_last), true);
    if (m_pong) return write(std::make_shared<const std::string>(*std::exchange(m_pong, std::nullopt)), false);
    if (m_dropped) {
        m_dropped = false;
        static const auto dropped = std::make_shared<const std::string>(
            nlohmann::json{{"type", "dropped"},
                           {"message", "The utility is busy and did not take that; do it again when it is ready."}}
                .dump());
        return write(dropped, false);
    }
    auto [version, state] = m_core.channel.state();
    if (!state || version == m_sent) return;
    m_sent = version;
    write(std::move(state), false);
}

// One write at a time, all through one completion handler, so that Beast's
// write operation is compiled once.
void WsSession::write(std::shared_ptr<const std::string> message, bool last) {
    m_writing = true;
    m_out = std::move(message);
    m_ws.text(true);
    m_ws.async_write(net::buffer(*m_out), [self = shared_from_this(), last](error_code ec, size_t) {
        self->m_writing = false;
        if (last) self->close();
        else if (!ec) self->send();
    });
}

void WsSession::finish(std::string last) {
    if (m_last) return;
    m_last = std::move(last);
    send();
}

void WsSession::read() {
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
            self->finish(session_message("session", "ended"));
        } else if (!self->m_last && self->m_ws.got_text()) {
            std::string pong;
            switch (self->m_heartbeat.classify(text, now, &pong)) {
                case Heartbeat::Verdict::Ping:
                    self->m_pong = std::move(pong);
                    self->send();
                    break;
                case Heartbeat::Verdict::Late:
                    break;
                case Heartbeat::Verdict::Input: {
                    core.access.touch(now);
                    Input input;
                    input.message = std::move(text);
                    if (!core.channel.push_input(std::move(input))) {
                        self->m_dropped = true;
                        self->send();
                    }
                    break;
                }
            }
        }
        self->read();
    });
}

void WsSession::close() {
    if (m_closed) return;
    m_closed = true;
    m_ws.async_close(websocket::close_code::normal, [self = shared_from_this()](error_code) {
        if (self->m_core.ending) self->m_core.flush_done();
    });
}

}  // namespace orva::web
