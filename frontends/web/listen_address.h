// The --listen option's ADDR:PORT, and the host name the start line shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orva::web {

struct ListenAddress {
    std::string host;  // "127.0.0.1", "::1" (no brackets), "localhost", "0.0.0.0"
    uint16_t port = 0;
};

// "127.0.0.1:8443", "[::1]:8443", "0.0.0.0:443" or "NAME:8443"; port 0 asks
// the system for a free one. nullopt and the reason otherwise.
std::optional<ListenAddress> parse_listen_address(std::string_view text, std::string* error);

// The host part of the address a browser is given: a name or IPv4 address
// as it is, an IPv6 address in brackets, and for an address that means
// "every address" (0.0.0.0, ::) this machine's host name.
std::string browser_host(const std::string& host);

}  // namespace orva::web
