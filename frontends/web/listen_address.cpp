// ADDR:PORT for the web frontend.
#include "frontends/web/listen_address.h"

#include <unistd.h>

#include <climits>

namespace orva::web {
namespace {

bool host_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

}  // namespace

std::optional<ListenAddress> parse_listen_address(std::string_view text, std::string* error) {
    auto bad = [&](const std::string& why) {
        *error = "--listen " + std::string(text) + ": " + why + " (want ADDR:PORT, such as 127.0.0.1:8443)";
        return std::nullopt;
    };
    ListenAddress out;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string_view::npos) return bad("no closing ]");
        out.host = std::string(text.substr(1, close - 1));
        if (close + 1 >= text.size() || text[close + 1] != ':') return bad("no port");
        port = text.substr(close + 2);
        if (out.host.empty() || out.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
            return bad("not an IPv6 address");
    } else {
        size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) return bad("no port");
        out.host = std::string(text.substr(0, colon));
        port = text.substr(colon + 1);
        if (out.host.find(':') != std::string::npos) return bad("an IPv6 address goes in brackets");
        if (out.host.empty()) return bad("no address");
        for (char c : out.host)
            if (!host_name_char(c)) return bad("not an address or host name");
    }
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos)
        return bad("the port is not a number");
    unsigned long value = std::stoul(std::string(port));
    if (value > 65535) return bad("the port is above 65535");
    out.port = uint16_t(value);
    return out;
}

std::string browser_host(const std::string& host) {
    if (host == "0.0.0.0" || host == "::" || host == "0:0:0:0:0:0:0:0") {
        char name[HOST_NAME_MAX + 1] = {};
        if (gethostname(name, sizeof name - 1) == 0 && name[0]) return name;
        return host == "0.0.0.0" ? "127.0.0.1" : "[::1]";
    }
    if (host.find(':') != std::string::npos) return "[" + host + "]";
    return host;
}

}  // namespace orva::web
