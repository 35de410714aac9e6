// The redirect from plain HTTP to HTTPS.
#include "frontends/web/plain_session.h"

#include <algorithm>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <string>
#include <string_view>

#include "frontends/web/http_routes.h"
#include "frontends/web/listen_address.h"

namespace orva::web {

namespace {

// Whether `c` may stand in the Host header the redirect repeats.
bool host_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-.:[]").find(c) != std::string_view::npos;
}

}  // namespace

PlainSession::PlainSession(Core& core, beast::tcp_stream stream, beast::flat_buffer buffer, Slot slot)
    : m_core(core), m_stream(std::move(stream)), m_buffer(std::move(buffer)), m_slot(std::move(slot)) {}

PlainSession::~PlainSession() = default;

void PlainSession::run() {
    m_slot.on_drop([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->m_stream.next_layer().close();
    });
    m_parser.header_limit(kHeaderLimit);
    m_stream.next_layer().expires_after(kGuestTime);
    http::async_read_header(m_stream, m_buffer, m_parser, [self = shared_from_this()](error_code ec, size_t) {
        if (ec) return self->close();
        self->redirect();
    });
}

void PlainSession::redirect() {
    const auto& req = m_parser.get();
    std::string host(req[http::field::host]);
    if (host.empty() || host.size() > 255 || !std::all_of(host.begin(), host.end(), host_char))
        host =
            browser_host(m_core.settings.listen.host) + ":" + std::to_string(m_core.acceptor.local_endpoint().port());
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

void PlainSession::close() {
    error_code ec;
    m_stream.next_layer().socket().shutdown(tcp::socket::shutdown_both, ec);
    m_stream.next_layer().close();
}

}  // namespace orva::web
