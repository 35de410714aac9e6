// The simulated I/O module on its pseudo-terminal, asked through the serial
// port as the program asks it: the answer its configuration gives, only to a
// whole request line, and only after its delay.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "simulator/module.h"
#include "tests/platform/serial_port_io.h"

namespace {

using namespace orva::test;

std::string ask_module(const std::string& path, int wait_ms = 100) {
    HANDLE port = open_port(path);
    if (port == INVALID_HANDLE_VALUE) return "<no port>";
    COMMTIMEOUTS t{20, 0, DWORD(wait_ms), 10, 1000};
    SetCommTimeouts(port, &t);
    DWORD written = 0;
    WriteFile(port, "$00M\r", 5, &written, nullptr);
    std::string got = read_port(port, 32);
    CloseHandle(port);
    return got;
}

TEST(SimulatedModule, AnswersTheNameRequestAsConfigured) {
    struct Row {
        orva::sim::ModuleConfig config;
        std::string expect;
    };
    const Row rows[] = {
        {{"OR5DI", std::nullopt, 0, false}, "!00OR5DI\r"},
        {{"AB   ", std::nullopt, 0, false}, "!00AB   \r"},
        {{"OR5DI", std::string("!00A\0CDE\r", 9), 0, false}, std::string("!00A\0CDE\r", 9)},
        {{"OR5DI", std::string("?00OR5DI\r"), 0, false}, "?00OR5DI\r"},
        {{"OR5DI", std::nullopt, 0, true}, ""},
    };
    for (const Row& row : rows) {
        std::string error;
        auto module = orva::sim::SimulatedModule::start(row.config, &error);
        ASSERT_TRUE(module) << error;
        EXPECT_EQ(ask_module(module->slave_path()), row.expect);
        EXPECT_EQ(module->requests(), 1);
    }
}

TEST(SimulatedModule, AnswersOnlyAWholeRequestLineAndAfterItsDelay) {
    std::string error;
    auto module = orva::sim::SimulatedModule::start({"OR5DI", std::nullopt, 60, false}, &error);
    ASSERT_TRUE(module) << error;
    HANDLE port = open_port(module->slave_path());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    set_timeouts(port, 0, 0, 40);
    DWORD written = 0;
    WriteFile(port, "x$00M\r$01M\r$0", 13, &written, nullptr);
    EXPECT_EQ(read_port(port, 9), "");
    WriteFile(port, "0M\r", 3, &written, nullptr);
    set_timeouts(port, 20, 0, 30);
    EXPECT_EQ(read_port(port, 9), "") << "answered before its delay";
    set_timeouts(port, 20, 0, 200);
    auto start = Clock::now();
    EXPECT_EQ(read_port(port, 9), "!00OR5DI\r");
    EXPECT_LE(elapsed_ms(start), 100);
    EXPECT_EQ(module->requests(), 1);
    CloseHandle(port);
}

}  // namespace
