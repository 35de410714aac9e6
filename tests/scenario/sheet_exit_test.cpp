// The exit paths of the sheet, the registry save and the reboot offer, and
// the script frontend's own errors, run through the real program.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

const std::string kSaveAsk = R"(box "Save Registry" "Save Registry" "Save your settings to registry ?" 0x24 -> )";
const std::string kProceed =
    R"(box "Save Registry" "Save Registry" "It would take 10-15 seconds to store your settings into internal non-volatile memory. Proceed ?" 0x4 -> )";
const std::string kReboot =
    R"(box "Save Registry" "System Reboot" "All settings you changed will take effect after system reboot, reboot now ?" 0x24 -> )";

TEST(Shell, AnsweringNoEndsTheProgramWithoutTouchingTheRegistry) {
    TempController c;
    c.reg_set("Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Windows", 200);
    RunResult r = c.run("answer NO\ncancel\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, kSaveAsk + "NO\nexit 0\n");
    EXPECT_NE(c.tool({"reg", "--saved", "get", "Comm\\FTPD", "DefaultDir"}).out,
              c.reg_get("Comm\\FTPD", "DefaultDir") + "\n");
    for (auto& line : c.log()) EXPECT_EQ(line.find("reboot"), std::string::npos) << line;
}

TEST(Shell, YesThenNoDoesNotFlush) {
    TempController c;
    c.reg_set("Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Windows", 200);
    RunResult r = c.run("answer YES NO\ncancel\n");
    EXPECT_EQ(r.out, kSaveAsk + "YES\n" + kProceed + "NO\nexit 0\n");
    EXPECT_NE(c.tool({"reg", "--saved", "get", "Comm\\FTPD", "DefaultDir"}).out,
              c.reg_get("Comm\\FTPD", "DefaultDir") + "\n");
}

TEST(Shell, FlushWithoutRebootMakesTheSavedCopyEqualTheLiveOne) {
    TempController c;
    c.reg_set("Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Windows", 200);
    RunResult r = c.run("answer YES YES NO\ncancel\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kSaveAsk + "YES\n" + kProceed + "YES\n" + kReboot + "NO\nexit 0\n");
    EXPECT_EQ(c.tool({"reg", "--saved", "export"}).out, c.tool({"reg", "export"}).out);
    for (auto& line : c.log()) EXPECT_EQ(line.find("reboot"), std::string::npos) << line;
}

TEST(Shell, RebootAfterTheFlushEndsTheRunAsARestart) {
    TempController c;
    RunResult r = c.run("answer YES YES YES\nok\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kSaveAsk + "YES\n" + kProceed + "YES\n" + kReboot + "YES\nreboot\nexit 0\n");
    auto log = c.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "reboot()");
}

TEST(Shell, OkAsksOnTheFirstCreatedPageAndCancelOnTheCurrentOne) {
    TempController c;
    RunResult ok = c.run("tab 5\nanswer NO\nok\n");
    EXPECT_EQ(ok.out, kSaveAsk + "NO\nexit 0\n");
    EXPECT_EQ(ok.err, "");  // nothing left open
    RunResult cancel = c.run("tab 5\nanswer NO\ncancel\n");
    EXPECT_EQ(cancel.out, R"(box "About Orva_Utility" "Save Registry" "Save your settings to registry ?" 0x24 -> NO)"
                          "\nexit 0\n");
}

TEST(Shell, FailedFlushIsReportedAndTheProgramStillEnds) {
    TempController c;
    c.set_config("faults", "registry_flush_fails", "true");
    RunResult r = c.run("answer YES YES\ncancel\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, kSaveAsk + "YES\n" + kProceed +
                         "YES\nbox \"Save Registry\" \"Save Registry\" \"RegFlushKey failed\" 0x30 -> OK\nexit 0\n");
}

TEST(Shell, EveryPageOpensAndNothingIsLeftOpenAtTheEnd) {
    TempController c;
    RunResult r = c.run("tab 2\ntab 3\ntab 4\ntab 5\ntab 1\nanswer NO\ncancel\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kSaveAsk + "NO\nexit 0\n");
    EXPECT_EQ(r.err, "");
}

TEST(ScriptErrors, EndWithCodeTwoAndOneLineNamingTheScriptLine) {
    TempController c;
    struct Case {
        std::string script, message;
    } cases[] = {
        {"jump 3\n", "-:1: unknown command \"jump\""},
        {"# comment\n\nclick 9999\n", "-:3: no control 9999 on the current page"},
        {"cancel\n", "a message box needs an answer"},
        {"tab 2\n", "-:1: the script ended with the sheet still open"},
        {"answer NO\ncancel\ntab 3\n", "-:3: the program ended with commands of the script left"},
        {"type 1061 \"unterminated\n", "-:1: the string has no closing double quote"},
        {"answer MAYBE\n", "is not an answer"},
        {"answer RETRY\ncancel\n",
         "-:1: answer RETRY does not fit the box \"Save your settings to registry ?\", whose buttons are YES and NO"},
        {"tab 9\n", "tab takes a page number from 1 to 5"},
    };
    for (auto& k : cases) {
        RunResult r = c.run(k.script);
        EXPECT_EQ(r.exit_code, 2) << k.script;
        EXPECT_NE(r.err.find(k.message), std::string::npos) << k.script << " -> " << r.err;
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    }
}

TEST(ScriptLanguage, StringsRoundTripThroughAnEditWithTheTranscriptsEscapes) {
    TempController c;
    RunResult r = c.run(
        "tab 4\ntype 1035 \"a\\\\b\\\"c\\r\\n\\t\\x01\\x85 \xC3\xA9 \xF0\x9F\x94\xA7\"\nshow 1035\nanswer "
        "NO\ncancel\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines(r.out)[0], "show 1035 \"a\\\\b\\\"c\\r\\n\\t\\x01\\x85 \xC3\xA9 \xF0\x9F\x94\xA7\"");
    RunResult big = c.run("click 99999999999\n");
    EXPECT_EQ(big.exit_code, 2);
    EXPECT_NE(big.err.find("is not a decimal number"), std::string::npos) << big.err;
}

TEST(ProgramOptions, BadOptionsEndBeforeAnyWindow) {
    TempController c;
    RunResult unknown = run_program({utility_path(), "--bogus"});
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_EQ(lines(unknown.err).size(), 1u);
    RunResult missing_script = run_program({utility_path(), "--controller", c.dir().string(), "/nonexistent/script"});
    EXPECT_EQ(missing_script.exit_code, 2);
    EXPECT_NE(missing_script.err.find("/nonexistent/script"), std::string::npos);
    RunResult no_controller = run_program({utility_path(), "--controller", "/nonexistent/ctl", "-"}, "cancel\n");
    EXPECT_EQ(no_controller.exit_code, 2);
    EXPECT_EQ(lines(no_controller.err).size(), 1u);
    RunResult not_controller = run_program({utility_path(), "--controller", "/tmp", "-"}, "cancel\n");
    EXPECT_EQ(not_controller.exit_code, 2);
    RunResult no_terminal = run_program({utility_path(), "--controller", c.dir().string()});
    EXPECT_EQ(no_terminal.exit_code, 2);
    EXPECT_NE(no_terminal.err.find("--frontend script"), std::string::npos);
}

}  // namespace
}  // namespace orva::test
