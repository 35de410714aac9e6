// A restart (the device library's reboot) with a fault at each call to the
// saved copy's files in turn, and a controller opened while its saved copy
// could not be read: the live registry becomes the saved copy, or stays as
// it was with the failure reported; it never falls back to the factory
// registry because of a read error, which would lose the operator's saved
// settings at the next save.
#include <gtest/gtest.h>

#include <string>

#include "tests/fault/fault_injector.h"
#include "tests/fault/program_run.h"

namespace orva::test {
namespace {

const uint8_t kData[4] = {1, 2, 3, 4};

// Whether the live copy holds `name` under the key "Mine".
bool live_has(ProgramRun& p, const char* name) {
    sim::RegValue v;
    return p.controller().registry()->get(sim::Hive::Live, "Mine", name, &v) == sim::RegResult::Ok;
}

// A saved copy holding Mine\Saved.
void save(ProgramRun& p) {
    sim::RegistryStore& store = *p.controller().registry();
    ASSERT_EQ(store.make_key(sim::Hive::Live, "Mine"), sim::RegResult::Ok);
    ASSERT_EQ(store.set(sim::Hive::Live, "Mine", "Saved", sim::kRegBinary, kData, 4), sim::RegResult::Ok);
    ASSERT_TRUE(p.controller().reg_flush());
}

// A change of the live copy since the save: Mine\Unsaved.
void change(ProgramRun& p) {
    sim::RegistryStore& store = *p.controller().registry();
    ASSERT_EQ(store.set(sim::Hive::Live, "Mine", "Unsaved", sim::kRegBinary, kData, 4), sim::RegResult::Ok)
        << store.last_error();
}

class RestartUnderFaults : public ::testing::TestWithParam<const Fault*> {};

TEST_P(RestartUnderFaults, LoadsTheSavedCopyOrKeepsTheLiveOneNeverTheFactoryRegistry) {
    const Fault& fault = *GetParam();
    ProgramRun program;
    program.open();
    save(program);
    FaultInjector injector;
    injector.watch(sim::kSavedCopyFile);
    int met = 0;
    for (int nth = 1;; ++nth) {
        change(program);
        injector.arm(fault, nth);
        std::string error;
        const bool ok = program.controller().restart(&error);
        injector.disarm();
        const std::string where = fault.name + " at call " + std::to_string(nth) + " (" + injector.hit() + ")";
        EXPECT_TRUE(live_has(program, "Saved")) << where << ": " << error;
        if (ok) EXPECT_FALSE(live_has(program, "Unsaved")) << where << ": reported as loaded, but was not";
        else EXPECT_TRUE(live_has(program, "Unsaved")) << where << ": " << error;
        if (!injector.fired()) {
            EXPECT_TRUE(ok) << error;
            break;
        }
        ++met;
    }
    EXPECT_GE(met, fault.error ? 5 : 1);
}

INSTANTIATE_TEST_SUITE_P(EachCall, RestartUnderFaults, ::testing::Values(&io_error(), &short_transfer()),
                         [](const auto& info) { return std::string(info.param->error ? "EIO" : "Short"); });

// The saved copy could not be read while the controller was opened; by the
// restart it can. The problem is told as such, not as damage.
TEST(RestartAfterAReadError, LoadsTheSavedCopyThatCouldNotBeReadAtOpening) {
    ProgramRun program;
    program.open();
    save(program);
    FaultInjector injector;
    injector.watch(sim::kSavedCopyFile);
    int unreadable = 0;
    for (int nth = 1;; ++nth) {
        change(program);
        program.close();
        injector.arm(io_error(), nth);
        program.open();
        injector.disarm();
        const std::string where = "EIO at call " + std::to_string(nth) + " (" + injector.hit() + ")";
        for (const std::string& problem : program.controller().registry_problems()) {
            EXPECT_NE(problem.find("cannot be read: disk I/O error"), std::string::npos) << where << ": " << problem;
            ++unreadable;
        }
        std::string error;
        EXPECT_TRUE(program.controller().restart(&error)) << where << ": " << error;
        EXPECT_TRUE(live_has(program, "Saved")) << where;
        EXPECT_FALSE(live_has(program, "Unsaved")) << where;
        if (!injector.fired()) break;
    }
    EXPECT_GE(unreadable, 5);
}

}  // namespace
}  // namespace orva::test
