// The board's own software following what the pages write: the apply hooks
// run after a save with the display mode and the server directories, and
// not after a failed one; the systemd generator run as systemd runs it,
// its units checked by systemd-analyze verify, and nothing made from a
// broken registry.
#include <gtest/gtest.h>

#include <fstream>

#include "board/apply_hooks.h"
#include "board/board_controller.h"
#include "common/diagnostics.h"
#include "common/syscalls.h"
#include "simulator/text.h"
#include "tests/board/test_board.h"
#include "tests/support/loop_device.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text, bool executable = false) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    if (executable) fs::permissions(file, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
}

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void set_sz(board::BoardController& c, const char* key, const char* name, const std::string& text) {
    const std::vector<uint8_t> data = sim::reg_sz_bytes(text);
    ASSERT_EQ(c.reg_set(key, name, ctl::kRegSz, data.data(), data.size()), ctl::RegResult::Ok);
}

TEST(ApplyHooks, RunAfterASaveWithTheSettingsAndNotAfterAFailedOne) {
    TestBoard b("/dev/mtd57", 262144, "[files.mounts]\n\"Windows\\\\www\" = \"www\"\n");
    fs::create_directories(b.dir() / "www");
    const fs::path seen = b.dir() / "seen";
    write(b.dir() / "apply.d" / "20-record", "#!/bin/sh\nenv | grep ^ORVA_ | sort >> '" + seen.string() + "'\n", true);
    write(b.dir() / "apply.d" / "10-fails", "#!/bin/sh\necho output goes to standard error\nexit 3\n", true);
    write(b.dir() / "apply.d" / "30-record.dpkg-old", "#!/bin/sh\necho never >> '" + seen.string() + "'\n", true);
    write(b.dir() / "apply.d" / "40-not-executable", "#!/bin/sh\necho never >> '" + seen.string() + "'\n");
    board::BoardController& c = b.open();
    set_sz(c, "Comm\\FTPD", "DefaultDir", "\\storage card");

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(c.reg_flush());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "output goes to standard error\n" + program_name() + ": apply hook " +
                  (b.dir() / "apply.d" / "10-fails").string() + ": exit status 3\n");
    EXPECT_EQ(read(seen), "ORVA_BOARD=" + b.board_file().string() +
                              "\nORVA_DISPLAY_BPP=16\nORVA_DISPLAY_FREQ=60\nORVA_DISPLAY_HEIGHT=480\n"
                              "ORVA_DISPLAY_MODE=640x480x16@60\nORVA_DISPLAY_WIDTH=640\n"
                              "ORVA_FTP_DIR=" +
                              (b.fs() / "Storage Card").string() +
                              "\nORVA_FTP_DIR_CONTROLLER=\\storage card\n"
                              "ORVA_HTTP_DIR=" +
                              (b.dir() / "www").string() +
                              "\nORVA_HTTP_DIR_CONTROLLER=\\Windows\\www\n"
                              "ORVA_STATE_DIR=" +
                              b.state().string() + "\n");

    // A save that fails runs nothing.
    fs::remove(seen);
    sys::table().open.set([](const char* path, int flags, mode_t mode) -> int {
        if (std::string(path).find("registry-saved") != std::string::npos) return errno = EIO, -1;
        return sys::table().open.real(path, flags, mode);
    });
    testing::internal::CaptureStderr();
    EXPECT_FALSE(c.reg_flush());
    testing::internal::GetCapturedStderr();
    sys::restore_all();
    EXPECT_FALSE(fs::exists(seen));
}

struct Generated {
    int exit_code;
    std::string out;  // standard output and standard error
};

// The example hooks in docs/, each on a configuration file of the test's.
TEST(ApplyHooks, TheShippedExamplesRewriteTheirServersSettings) {
    TempDir dir;
    struct Row {
        const char* hook;
        const char* variable;  // the configuration file the hook takes instead of the system's
        std::string before, env, after;
    };
    const Row rows[] = {
        {"vsftpd-anon-root", "VSFTPD_CONF", "listen=YES\nanon_root=/old\n", "ORVA_FTP_DIR='/srv/ftp dir'",
         "listen=YES\nanon_root=/srv/ftp dir\n"},
        {"lighttpd-document-root", "LIGHTTPD_CONF", "", "ORVA_HTTP_DIR='/var/www/a \"b\"'",
         "# Written by orva-utility's apply hook after a save.\nserver.document-root := \"/var/www/a \\\"b\\\"\"\n"},
        {"weston-output-mode", "WESTON_INI", "[core]\nidle-time=0\n\n[output]\nname=HDMI-A-1\nmode=1920x1080\n",
         "ORVA_DISPLAY_WIDTH=640 ORVA_DISPLAY_HEIGHT=480 ORVA_DISPLAY_BPP=16 ORVA_DISPLAY_FREQ=60",
         "[core]\nidle-time=0\n\n[output]\nname=HDMI-A-1\nmode=640x480@60\ngbm-format=rgb565\n"},
    };
    for (const Row& row : rows) {
        const fs::path conf = dir / row.hook / "server.conf";
        write(conf, row.before);
        std::string out;
        EXPECT_TRUE(run_shell(std::string(row.variable) + "='" + conf.string() + "' " + row.env + " sh '" +
                                  ORVA_SOURCE_DIR "/docs/examples/apply.d/" + row.hook + "' 2>&1",
                              &out))
            << out;
        EXPECT_EQ(read(conf), row.after) << row.hook;
    }
}

