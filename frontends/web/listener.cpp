// The listening socket: each connection it accepts gets its place in the
// table of connections (or is closed at once), then goes to a detector, which
// tells TLS from plain HTTP by the first bytes and hands the connection to an
// HTTPS or a plain session.
#include <boost/beast/core/detect_ssl.hpp>
#include <cerrno>
#include <cstdio>
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
    Detector(Core& core, tcp::socket socket, Slot slot)
        : m_core(core), m_stream(std::move(socket)), m_slot(std::move(slot)) {}

    void run() {
        m_slot.on_drop([weak = weak_from_this()] {
            if (auto self = weak.lock()) self->m_stream.next_layer().close();
        });
        m_stream.next_layer().expires_after(kFirstBytesTime);
        beast::async_detect_ssl(m_stream, m_buffer, [self = shared_from_this()](error_code ec, bool tls) {
            if (ec) return;
            Core& core = self->m_core;
            self->m_slot.progress(Clock::now());
            error_code address_error;
            beast::tcp_stream& stream = self->m_stream.next_layer();
            const std::string address = stream.socket().remote_endpoint(address_error).address().to_string();
            if (tls)
                std::make_shared<HttpsSession>(core, std::move(stream), std::move(self->m_buffer), address,
                                               std::move(self->m_slot))
                    ->run();
            else
                std::make_shared<PlainSession>(core, std::move(stream), std::move(self->m_buffer),
                                               std::move(self->m_slot))
                    ->run();
        });
    }

private:
    Core& m_core;
    PlainStream m_stream;
    Slot m_slot;
    beast::flat_buffer m_buffer;
};

// Whether accepting failed for want of descriptors or memory, which trying
// again at once cannot cure.
bool out_of_resources(const error_code& ec) {
    return ec == net::error::no_descriptors || ec == net::error::no_buffer_space || ec == net::error::no_memory ||
           ec == error_code(ENFILE, net::error::get_system_category());
}

}  // namespace

void Server::Core::accept() {
    acceptor.async_accept([this](error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
        if (ec && out_of_resources(ec)) {
            if (!short_of_descriptors)
                std::fprintf(stderr, "orva-utility: web server: cannot accept connections: %s\n", ec.message().c_str());
            short_of_descriptors = true;
            accept_timer.expires_after(kAcceptPause);
            accept_timer.async_wait([this](error_code wait_error) {
                if (!wait_error) accept();
            });
            return;
        }
        if (!ec) {
            short_of_descriptors = false;
            admit(std::move(socket));
        }
        accept();
    });
}

void Server::Core::admit(tcp::socket socket) {
    error_code ec;
    if (ending || socket.native_handle() >= descriptor_ceiling) {
        socket.close(ec);
        return;
    }
    const std::string address = socket.remote_endpoint(ec).address().to_string();
    Slot slot = connections->admit(address, Clock::now());
    if (!slot) {
        socket.close(ec);
        return;
    }
    std::make_shared<Detector>(*this, std::move(socket), std::move(slot))->run();
}

}  // namespace orva::web
