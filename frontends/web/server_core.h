// What every part of the server thread shares: the Asio and Beast names it
// uses, the limits it holds connections to, and the core (the I/O context,
// the TLS context, the listening socket, the operator's WebSocket and the
// uploads waiting for the main thread's answer). Everything here lives and
// runs on the server thread, except what Server::start and Server::stop do
// before and after it runs.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/error.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <string>

#include "frontends/web/access.h"
#include "frontends/web/channel.h"
#include "frontends/web/connections.h"
#include "frontends/web/server.h"

namespace orva::web {

namespace beast = boost::beast;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using beast::error_code;

// The most connections at once, and the most of them from clients that have
// not shown the operator's session (guests); past either, the guest idle the
// longest is closed to make room, or the new connection when there is none.
inline constexpr int kMaxConnections = 48;
inline constexpr int kMaxGuests = 16;
// Descriptors kept for the program's own files (the registry, the flash, the
// programs it starts): a connection whose descriptor would be one of the last
// these many the process may open is closed at once (a quarter of the limit
// when that is lower).
inline constexpr int kReservedDescriptors = 64;
// How long accepting waits when the process or the system is out of
// descriptors, instead of trying again at once.
inline constexpr auto kAcceptPause = std::chrono::milliseconds(200);
// Until the first bytes tell TLS from plain HTTP.
inline constexpr auto kFirstBytesTime = std::chrono::seconds(3);
// A guest's TLS handshake, and each of its requests' header and body.
inline constexpr auto kGuestTime = std::chrono::seconds(5);
// The operator's requests' header and body, each upload's chunk, each
// response.
inline constexpr auto kRequestTime = std::chrono::seconds(30);
inline constexpr size_t kHeaderLimit = 16 * 1024;
// An ordinary request's body (an upload's is its announced length).
inline constexpr size_t kBodyLimit = 16 * 1024;
// One WebSocket message from the page: far more than any action it sends.
inline constexpr size_t kMessageLimit = 16 * 1024;
// What an upload reads at once.
inline constexpr size_t kUploadChunk = 64 * 1024;

class WsSession;
class HttpsSession;

// A message to the page that ends its session: {"type":TYPE,"reason":REASON}.
std::string session_message(const char* type, const char* reason);

struct Server::Core {
    Core(ServerSettings s, Channel& c);
    ~Core();

    // Declared first, so destroyed last: the handlers it still holds are
    // destroyed with it and touch nothing else here.
    net::io_context ioc{1};
    ssl::context tls{ssl::context::tls_server};
    tcp::acceptor acceptor{ioc};
    net::steady_timer idle_timer{ioc};
    ServerSettings settings;
    Channel& channel;
    Access access;
    net::steady_timer accept_timer{ioc};
    // Shared with the connections' places, which may outlive the core.
    std::shared_ptr<Connections> connections = Connections::make(kMaxConnections, kMaxGuests);
    // Accepted descriptors from this number on are closed at once.
    int descriptor_ceiling = 0;
    bool short_of_descriptors = false;
    std::weak_ptr<WsSession> operator_ws;
    std::map<uint64_t, std::shared_ptr<HttpsSession>> waiting_uploads;
    uint64_t next_upload = 1;
    std::atomic<bool> wake_posted{false};
    bool ending = false;
    std::promise<void> flushed;
    bool flushed_set = false;

    // Accepts connections, each given its place and handed to a detector,
    // until the acceptor is closed (listener.cpp).
    void accept();
    void admit(tcp::socket socket);
    // Prints the start line, with the token that now opens a session, on
    // standard error.
    void announce();
    // On the main thread's wake-up: answers the uploads it named, begins the
    // end once the channel has ended, otherwise sends the newest state.
    void on_wake();
    // Ends the operator's session after its idle time, checked each second.
    void watch_idle();
    // Ends the operator's WebSocket with `why` as its last message.
    void close_operator(const std::string& why);
    // `ws` becomes the operator's WebSocket; the one before it is told it
    // was replaced.
    void adopt(const std::shared_ptr<WsSession>& ws);
    // The last message has reached the browser (or never will).
    void flush_done() {
        if (!flushed_set) flushed.set_value();
        flushed_set = true;
    }
    // Keeps `session` until the main thread answers its upload; the id the
    // answer will carry.
    uint64_t wait_for_upload(std::shared_ptr<HttpsSession> session) {
        const uint64_t id = next_upload++;
        waiting_uploads[id] = std::move(session);
        return id;
    }
};

using Core = Server::Core;

}  // namespace orva::web
