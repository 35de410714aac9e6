// The exit paths of the sheet, the registry save and the reboot offer, run
// through the real program.
#include <gtest/gtest.h>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

const std::string kSaveAsk = R"(box "Save Registry" "Save Registry" "Save your settings to registry ?" 0x24 -> )";
const std::string kProceed =
    R"(box "Save Registry" "Save Registry" "It would take 10-15 seconds to store your settings into internal non-volatile memory. Proceed ?" 0x4 -> )";
const std::string kReboot =
    R"(box "Save Registry" "System Reboot" "All settings you changed will take effect after system reboot, reboot now ?" 0x24 -> )";

TEST(SheetExit, AnsweringNoEndsTheProgramWithoutTouchingTheRegistry) {
    TempController c;
    c.reg_set("Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Windows", 200);
    RunResult r = c.run("answer NO\ncancel\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, kSaveAsk + "NO\nexit 0\n");
    EXPECT_NE(c.tool({"reg", "--saved", "get", "Comm\\FTPD", "DefaultDir"}).out,
              c.reg_get("Comm\\FTPD", "DefaultDir") + "\n");
    for (auto& line : c.log()) EXPECT_EQ(line.find("reboot"), std::string::npos) << line;
}

TEST(SheetExit, YesThenNoDoesNotFlush) {
    TempController c;
    c.reg_set("Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Windows", 200);
    RunResult r = c.run("answer YES NO\ncancel\n");
    EXPECT_EQ(r.out, kSaveAsk + "YES\n" + kProceed + "NO\nexit 0\n");
    EXPECT_NE(c.tool({"reg", "--saved", "get", "Comm\\FTPD", "DefaultDir"}).out,
              c.reg_get("Comm\\FTPD", "DefaultDir") + "\n");
}

TEST(SheetExit, FlushWithoutRebootMakesTheSavedCopyEqualTheLiveOne) {
    TempController c;
    c.reg_set("Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Windows", 200);
    RunResult r = c.run("answer YES YES NO\ncancel\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kSaveAsk + "YES\n" + kProceed + "YES\n" + kReboot + "NO\nexit 0\n");
    EXPECT_EQ(c.tool({"reg", "--saved", "export"}).out, c.tool({"reg", "export"}).out);
    for (auto& line : c.log()) EXPECT_EQ(line.find("reboot"), std::string::npos) << line;
}

TEST(SheetExit, RebootAfterTheFlushEndsTheRunAsARestart) {
    TempController c;
    RunResult r = c.run("answer YES YES YES\nok\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kSaveAsk + "YES\n" + kProceed + "YES\n" + kReboot + "YES\nreboot\nexit 0\n");
    auto log = c.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "reboot()");
}

TEST(SheetExit, OkAsksOnTheFirstCreatedPageAndCancelOnTheCurrentOne) {
    TempController c;
    RunResult ok = c.run("tab 5\nanswer NO\nok\n");
    EXPECT_EQ(ok.out, kSaveAsk + "NO\nexit 0\n");
    EXPECT_EQ(ok.err, "");  // nothing left open
    RunResult cancel = c.run("tab 5\nanswer NO\ncancel\n");
    EXPECT_EQ(cancel.out, R"(box "About Orva_Utility" "Save Registry" "Save your settings to registry ?" 0x24 -> NO)"
                          "\nexit 0\n");
}

TEST(SheetExit, FailedFlushIsReportedAndTheProgramStillEnds) {
    TempController c;
    c.set_config("faults", "registry_flush_fails", "true");
    RunResult r = c.run("answer YES YES\ncancel\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, kSaveAsk + "YES\n" + kProceed +
                         "YES\nbox \"Save Registry\" \"Save Registry\" \"RegFlushKey failed\" 0x30 -> OK\nexit 0\n");
}

TEST(SheetExit, EveryPageOpensAndNothingIsLeftOpenAtTheEnd) {
    TempController c;
    RunResult r = c.run("tab 2\ntab 3\ntab 4\ntab 5\ntab 1\nanswer NO\ncancel\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kSaveAsk + "NO\nexit 0\n");
    EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace orva::test
