// The web frontend's requests and answers.
#include "frontends/web/http_routes.h"

#include <nlohmann/json.hpp>

#include "common/utf.h"
#include "frontends/web/assets.h"

namespace orva::web {
namespace {

using nlohmann::json;

constexpr int kProgramIcon = 120;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decoding ("+" is a space in a query); nullopt for a bad escape or
// text that is not UTF-8.
std::optional<std::string> url_decode(std::string_view s, bool query) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            if (i + 2 >= s.size()) return std::nullopt;
            int hi = hex_value(s[i + 1]), lo = hex_value(s[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += char(hi * 16 + lo);
            i += 2;
        } else if (query && s[i] == '+') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
    if (utf::to_utf8(utf::to_utf16(out)) != out) return std::nullopt;
    return out;
}

std::string error_body(std::string_view code, std::string_view message) {
    return json{{"error", code}, {"message", message}}.dump();
}

Response refuse(const RequestHeader& req, http::status status, std::string_view code, std::string_view message) {
    return make_response(req, status, error_body(code, message));
}

std::string cookie_line(const std::string& value, bool clear) {
    std::string line = std::string(kSessionCookie) + "=" + value + "; Path=/; Secure; HttpOnly; SameSite=Strict";
    if (clear) line += "; Max-Age=0";
    return line;
}

bool json_body(const RequestHeader& req) {
    auto type = req[http::field::content_type];
    return type.substr(0, 16) == "application/json";
}

Response asset(const RequestHeader& req, std::string_view name, http::status status = http::status::ok) {
    const Asset* a = find_asset(name);
    if (!a) return refuse(req, http::status::not_found, "not-found", "No such page.");
    return make_response(req, status, std::string(a->body), a->type);
}

Response image(const RequestHeader& req, RouteContext& ctx, int id) {
    std::optional<std::string> bytes = ctx.channel.image(id);
    if (!bytes) return refuse(req, http::status::not_found, "not-found", "No such image.");
    return make_response(req, http::status::ok, std::move(*bytes), "image/bmp");
}

Response login(const Request& req, RouteContext& ctx) {
    if (!same_origin(req)) return refuse(req, http::status::forbidden, "origin", "Log in from the utility's own page.");
    if (!json_body(req)) return refuse(req, http::status::unsupported_media_type, "type", "The token comes as JSON.");
    if (ctx.access.valid(session_cookie(req), ctx.now)) return make_response(req, http::status::ok, "{\"ok\":true}");
    std::string token;
    const json body = json::parse(req.body(), nullptr, false);
    if (body.is_object() && body.contains("token") && body["token"].is_string()) token = body["token"];
    std::string session;
    switch (ctx.access.login(ctx.address, token, ctx.now, &session)) {
        case Access::Login::Ok: {
            Response res = make_response(req, http::status::ok, "{\"ok\":true}");
            res.set(http::field::set_cookie, cookie_line(session, false));
            ctx.logged_in = true;
            return res;
        }
        case Access::Login::WrongToken:
            ctx.hold = ctx.access.wrong_token_hold(ctx.address, ctx.now);
            return refuse(req, http::status::unauthorized, "wrong-token",
                          "That is not the token the utility printed last (a token opens one session).");
        case Access::Login::InUse:
            return refuse(req, http::status::conflict, "in-use", "Another operator is using the utility.");
    }
    return refuse(req, http::status::internal_server_error, "internal", "No answer.");
}

Response logout(const Request& req, RouteContext& ctx) {
    if (!same_origin(req))
        return refuse(req, http::status::forbidden, "origin", "Log out from the utility's own page.");
    if (!ctx.access.logout(session_cookie(req)))
        return refuse(req, http::status::unauthorized, "no-session", "This browser has no live session.");
    ctx.logged_out = true;
    Response res = make_response(req, http::status::ok, "{\"ok\":true}");
    res.set(http::field::set_cookie, cookie_line("", true));
    return res;
}

// The page for "/": the utility's own for the live session; a page saying
// the utility is in use while another session is live; else the page that
// logs in with the token in its address.
Response front_page(const RequestHeader& req, RouteContext& ctx) {
    if (ctx.access.valid(session_cookie(req), ctx.now)) return asset(req, "index.html");
    if (ctx.access.in_use(ctx.now)) return asset(req, "inuse.html", http::status::conflict);
    return asset(req, "index.html");
}

Response session_state(const RequestHeader& req, RouteContext& ctx) {
    const char* state = ctx.access.valid(session_cookie(req), ctx.now) ? "yours"
                        : ctx.access.in_use(ctx.now)                   ? "in-use"
                                                                       : "free";
    return make_response(req, http::status::ok, json{{"session", state}}.dump());
}

// Whether the client asked to keep the connection (HTTP/1.1 unless it said
// "close", HTTP/1.0 only when it said "keep-alive").
bool keep_alive(const RequestHeader& req) {
    http::token_list connection{req[http::field::connection]};
    if (req.version() >= 11) return !connection.exists("close");
    return connection.exists("keep-alive");
}

}  // namespace

void add_security_headers(http::response_header<>& header) {
    header.set("Content-Security-Policy",
               "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
               "base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    header.set("X-Content-Type-Options", "nosniff");
    header.set("X-Frame-Options", "DENY");
    header.set("Referrer-Policy", "no-referrer");
    header.set("Cross-Origin-Opener-Policy", "same-origin");
    header.set("Cross-Origin-Resource-Policy", "same-origin");
    header.set("Permissions-Policy", "camera=(), microphone=(), geolocation=()");
    header.set(http::field::cache_control, "no-store");
}

Response make_response(const RequestHeader& req, http::status status, std::string body, std::string_view type) {
    Response res{status, req.version()};
    res.set(http::field::server, kServerName);
    res.set(http::field::content_type, type);
    add_security_headers(res);
    res.keep_alive(keep_alive(req));
    res.body() = std::move(body);
    res.prepare_payload();
    return res;
}

std::string session_cookie(const RequestHeader& req) {
    const std::string_view prefix = kSessionCookie;
    for (auto it = req.find(http::field::cookie); it != req.end() && it->name() == http::field::cookie; ++it) {
        std::string_view rest = it->value();
        while (!rest.empty()) {
            size_t cut = rest.find(';');
            std::string_view pair = trim(rest.substr(0, cut));
            rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
            if (pair.size() > prefix.size() && pair.substr(0, prefix.size()) == prefix && pair[prefix.size()] == '=')
                return std::string(pair.substr(prefix.size() + 1));
        }
    }
    return "";
}

bool same_origin(const RequestHeader& req) {
    auto origin = req.find(http::field::origin);
    auto host = req.find(http::field::host);
    if (origin == req.end() || host == req.end() || host->value().empty()) return false;
    return origin->value() == "https://" + std::string(host->value());
}

std::string target_path(std::string_view target) {
    std::string_view path = target.substr(0, target.find('?'));
    return url_decode(path, false).value_or("");
}

std::optional<std::string> query_parameter(std::string_view target, std::string_view name) {
    size_t q = target.find('?');
    if (q == std::string_view::npos) return std::nullopt;
    std::string_view query = target.substr(q + 1);
    while (!query.empty()) {
        size_t cut = query.find('&');
        std::string_view pair = query.substr(0, cut);
        query = cut == std::string_view::npos ? std::string_view() : query.substr(cut + 1);
        size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name)
            return url_decode(eq == std::string_view::npos ? "" : pair.substr(eq + 1), true);
    }
    return std::nullopt;
}

Response handle_request(const Request& req, RouteContext& ctx) {
    if (req.find(http::field::host) == req.end())
        return refuse(req, http::status::bad_request, "host", "The request names no host.");
    const std::string path = target_path(req.target());
    const bool get = req.method() == http::verb::get, post = req.method() == http::verb::post;
    // The paths that change something take POST only; the rest GET only.
    const bool changes = path == "/login" || path == "/logout" || path == "/upload";
    if ((changes && !post) || (!changes && !get)) {
        Response res = refuse(req, http::status::method_not_allowed, "method", "Not with this method.");
        res.set(http::field::allow, changes ? "POST" : "GET");
        return res;
    }
    if (path == "/login") return login(req, ctx);
    if (path == "/logout") return logout(req, ctx);
    if (path == "/" || path == "/index.html") return front_page(req, ctx);
    if (path == "/session") return session_state(req, ctx);
    if (path == "/app.js" || path == "/app.css") return asset(req, path.substr(1));
    if (path == "/favicon.ico") return image(req, ctx, kProgramIcon);
    if (path.rfind("/image/", 0) == 0 && path.size() > 7 && path.size() <= 12 &&
        path.find_first_not_of("0123456789", 7) == std::string::npos) {
        if (!ctx.access.valid(session_cookie(req), ctx.now))
            return refuse(req, http::status::unauthorized, "no-session", "Log in first.");
        return image(req, ctx, std::stoi(path.substr(7)));
    }
    if (path == "/ws") return refuse(req, http::status::bad_request, "upgrade", "This is a WebSocket.");
    return refuse(req, http::status::not_found, "not-found", "No such page.");
}

std::optional<Response> check_websocket(const RequestHeader& req, RouteContext& ctx) {
    if (target_path(req.target()) != "/ws") return refuse(req, http::status::not_found, "not-found", "No such page.");
    if (!same_origin(req)) return refuse(req, http::status::forbidden, "origin", "Not from the utility's own page.");
    if (!ctx.access.valid(session_cookie(req), ctx.now))
        return refuse(req, http::status::unauthorized, "no-session", "Log in first.");
    return std::nullopt;
}

std::variant<UploadRequest, Response> check_upload(const RequestHeader& req, RouteContext& ctx) {
    if (!same_origin(req)) return refuse(req, http::status::forbidden, "origin", "Not from the utility's own page.");
    if (!ctx.access.valid(session_cookie(req), ctx.now))
        return refuse(req, http::status::unauthorized, "no-session", "Log in first.");
    if (req[http::field::content_type] != "application/octet-stream")
        return refuse(req, http::status::unsupported_media_type, "type", "The file comes as application/octet-stream.");
    auto length = req.find(http::field::content_length);
    if (length == req.end() || req.find(http::field::transfer_encoding) != req.end())
        return refuse(req, http::status::length_required, "length", "The upload must say its length.");
    const std::string_view digits = length->value();
    if (digits.empty() || digits.size() > 15 || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return refuse(req, http::status::bad_request, "length", "The upload's length is not a number.");
    UploadRequest out;
    out.size = std::stoull(std::string(digits));
    std::optional<UploadFolder> shown = ctx.channel.upload_folder();
    if (!shown) return refuse(req, http::status::conflict, "no-dialog", "No open-file dialog is shown.");
    auto folder = query_parameter(req.target(), "folder");
    auto dialog = query_parameter(req.target(), "dialog");
    if (!folder || *folder != shown->folder || !dialog || *dialog != std::to_string(shown->dialog))
        return refuse(req, http::status::forbidden, "folder",
                      "Files are uploaded only into the folder the open-file dialog shows.");
    auto name = query_parameter(req.target(), "name");
    if (!name) return refuse(req, http::status::bad_request, "name", "The upload names no file.");
    if (std::string problem = upload_name_problem(*name); !problem.empty())
        return refuse(req, http::status::bad_request, "name", problem);
    if (std::optional<Refusal> r = size_refusal(out.size, shown->limit))
        return refuse(req, http::status(r->status), "too-large", r->message);
    out.folder = std::move(*shown);
    out.name = std::move(*name);
    return out;
}

}  // namespace orva::web
