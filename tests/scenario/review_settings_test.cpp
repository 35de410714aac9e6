// The "Save and Reboot" button of the "Save Registry" page, which runs the
// registry save from inside the sheet and leaves the page open, and the
// Auto-execute page's one load when its tab is first selected.
#include <gtest/gtest.h>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

const std::string kProceed =
    R"(box "Save Registry" "Save Registry" "It would take 10-15 seconds to store your settings into internal non-volatile memory. Proceed ?" 0x4 -> )";
const std::string kReboot =
    R"(box "Save Registry" "System Reboot" "All settings you changed will take effect after system reboot, reboot now ?" 0x24 -> )";
const std::string kExit = "answer NO\ncancel\n";
const std::string kExitLines =
    "box \"Save Registry\" \"Save Registry\" \"Save your settings to registry ?\" 0x24 -> NO\nexit 0\n";
const std::string kFtpKey = "Comm\\FTPD";

std::string saved_ftp(const TempController& c) {
    return c.tool({"reg", "--saved", "get", kFtpKey, "DefaultDir"}).out;
}

// Declining, a failed flush and a declined reboot all leave the page open
// for more work; only the exit prompt ends the run.
TEST(ReviewSettings, SaveAndRebootKeepsThePageOpenUnlessTheOperatorReboots) {
    struct Case {
        const char* answers;
        bool flush_fails;
        std::string lines;
        bool flushed;
    };
    const Case cases[] = {
        {"NO", false, kProceed + "NO\n", false},
        {"YES", true, kProceed + "YES\nbox \"Save Registry\" \"Save Registry\" \"RegFlushKey failed\" 0x30 -> OK\n",
         false},
        {"YES NO", false, kProceed + "YES\n" + kReboot + "NO\n", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.answers);
        TempController c;
        if (k.flush_fails) c.set_config("faults", "registry_flush_fails", "true");
        c.reg_set(kFtpKey, "DefaultDir", "REG_SZ", "\\Windows", 200);
        RunResult r = c.run(std::string("answer ") + k.answers + "\nclick 1001\nshow 1061\n" + kExit);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, k.lines + "show 1061 \"\\\\Windows\"\n" + kExitLines);
        if (k.flushed)
            EXPECT_EQ(saved_ftp(c), c.reg_get(kFtpKey, "DefaultDir") + "\n");
        else
            EXPECT_NE(saved_ftp(c), c.reg_get(kFtpKey, "DefaultDir") + "\n");
        for (auto& line : c.log()) EXPECT_EQ(line.find("reboot"), std::string::npos) << line;
    }
}

// A directory changed on the page and saved with "Save and Reboot" is what
// the controller holds after the restart.
TEST(ReviewSettings, SaveAndRebootMakesAChangedDirectoryPersistent) {
    TempController c;
    RunResult r = c.run("type 1061 \"\\\\Windows\"\nclick 1062\nanswer YES YES\nclick 1001\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, kProceed + "YES\n" + kReboot + "YES\nreboot\nexit 0\n");
    ASSERT_EQ(c.tool({"reboot"}).exit_code, 0);
    EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), "REG_SZ 200 \"\\\\Windows\"");
}

// The Auto-execute page reads "Init" when its tab is first selected, and
// only then: a missing key is reported once however often the tab is chosen.
TEST(ReviewSettings, AutoExecuteLoadsOnceWhenFirstSelected) {
    TempController c;
    ASSERT_EQ(c.tool({"reg", "delete", "Init"}).exit_code, 0);
    RunResult r = c.run("show 1061\ntab 3\ntab 1\ntab 3\nshow 1024\n" + kExit);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out,
              "show 1061 \"\\\\Temp\"\n"
              "box none \"Add Auto-run\" \"RegOpenKeyEx Failed\" 0x0 -> OK\n"
              "show 1024 \"\"\n"
              "box \"Auto-execute\" \"Save Registry\" \"Save your settings to registry ?\" 0x24 -> NO\nexit 0\n");
    EXPECT_EQ(c.reg_get("Init", "Launch80"), "");
}

}  // namespace
}  // namespace orva::test
