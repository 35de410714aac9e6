// The operator's WebSocket: the newest state the main thread published goes
// out, the page's actions come in and go to the main thread; a last message
// (the session ended, was replaced, the utility ended) closes it. Input the
// program's queue has no room for is dropped, and the page told so.
#pragma once

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "frontends/web/heartbeat.h"
#include "frontends/web/server_core.h"
#include "frontends/web/streams.h"

namespace orva::web {

class WsSession : public std::enable_shared_from_this<WsSession> {
public:
    // `stream` has done its TLS handshake; `session` is the session cookie
    // the upgrade request carried; `slot` is the connection's place.
    WsSession(Core& core, TlsStream stream, std::string session, Slot slot);
    ~WsSession();

    // Accepts the upgrade `req`; once open, becomes the operator's WebSocket.
    void run(beast::http::request<beast::http::empty_body> req);

    // Sends the newest state, or the last message once there is one; the
    // answer to a ping and a notice of input dropped go before the state.
    void send();

    // The last message, then the closing handshake.
    void finish(std::string last);

    bool open() const { return !m_closed && !m_last; }

private:
    // Writes `message`; after the last message, the closing handshake.
    void write(std::shared_ptr<const std::string> message, bool last);
    void read();
    void close();

    Core& m_core;
    beast::websocket::stream<TlsStream> m_ws;
    beast::http::request<beast::http::empty_body> m_req;
    std::string m_session;
    Slot m_slot;
    beast::flat_buffer m_in;
    std::shared_ptr<const std::string> m_out;
    Heartbeat m_heartbeat;
    std::optional<std::string> m_pong;  // the answer to the newest ping, not sent yet
    uint64_t m_sent = 0;
    bool m_writing = false;
    bool m_closed = false;
    std::optional<std::string> m_last;
    // Input came while the queue to the program was full; the page is told.
    bool m_dropped = false;
};

}  // namespace orva::web
