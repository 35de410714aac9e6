// Plain HTTP on the HTTPS port: one request, answered with a redirect to the
// same host over HTTPS (its address left out, as it may hold the token),
// then closed.
#pragma once

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <memory>

#include "frontends/web/server_core.h"
#include "frontends/web/streams.h"

namespace orva::web {

class PlainSession : public std::enable_shared_from_this<PlainSession> {
public:
    // `stream` is a new connection whose first bytes, already read into
    // `buffer`, are not a TLS handshake; `slot` is its place among the
    // connections.
    PlainSession(Core& core, beast::tcp_stream stream, beast::flat_buffer buffer, Slot slot);
    ~PlainSession();

    // Reads the request's header, then redirects.
    void run();

private:
    void redirect();
    void close();

    Core& m_core;
    PlainStream m_stream;
    beast::flat_buffer m_buffer;
    Slot m_slot;
    beast::http::request_parser<beast::http::empty_body> m_parser;
};

}  // namespace orva::web
