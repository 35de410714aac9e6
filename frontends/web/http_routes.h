// What the web frontend answers to each request that is not a WebSocket or
// an upload's body: the page and its files, login, logout, the session's
// state and the program's images; and the checks that admit a WebSocket and
// an upload. Every response carries the same security headers. Runs on the
// server thread; knows nothing of sockets.
#pragma once

#include <boost/beast/http.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "frontends/web/access.h"
#include "frontends/web/channel.h"

namespace orva::web {

namespace http = boost::beast::http;
using Request = http::request<http::string_body>;
using RequestHeader = http::request_header<>;
using Response = http::response<http::string_body>;

// The Server field of every response.
inline constexpr const char* kServerName = "orva-utility";
// The session cookie's name: __Host- makes the browser insist on Secure,
// Path=/ and no Domain.
inline constexpr const char* kSessionCookie = "__Host-orva-session";

struct RouteContext {
    Access& access;
    Channel& channel;
    std::string address;  // the client's IP address
    Clock::time_point now;
    // Set by the request: a session began or ended; how long to hold the
    // answer (a wrong token, after many).
    bool logged_in = false;
    bool logged_out = false;
    Clock::duration hold{};
};

// The security headers every response carries: a Content-Security-Policy
// that allows only this server's own script, style, images and WebSocket,
// no framing, no sniffing, no referrer and no caching.
void add_security_headers(http::response_header<>& header);

// A response with the security headers: `body` of `type`.
Response make_response(const RequestHeader& req, http::status status, std::string body,
                       std::string_view type = "application/json");

// The value of the session cookie the request carries ("" when none).
std::string session_cookie(const RequestHeader& req);

// Whether the request comes from the page this server serves: its Origin is
// https:// followed by its own Host.
bool same_origin(const RequestHeader& req);

// The response to an ordinary request.
Response handle_request(const Request& req, RouteContext& ctx);

// nullopt when the request may become the operator's WebSocket; otherwise
// the refusal (403 for a foreign or missing Origin, 401 without the live
// session).
std::optional<Response> check_websocket(const RequestHeader& req, RouteContext& ctx);

// An upload admitted by check_upload.
struct UploadRequest {
    UploadFolder folder;
    std::string name;   // the file name asked for, UTF-8
    uint64_t size = 0;  // Content-Length
};

// Admits POST /upload?folder=FOLDER&name=NAME&dialog=N (the folder the
// open-file dialog shows, a plain file name, Content-Length no larger than
// the image area): the upload, or the refusal.
std::variant<UploadRequest, Response> check_upload(const RequestHeader& req, RouteContext& ctx);

// The target's path and its query parameters, percent-decoded; a parameter
// that is not valid UTF-8 once decoded is left out.
std::string target_path(std::string_view target);
std::optional<std::string> query_parameter(std::string_view target, std::string_view name);

}  // namespace orva::web
