// The server's connections (a tcp_stream, and Beast's ssl_stream over one)
// behind one completion type. HTTP and WebSocket operations run over them as
// over any stream, but the TLS and TCP layers below are compiled once, in
// streams.cpp, for that one type, instead of once for every operation and
// handler that reads or writes: Asio and Beast instantiate their whole chain
// of layered operations per handler type. Reads, writes, handshake and
// shutdown behave exactly as the wrapped stream's own.
#pragma once

#include <boost/asio/async_result.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/beast/core/role.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <concepts>
#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "frontends/web/server_core.h"

namespace orva::web {

// A completion handler of any type behind one type: called once with the
// error and the bytes moved.
class Completion {
public:
    template <class Handler>
    requires(!std::same_as<std::decay_t<Handler>, Completion>)
        Completion(Handler&& handler)  // implicit, as a handler is passed on
        : m_handler(std::make_unique<Held<std::decay_t<Handler>>>(std::forward<Handler>(handler))) {}

    void operator()(error_code ec, std::size_t bytes) {
        auto handler = std::move(m_handler);
        handler->call(ec, bytes);
    }

private:
    struct Base {
        virtual ~Base() = default;
        virtual void call(error_code ec, std::size_t bytes) = 0;
    };
    template <class Handler>
    struct Held : Base {
        explicit Held(Handler h) : handler(std::move(h)) {}
        void call(error_code ec, std::size_t bytes) override { handler(ec, bytes); }
        Handler handler;
    };
    std::unique_ptr<Base> m_handler;
};

// `Next`'s reads and writes through one completion type (the functions that
// start them are compiled in streams.cpp).
template <class Next>
class OneCompletionStream {
public:
    using next_layer_type = Next;
    using executor_type = typename Next::executor_type;

    template <class... Args>
    explicit OneCompletionStream(Args&&... args) : m_next(std::forward<Args>(args)...) {}

    executor_type get_executor() { return m_next.get_executor(); }
    Next& next_layer() { return m_next; }

    template <class MutableBuffers, class Handler>
    auto async_read_some(const MutableBuffers& buffers, Handler&& handler) {
        return net::async_initiate<Handler, void(error_code, std::size_t)>(
            [this](auto&& h, const MutableBuffers& b) {
                read_some({net::buffer_sequence_begin(b), net::buffer_sequence_end(b)}, Completion(std::move(h)));
            },
            handler, buffers);
    }

    template <class ConstBuffers, class Handler>
    auto async_write_some(const ConstBuffers& buffers, Handler&& handler) {
        return net::async_initiate<Handler, void(error_code, std::size_t)>(
            [this](auto&& h, const ConstBuffers& b) {
                write_some({net::buffer_sequence_begin(b), net::buffer_sequence_end(b)}, Completion(std::move(h)));
            },
            handler, buffers);
    }

protected:
    void read_some(std::vector<net::mutable_buffer> buffers, Completion done);
    void write_some(std::vector<net::const_buffer> buffers, Completion done);

    Next m_next;
};

using PlainStream = OneCompletionStream<beast::tcp_stream>;

class TlsStream : public OneCompletionStream<beast::ssl_stream<beast::tcp_stream>> {
public:
    TlsStream(beast::tcp_stream stream, ssl::context& context) : OneCompletionStream(std::move(stream), context) {}

    // The server's side of the handshake; `already_read` holds the bytes
    // read from the connection before it.
    void async_handshake(net::const_buffer already_read, Completion done);
    // The TLS closing handshake; `done` gets no byte count.
    void async_shutdown(Completion done);
};

// How a WebSocket over TLS closes its connection: the TLS closing handshake,
// as over ssl_stream.
template <class Handler>
void async_teardown(beast::role_type, TlsStream& stream, Handler&& handler) {
    stream.async_shutdown([h = std::forward<Handler>(handler)](error_code ec, std::size_t) mutable { h(ec); });
}

}  // namespace orva::web
