// The one place the TCP and TLS layers' operations are compiled.
#include "frontends/web/streams.h"

#include <boost/beast/ssl.hpp>

namespace orva::web {

template <class Next>
void OneCompletionStream<Next>::read_some(std::vector<net::mutable_buffer> buffers, Completion done) {
    m_next.async_read_some(buffers, std::move(done));
}

template <class Next>
void OneCompletionStream<Next>::write_some(std::vector<net::const_buffer> buffers, Completion done) {
    m_next.async_write_some(buffers, std::move(done));
}

template class OneCompletionStream<beast::tcp_stream>;
template class OneCompletionStream<beast::ssl_stream<beast::tcp_stream>>;

void TlsStream::async_handshake(net::const_buffer already_read, Completion done) {
    m_next.async_handshake(ssl::stream_base::server, already_read, std::move(done));
}

void TlsStream::async_shutdown(Completion done) {
    m_next.async_shutdown([done = std::move(done)](error_code ec) mutable { done(ec, 0); });
}

}  // namespace orva::web
