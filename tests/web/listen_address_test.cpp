// --listen ADDR:PORT, and the host the start line names.
#include <gtest/gtest.h>
#include <unistd.h>

#include "frontends/web/listen_address.h"

namespace orva::web {
namespace {

TEST(ListenAddress, AddressesAndPortsAreRead) {
    const struct {
        const char* text;
        const char* host;
        int port;
    } rows[] = {
        {"127.0.0.1:8443", "127.0.0.1", 8443},
        {"[::1]:0", "::1", 0},
        {"0.0.0.0:443", "0.0.0.0", 443},
        {"localhost:65535", "localhost", 65535},
        {"[::]:8443", "::", 8443},
        {"ctl-7.plant.example:1", "ctl-7.plant.example", 1},
    };
    for (const auto& row : rows) {
        std::string error;
        auto a = parse_listen_address(row.text, &error);
        ASSERT_TRUE(a) << row.text << ": " << error;
        EXPECT_EQ(a->host, row.host);
        EXPECT_EQ(a->port, row.port);
    }
}

TEST(ListenAddress, BadOnesAreRefusedWithTheExpectedForm) {
    for (const char* text : {"127.0.0.1", "127.0.0.1:", ":8443", "::1:8443", "[::1]8443", "[::1", "host:65536",
                             "host:-1", "host:12a", "a b:1", "[zz]:1", "host:123456", "", "[]:1", "h/x:1"}) {
        std::string error;
        EXPECT_FALSE(parse_listen_address(text, &error)) << text;
        EXPECT_NE(error.find("(want ADDR:PORT, such as 127.0.0.1:8443)"), std::string::npos) << error;
        EXPECT_EQ(error.rfind(std::string("--listen ") + text + ": ", 0), 0u) << error;
    }
}

TEST(ListenAddress, TheBrowserIsGivenAHostItCanReach) {
    EXPECT_EQ(browser_host("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(browser_host("::1"), "[::1]");
    EXPECT_EQ(browser_host("localhost"), "localhost");
    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    EXPECT_EQ(browser_host("0.0.0.0"), name);
    EXPECT_EQ(browser_host("::"), name);
}

}  // namespace
}  // namespace orva::web
