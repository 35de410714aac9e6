// The listening socket: each connection it accepts (up to the limit) goes to
// a detector, which tells TLS from plain HTTP by the first bytes and hands
// the connection to an HTTPS or a plain session.
#include <boost/beast/core/detect_ssl.hpp>
#include <memory>
#include <string>

#include "frontends/web/https_session.h"
#include "frontends/web/plain_session.h"
#include "frontends/web/server_core.h"
#include "frontends/web/streams.h"

namespace orva::web {

namespace {

class Detector : public std::enable_shared_from_this<Detector> {
public:
    Detector(Core& core, tcp::socket socket) : m_core(core), m_stream(std::move(socket)) {}

    void run() {
        m_stream.next_layer().expires_after(kHandshakeTime);
        beast::async_detect_ssl(m_stream, m_buffer, [self = shared_from_this()](error_code ec, bool tls) {
            if (ec) return;
            Core& core = self->m_core;
            error_code address_error;
            beast::tcp_stream& stream = self->m_stream.next_layer();
            const std::string address = stream.socket().remote_endpoint(address_error).address().to_string();
            if (tls)
                std::make_shared<HttpsSession>(core, std::move(stream), std::move(self->m_buffer), address,
                                               core.connections)
                    ->run();
            else
                std::make_shared<PlainSession>(core, std::move(stream), std::move(self->m_buffer), core.connections)
                    ->run();
        });
    }

private:
    Core& m_core;
    PlainStream m_stream;
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

}  // namespace orva::web
