// One HTTPS connection: requests one after another, an upload streamed into
// its file (then held until the main thread names or refuses the file), or
// the upgrade to the operator's WebSocket.
#pragma once

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frontends/web/http_routes.h"
#include "frontends/web/server_core.h"
#include "frontends/web/streams.h"
#include "frontends/web/upload.h"

namespace orva::web {

class HttpsSession : public std::enable_shared_from_this<HttpsSession> {
public:
    // `stream` is a new connection whose first bytes, already read into
    // `buffer`, begin a TLS handshake; `address` is the client's IP address;
    // `slot` its place among the connections.
    HttpsSession(Core& core, beast::tcp_stream stream, beast::flat_buffer buffer, std::string address, Slot slot);
    ~HttpsSession();

    // The TLS handshake, then the first request.
    void run();

    // The main thread has named (or refused) the uploaded file.
    void answer_upload(const UploadAnswer& answer);

private:
    RouteContext context();
    void read_header();
    void on_header();
    void on_request();
    void begin_upload(RouteContext& ctx);
    void read_chunk();
    void on_chunk(error_code ec);
    void refuse_upload(const Refusal& refusal);
    // Sends `res`, then reads the next request or, with `close`, shuts down.
    void send(Response res, bool close);
    void shut_down();
    // How long the client may take over its next step: a guest has less.
    std::chrono::steady_clock::duration client_time() const;

    Core& m_core;
    TlsStream m_stream;
    beast::flat_buffer m_buffer;
    std::string m_address;
    Slot m_slot;
    net::steady_timer m_hold;
    unsigned m_version = 11;
    std::optional<http::request_parser<http::empty_body>> m_header;
    std::optional<http::request_parser<http::string_body>> m_body;
    std::optional<http::request_parser<http::buffer_body>> m_upload_body;
    UploadRequest m_upload_request;
    std::unique_ptr<UploadFile> m_upload;
    std::vector<char> m_chunk;
};

}  // namespace orva::web
