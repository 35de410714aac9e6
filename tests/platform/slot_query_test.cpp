// The slot module query of the System Config page on a controller: the slot
// switched once, the module's name read within the bounded wait, spaces
// when the port cannot be opened or the module stays silent.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pages/sysinfo/sysinfo.h"
#include "platform/handles.h"
#include "simulator/module.h"
#include "simulator/sim_controller.h"
#include "tests/platform/serial_port_io.h"

namespace {

using namespace orva::test;

// A controller in a temporary directory made current, with COM0 mapped to
// `com0` (or left unmapped when empty).
class QueryController {
public:
    explicit QueryController(const std::string& com0) {
        m_dir = std::filesystem::temp_directory_path() /
                ("orva-serial-" + std::to_string(::getpid()) + "-" + std::to_string(++s_count));
        std::string error;
        EXPECT_TRUE(orva::sim::init_controller(m_dir, 262144, true, &error)) << error;
        std::ifstream in(m_dir / "controller.toml");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto at = text.find("COM0 = \"module\"");
        text.replace(at, std::strlen("COM0 = \"module\""), com0.empty() ? std::string() : "COM0 = \"" + com0 + "\"");
        std::ofstream(m_dir / "controller.toml") << text;
        m_controller = orva::sim::SimController::open_dir(m_dir, &error);
        EXPECT_TRUE(m_controller) << error;
        orva::sim::set_current(m_controller.get());
    }
    ~QueryController() {
        orva::sim::set_current(nullptr);
        m_controller->close();
        m_controller.reset();
        std::filesystem::remove_all(m_dir);
    }
    std::vector<std::string> log() {
        std::ifstream in(m_dir / orva::sim::kEventLogFile);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }

private:
    static inline int s_count = 0;
    std::filesystem::path m_dir;
    std::unique_ptr<orva::sim::SimController> m_controller;
};

TEST(SlotQuery, SwitchesTheLowEightBitsOfTheSlotAndReadsTheName) {
    std::string error;
    auto module = orva::sim::SimulatedModule::start({"XY123", std::nullopt, 0, false}, &error);
    ASSERT_TRUE(module) << error;
    QueryController c(module->slave_path());
    char name[8];
    std::memset(name, '#', sizeof name);
    QuerySlotModuleName(257, name);
    EXPECT_STREQ(name, "XY123");
    EXPECT_EQ(name[6], '#') << "wrote past the six bytes";
    auto log = c.log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("ChangeSlotToVex(1)"), std::string::npos) << log[0];
    EXPECT_EQ(module->requests(), 1);
    EXPECT_EQ(orva::platform::open_handle_count(), 0u);
}

TEST(SlotQuery, HearsAModuleThatAnswersWithinTheBoundedWait) {
    std::string error;
    auto module = orva::sim::SimulatedModule::start({"SLOW1", std::nullopt, 40, false}, &error);
    ASSERT_TRUE(module) << error;
    QueryController c(module->slave_path());
    char name[8];
    QuerySlotModuleName(1, name);
    EXPECT_STREQ(name, "SLOW1");
}

TEST(SlotQuery, AnUnopenablePortStillSwitchesTheSlotOnceAndGivesSpaces) {
    for (const std::string& com0 : {std::string("/nonexistent/tty0"), std::string()}) {
        QueryController c(com0);
        char name[8];
        QuerySlotModuleName(1, name);
        EXPECT_STREQ(name, "     ");
        auto log = c.log();
        ASSERT_EQ(log.size(), 1u) << com0;
        EXPECT_NE(log[0].find("ChangeSlotToVex(1)"), std::string::npos);
    }
}

TEST(SlotQuery, ASilentModuleCostsTheBoundedWaitOnly) {
    std::string error;
    auto module = orva::sim::SimulatedModule::start({"OR5DI", std::nullopt, 0, true}, &error);
    ASSERT_TRUE(module) << error;
    QueryController c(module->slave_path());
    char name[8];
    auto start = Clock::now();
    QuerySlotModuleName(1, name);
    long ms = elapsed_ms(start);
    EXPECT_STREQ(name, "     ");
    EXPECT_GE(ms, 95);
    EXPECT_LE(ms, 250);
}

}  // namespace