// Runs the generator as systemd does, with its three output folders.
Generated run_generator(const TestBoard& b, const fs::path& out) {
    for (const char* d : {"normal", "early", "late"}) fs::create_directories(out / d);
    std::string output;
    const std::string command = "ORVA_BOARD='" + b.board_file().string() +
                                "' '" ORVA_BIN_DIR "/orva-autorun-generator' '" + (out / "normal").string() + "' '" +
                                (out / "early").string() + "' '" + (out / "late").string() + "' 2>&1";
    const bool ok = run_shell(command, &output);
    return {ok ? 0 : 1, output};
}

std::vector<std::string> files_in(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        out.push_back(e.path().lexically_relative(dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(AutorunGenerator, MakesOneUnitPerProgramInOrderAfterTheNetwork) {
    TestBoard b("/dev/mtd57", 262144, "[files.mounts]\n\"Storage Card\" = \"stick\"\n");
    write(b.dir() / "stick" / "app.exe", "#!/bin/sh\n", true);
    {
        board::BoardController& c = b.open();
        write(b.fs() / "Windows" / "tool 100% $HOME.exe", "#!/bin/sh\n", true);
        set_sz(c, "Init", "Launch80", "\\Storage Card\\APP.EXE");
        set_sz(c, "Init", "Launch81", "");
        set_sz(c, "Init", "Launch83", "\\Windows\\tool 100% $HOME.exe");
        set_sz(c, "Init", "Launch84", "\\..\\..\\etc\\passwd");
        set_sz(c, "Init", "Launch85", "\\Windows\\line\nbreak.exe");
        ASSERT_TRUE(c.reg_flush());
        b.close();
    }
    const Generated r = run_generator(b, b.dir() / "generated");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.out,
              "orva-autorun-generator: Launch84 \"\\..\\..\\etc\\passwd\": leads out of the board's folders; no unit "
              "made\norva-autorun-generator: Launch85: holds a control character; no unit made\n");
    const fs::path normal = b.dir() / "generated" / "normal";
    EXPECT_EQ(files_in(b.dir() / "generated"),
              (std::vector<std::string>{"early", "late", "normal", "normal/multi-user.target.wants",
                                        "normal/multi-user.target.wants/orva-autorun-80.service",
                                        "normal/multi-user.target.wants/orva-autorun-83.service",
                                        "normal/orva-autorun-80.service", "normal/orva-autorun-83.service"}));
    EXPECT_EQ(read(normal / "orva-autorun-83.service"),
              "# Made by orva-autorun-generator from Launch83 of HKEY_LOCAL_MACHINE\\Init, as the board starts.\n"
              "[Unit]\nDescription=Orva auto-run program Launch83 \\Windows\\tool 100%% $HOME.exe\n"
              "Wants=network-online.target\nAfter=network-online.target orva-autorun-80.service\n\n"
              "[Service]\nType=exec\nWorkingDirectory=-" +
                  (b.fs() / "Windows").string() + "\nExecStart=\"" + (b.fs() / "Windows").string() +
                  "/tool 100%% $HOME.exe\"\n");
    EXPECT_TRUE(fs::is_symlink(normal / "multi-user.target.wants" / "orva-autorun-80.service"));
    std::string verify;
    EXPECT_TRUE(run_shell("systemd-analyze verify --man=no '" + (normal / "orva-autorun-80.service").string() + "' '" +
                              (normal / "orva-autorun-83.service").string() + "' 2>&1",
                          &verify))
        << verify;
}

TEST(AutorunGenerator, ABrokenRegistryMakesNothingAndSaysWhy) {
    TestBoard b("/dev/mtd57");
    b.open();
    b.close();
    write(b.state() / "registry-saved.db", "not a database");
    const Generated r = run_generator(b, b.dir() / "generated");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind("orva-autorun-generator: the saved registry cannot be used: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("; no auto-run program is started\n"), std::string::npos) << r.out;
    EXPECT_EQ(files_in(b.dir() / "generated" / "normal"), std::vector<std::string>());
}

}  // namespace
}  // namespace orva::test
