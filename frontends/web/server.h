// The web frontend's HTTPS and WebSocket server (Boost.Beast on Asio, TLS by
// OpenSSL) on a thread of its own. It never touches the window model: it
// serves the page, admits one operator's session, forwards the operator's
// input to the main thread and pushes the newest state the main thread
// published, all through the Channel.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "frontends/web/certificate.h"
#include "frontends/web/channel.h"
#include "frontends/web/listen_address.h"

namespace orva::web {

struct ServerSettings {
    ListenAddress listen;
    TlsIdentity identity;
    std::string token;  // the first start token
};

class Server {
public:
    // Listens, prints the start line (the address with the token, and the
    // certificate's fingerprint) on standard error and starts the server
    // thread. A token opens one session: when that session ends, a new start
    // line carries the token that opens the next. nullptr and a message when
    // the address cannot be listened on or the certificate cannot be used.
    static std::unique_ptr<Server> start(ServerSettings settings, Channel& channel, std::string* error);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // The port listened on (the one the system chose for port 0).
    uint16_t port() const { return m_port; }

    // Once the channel has ended: gives the browser up to `grace` to receive
    // the end, then closes every connection and ends the thread.
    void stop(std::chrono::milliseconds grace);

    struct Core;

private:
    Server() = default;
    std::unique_ptr<Core> m_core;
    std::thread m_thread;
    uint16_t m_port = 0;
};

}  // namespace orva::web
