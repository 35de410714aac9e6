// What keeps the server within bounds: the table of connections (guests give
// way, idlest first; the operator's connections never), the queue of input to
// the program, and the server itself when descriptors run short (the last
// ones kept back, accepting paused instead of spinning while none is left).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "frontends/web/certificate.h"
#include "frontends/web/channel.h"
#include "frontends/web/connections.h"
#include "frontends/web/server.h"

namespace orva::web {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(Connections, GuestsGiveWayIdlestFirstAndTheOperatorNever) {
    auto table = Connections::make(3, 2);
    const Clock::time_point t0 = Clock::now();
    std::vector<std::string> dropped;
    auto admit = [&](std::string name, Clock::time_point at, const std::string& address = "10.0.0.1") {
        Slot slot = table->admit(address, at);
        slot.on_drop([&dropped, name] { dropped.push_back(name); });
        return slot;
    };
    Slot a = admit("a", t0);
    a.set_operator(true);
    Slot b = admit("b", t0 + 1s), c = admit("c", t0 + 2s);
    EXPECT_EQ((std::pair{table->count(), table->guests()}), (std::pair{3, 2}));
    // Full: the guest that made no progress for the longest gives way.
    b.progress(t0 + 3s);
    Slot d = admit("d", t0 + 4s);
    ASSERT_TRUE(d);
    EXPECT_EQ(dropped, std::vector<std::string>{"c"});
    EXPECT_EQ(table->count(), 3);
    // Only the operator's connections left: the newest is refused.
    b.set_operator(true);
    d.set_operator(true);
    EXPECT_FALSE(table->admit("10.0.0.1", t0 + 5s));
    EXPECT_EQ(dropped.size(), 1u);
    // The dropped one's holder lets go later without touching another.
    c = Slot();
    EXPECT_EQ(table->count(), 3);
    d = Slot();
    Slot e = admit("e", t0 + 6s);
    EXPECT_TRUE(e);
    EXPECT_EQ((std::pair{table->count(), table->guests()}), (std::pair{3, 1}));
    // A place moved to the next holder stays one place.
    Slot moved = std::move(e);
    EXPECT_EQ(table->count(), 3);
    moved = Slot();
    EXPECT_EQ(table->count(), 2);

    // One address flooding makes room out of its own places, however idle
    // another address's guest is.
    table = Connections::make(4, 3);
    dropped.clear();
    Slot other = admit("other", t0, "10.0.0.2");
    std::vector<Slot> flood;
    for (int i = 1; i <= 5; ++i) flood.push_back(admit("flood" + std::to_string(i), t0 + i * 1s));
    EXPECT_EQ(dropped, (std::vector<std::string>{"flood1", "flood2", "flood3"}));
    EXPECT_EQ(table->guests(), 3);
}

TEST(Channel, InputIsBoundedInNumberAndBytes) {
    Channel channel;
    auto message = [](size_t size) {
        Input input;
        input.message.assign(size, 'x');
        return input;
    };
    for (size_t i = 0; i < Channel::kMaxInputs; ++i) ASSERT_TRUE(channel.push_input(message(10))) << i;
    EXPECT_FALSE(channel.push_input(message(10)));
    EXPECT_EQ(channel.wait_input().message.size(), 10u);
    EXPECT_TRUE(channel.push_input(message(10)));
    for (size_t i = 0; i < Channel::kMaxInputs; ++i) channel.wait_input();
    // Empty again: now filled by bytes rather than number.
    const size_t third = Channel::kMaxInputBytes / 3;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(channel.push_input(message(third))) << i;
    EXPECT_FALSE(channel.push_input(message(Channel::kMaxInputBytes - 3 * third + 1)));
    EXPECT_TRUE(channel.push_input(message(Channel::kMaxInputBytes - 3 * third)));
    channel.wait_input();
    EXPECT_TRUE(channel.push_input(message(third)));
}

// The process's CPU time, the server thread's included.
std::chrono::microseconds cpu_time() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto us = [](const timeval& t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

// A plain HTTP request to the server: its answer ("" when it closed at once).
std::string ask(int fd) {
    const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) return "";
    std::string reply;
    char buf[4096];
    for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) reply.append(buf, size_t(n));
    return reply;
}

int connect_to(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    timeval patience{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST(Server, KeepsDescriptorsBackAndPausesWhenNoneIsLeft) {
    char tmpl[] = "/tmp/orva-server-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::filesystem::path dir = tmpl;
    std::string error;
    auto identity = controller_tls_identity(dir, {"127.0.0.1"}, &error);
    ASSERT_TRUE(identity) << error;

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 128;  // the server keeps the last 32 back
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    Channel channel;
    auto server = Server::start(ServerSettings{{"127.0.0.1", 0}, *identity, "token"}, channel, &error);
    ASSERT_TRUE(server) << error;
    const uint16_t port = server->port();

    // Every descriptor taken, then the last two freed, above the server's
    // ceiling: the client gets one, and the one the server accepts is closed
    // at once.
    std::vector<int> fillers;
    for (int fd; (fd = dup(0)) >= 0;) fillers.push_back(fd);
    ASSERT_GT(fillers.size(), 32u);
    auto free_last = [&] {
        close(fillers.back());
        fillers.pop_back();
    };
    free_last();
    free_last();
    int client = connect_to(port);
    ASSERT_GE(client, 0) << std::strerror(errno);
    EXPECT_EQ(ask(client), "");
    close(client);

    // None left for the server: it waits rather than trying again at once.
    for (int i = 0; i < 2; ++i) fillers.push_back(dup(0));
    ASSERT_GE(fillers.back(), 0);
    free_last();
    client = connect_to(port);
    ASSERT_GE(client, 0) << std::strerror(errno);
    const auto cpu_before = cpu_time();
    std::this_thread::sleep_for(1s);
    const auto cpu = cpu_time() - cpu_before;
    for (int fd : fillers) close(fd);
    EXPECT_LT(cpu, 250ms) << "the server spins while it cannot accept";
    // With descriptors back, the waiting connection is served.
    EXPECT_NE(ask(client).find("301 Moved Permanently"), std::string::npos);
    close(client);

    server.reset();
    setrlimit(RLIMIT_NOFILE, &saved);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orva::web
