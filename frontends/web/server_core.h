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
#include "frontends/web/server.h"

namespace orva::web {

namespace beast = boost::beast;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using beast::error_code;

// The most connections at once; more are closed as soon as accepted.
inline constexpr int kMaxConnections = 32;
// Until the first bytes tell TLS from plain HTTP, and until the TLS
// handshake or a plain request's header is done.
inline constexpr auto kHandshakeTime = std::chrono::seconds(10);
// Each request's header and body, each upload's chunk and each response.
inline constexpr auto kRequestTime = std::chrono::seconds(30);
inline constexpr size_t kHeaderLimit = 16 * 1024;
// An ordinary request's body (an upload's is its announced length).
inline constexpr size_t kBodyLimit = 16 * 1024;
// One WebSocket message from the page.
inline constexpr size_t kMessageLimit = 64 * 1024;
// What an upload reads at once.
inline constexpr size_t kUploadChunk = 64 * 1024;

class WsSession;
class HttpsSession;

// Counts a connection for as long as it lives.
class Ticket {
public:
    explicit Ticket(std::shared_ptr<int> count) : m_count(std::move(count)) { ++*m_count; }
    ~Ticket() { --*m_count; }
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

private:
    std::shared_ptr<int> m_count;
};

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
    std::shared_ptr<int> connections = std::make_shared<int>(0);
    std::weak_ptr<WsSession> operator_ws;
    std::map<uint64_t, std::shared_ptr<HttpsSession>> waiting_uploads;
    uint64_t next_upload = 1;
    std::atomic<bool> wake_posted{false};
    bool ending = false;
    std::promise<void> flushed;
    bool flushed_set = false;

    // Accepts connections, each handed to a detector, until the acceptor is
    // closed (listener.cpp).
    void accept();
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
