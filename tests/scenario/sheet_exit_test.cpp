// The exit paths of the sheet, the registry save and the reboot offer, and
// the end on a signal, run through the real program.
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/use_lock.h"
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

// SIGINT, SIGTERM and SIGHUP end every way of running the program as its
// own end does: device work in hand is finished, the program ends at its
// next wait for the operator (a box, input), the controller is closed and
// says so, and the process ends by the signal.
TEST(SheetExit, ASignalEndsEveryKindOfRunAtItsNextWaitWithTheControllerClosed) {
    const std::string image_path = "\\Storage Card\\nk.bin";
    const struct Row {
        const char* what;
        std::vector<std::string> args, env;
        std::string script;
        int signal;
        bool writes;  // the signal comes while the image is written
        std::string transcript_end;
    } rows[] = {
        {"script frontend",
         {"--frontend", "script", "-"},
         {},
         "tab 4\n" + type(IDC_IMAGE_PATH, image_path) + "answer OK NO NO\n" + click(IDC_WRITE_FLASH) + "cancel\n",
         SIGTERM,
         true,
         "signal SIGTERM\nexit 143\n"},
        {"one-shot command", {"update", image_path}, {}, "", SIGINT, true, ""},
        {"one-shot command with --json",
         {"update", image_path, "--json"},
         {},
         "",
         SIGTERM,
         true,
         "{\"failed\": true, \"msg\": \"ended by SIGTERM; the controller is closed\", \"warnings\": [\"the update "
         "erases the registry saved in flash: the next start loads the factory registry unless the registry is saved "
         "again before it\"]}\n"},
        {"Qt frontend", {"--frontend", "qt"}, {"QT_QPA_PLATFORM=offscreen"}, "", SIGHUP, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempController c;
        constexpr int kSegments = 256;  // of 256 KiB: long enough a write to be stopped in
        c.set_config("flash", "image_area_size", std::to_string(kSegments << 18));
        std::filesystem::create_directories(c.fs() / "Storage Card");
        std::ofstream(c.fs() / "Storage Card" / "nk.bin", std::ios::binary)
            << std::string(size_t(kSegments) << 18, 'x');
        const std::filesystem::path log = c.dir() / "events.log";
        std::vector<std::string> argv{utility_path(), "-C", c.dir().string()};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        RunResult r = run_program(argv, row.script, row.env, [&](pid_t pid) {
            // Once erasing has begun, or once the program has the controller.
            for (int i = 0; i < 2000; ++i) {
                std::ifstream in(log);
                std::stringstream text;
                text << in.rdbuf();
                if (row.writes ? text.str().find("FlashErase_Img(") != std::string::npos
                               : !lock::holders(c.dir() / "controller.lock").empty())
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (!row.writes) std::this_thread::sleep_for(std::chrono::milliseconds(500));
            kill(pid, row.signal);
        });
        if (r.err.find("has no Qt frontend") != std::string::npos) continue;
        EXPECT_EQ(r.exit_code, 128 + row.signal) << r.err;
        const std::string said =
            std::string("orva-utility: ended by SIG") + sigabbrev_np(row.signal) + "; the controller is closed\n";
        ASSERT_GE(r.err.size(), said.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - said.size()), said);
        EXPECT_TRUE(r.out.ends_with(row.transcript_end)) << r.out;
        const std::vector<std::string> calls = c.log();
        if (row.writes) {
            ASSERT_FALSE(calls.empty());
            EXPECT_EQ(calls.back().rfind("FlashWriteString_Img(" + std::to_string(kSegments - 1) + ", ", 0), 0u)
                << "the write was cut short: " << calls.back();
        }
        for (const std::string& line : calls) EXPECT_EQ(line.find("reboot"), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace orva::test
