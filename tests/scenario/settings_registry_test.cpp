// The registry commands of the "Save Registry" page run through the real
// program: the factory restore with its prompts, the registry erase in the
// event log and the registry a restart brings; the registry viewer started
// from the controller's file system; "Save and Reboot", which saves from
// inside the sheet and leaves the page open unless the operator reboots.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

const std::string kExit = "answer NO\ncancel\n";
const std::string kRestore = click(IDC_FACTORY_RESTORE);
const std::string kView = click(IDC_VIEW_REGISTRY);
const std::string kSaveAndReboot = click(IDC_SAVE_AND_REBOOT);
const std::string kExitLines =
    "box \"Save Registry\" \"Save Registry\" \"Save your settings to registry ?\" 0x24 -> NO\nexit 0\n";
const std::string kAsk =
    "box \"Save Registry\" \"Factory Registry Settings\" \"It would recover all your settings to factory default "
    "settings, are you sure ?\" 0x4 -> ";
const std::string kWait =
    "box \"Save Registry\" \"Factory Registry Settings\" \"It would take few seconds to recover, please wait !\" 0x0 "
    "-> "
    "OK\n";
const std::string kRebootOffer =
    "box \"Save Registry\" \"Factory Registry Settings\" \"All settings you changed will take effect after system "
    "reboot, reboot now ?\" 0x24 -> ";
const std::string kFtpKey = "Comm\\FTPD";
const std::string kFactoryFtp = "REG_SZ 12 \"\\\\Temp\"";

// A controller whose registry differs from the factory one and is saved in
// flash, as after an operator's "Save and Reboot".
void change_and_save(const TempController& c) {
    c.reg_set(kFtpKey, "DefaultDir", "REG_SZ", "\\Windows", 200);
    RunResult r = c.run("answer YES YES NO\ncancel\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    c.clear_log();
}

std::vector<std::string> erase_lines() {
    std::vector<std::string> out;
    for (int s = 0; s < 16; ++s) out.push_back("FlashErase_Reg(" + std::to_string(s) + ") -> 1");
    return out;
}

TEST(SettingsFactoryRestore, AnsweredNoErasesNothing) {
    TempController c;
    change_and_save(c);
    RunResult r = c.run("answer NO\n" + kRestore + kExit);
    EXPECT_EQ(r.out, kAsk + "NO\n" + kExitLines) << r.err;
    EXPECT_TRUE(c.log().empty());
    ASSERT_EQ(c.tool({"reboot"}).exit_code, 0);
    EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), "REG_SZ 200 \"\\\\Windows\"");
}

TEST(SettingsFactoryRestore, YesThenNoErasesAllSixteenAndKeepsTheLiveRegistryUntilARestart) {
    TempController c;
    change_and_save(c);
    RunResult r = c.run("answer YES NO\n" + kRestore + kExit);
    EXPECT_EQ(r.out, kAsk + "YES\n" + kWait + kRebootOffer + "NO\n" + kExitLines) << r.err;
    EXPECT_EQ(c.log(), erase_lines());
    EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), "REG_SZ 200 \"\\\\Windows\"");
    ASSERT_EQ(c.tool({"reboot"}).exit_code, 0);
    EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), kFactoryFtp);
}

TEST(SettingsFactoryRestore, YesYesRebootsIntoTheFactoryRegistry) {
    TempController c;
    change_and_save(c);
    RunResult r = c.run("answer YES YES\n" + kRestore);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, kAsk + "YES\n" + kWait + kRebootOffer + "YES\nreboot\nexit 0\n");
    std::vector<std::string> expected = erase_lines();
    expected.push_back("reboot()");
    EXPECT_EQ(c.log(), expected);
    EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), kFactoryFtp);
}

// Waits up to a few seconds for a file that another process writes.
bool wait_for(const std::filesystem::path& file) {
    for (int i = 0; i < 100; ++i) {
        if (std::filesystem::exists(file)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string read_file(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SettingsRegistryViewer, TheShippedViewerWritesTheLiveRegistry) {
    TempController c;
    c.reg_set(kFtpKey, "DefaultDir", "REG_SZ", "\\Windows", 200);
    RunResult r = c.run(kView + kExit);
    EXPECT_EQ(r.out, kExitLines) << r.err;
    ASSERT_TRUE(wait_for(c.fs() / "Temp" / "RegView.txt"));
    const std::string text = read_file(c.fs() / "Temp" / "RegView.txt");
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00", 0), 0u) << text;
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Comm\\FTPD]"), std::string::npos) << text;
    EXPECT_NE(text.find("Windows"), std::string::npos);
}

TEST(SettingsRegistryViewer, WithoutAStartableViewerTheOwnedBoxIsShown) {
    const std::string failed = "box \"Save Registry\" \"Save Registry\" \"CreateProcess failed\" 0x0 -> OK\n";
    const std::filesystem::path viewer = std::filesystem::path("Windows") / "RegView.exe";
    {
        TempController c;
        std::filesystem::remove(c.fs() / viewer);
        RunResult r = c.run(kView + kExit);
        EXPECT_EQ(r.out, failed + kExitLines) << r.err;
    }
    {
        TempController c;  // present but not executable
        ::chmod((c.fs() / viewer).c_str(), 0644);
        RunResult r = c.run(kView + kExit);
        EXPECT_EQ(r.out, failed + kExitLines) << r.err;
    }
    {
        TempController c;  // a folder of that name
        std::filesystem::remove(c.fs() / viewer);
        std::filesystem::create_directory(c.fs() / viewer);
        RunResult r = c.run(kView + kExit);
        EXPECT_EQ(r.out, failed + kExitLines) << r.err;
    }
}

// The viewer is found case-insensitively, runs without a shell of the
// utility's, and neither reads the script nor writes into the transcript.
TEST(SettingsRegistryViewer, TheViewerNeitherReadsTheScriptNorWritesTheTranscript) {
    TempController c;
    const std::filesystem::path viewer = c.fs() / "Windows" / "RegView.exe";
    std::filesystem::remove(viewer);
    {
        std::ofstream out(c.fs() / "Windows" / "regview.EXE");
        out << "#!/bin/sh\nread line\necho \"stdout $line\"\necho \"stderr $line\" >&2\n"
               "echo \"ran [$line]\" > \"$(dirname \"$0\")/../Temp/ran.txt\"\n";
    }
    ::chmod((c.fs() / "Windows" / "regview.EXE").c_str(), 0755);
    RunResult r = c.run(kView + show(IDC_FTP_DIR) + kExit);
    EXPECT_EQ(r.out, "show " + id(IDC_FTP_DIR) + " \"\\\\Temp\"\n" + kExitLines);
    EXPECT_EQ(r.err, "");
    ASSERT_TRUE(wait_for(c.fs() / "Temp" / "ran.txt"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(read_file(c.fs() / "Temp" / "ran.txt"), "ran []\n");
}

// The viewer that controllers made before held: it named the orva-controller
// that made it (`tool`) and wrote through links out of fs/.
std::string earlier_viewer(const std::string& tool) {
    return "#!/bin/sh\n"
           "# Registry viewer of the controller. With no display to show it on, it\n"
           "# writes the live registry, as .reg text, to \\Temp\\RegView.txt.\n"
           "fs=$(cd \"$(dirname \"$0\")/..\" && pwd) || exit 1\n"
           "tool=${ORVA_CONTROLLER_TOOL:-'" +
           tool +
           "'}\n"
           "[ -x \"$tool\" ] || tool=orva-controller\n"
           "mkdir -p \"$fs/Temp\" || exit 1\n"
           "out=\"$fs/Temp/RegView.txt\"\n"
           "\"$tool\" -C \"$(dirname \"$fs\")\" reg export >\"$out.$$\" 2>&1\n"
           "mv -f \"$out.$$\" \"$out\"\n";
}

// The shipped viewer writes by the rules of every controller path: a \Temp
// or a RegView.txt that is a link out of fs/ gets nothing, and it says so.
TEST(SettingsRegistryViewer, TheShippedViewerNeverWritesOutsideTheFileSystem) {
    for (bool folder_is_link : {true, false}) {
        TempController c;
        const std::filesystem::path outside = c.dir() / "outside";
        std::filesystem::create_directory(outside);
        if (folder_is_link) {
            std::filesystem::remove_all(c.fs() / "Temp");
            std::filesystem::create_directory_symlink(outside, c.fs() / "Temp");
        } else {
            std::ofstream(outside / "RegView.txt") << "kept";
            std::filesystem::create_symlink(outside / "RegView.txt", c.fs() / "Temp" / "RegView.txt");
        }
        RunResult r = run_program({(c.fs() / "Windows" / "RegView.exe").string()}, "",
                                  {"ORVA_CONTROLLER_TOOL=" + controller_tool_path()});
        EXPECT_EQ(r.exit_code, 1) << folder_is_link;
        EXPECT_EQ(r.err, "orva-controller: \\Temp\\RegView.txt: leads out of the controller's file system\n");
        EXPECT_EQ(read_file(outside / "RegView.txt"), folder_is_link ? "" : "kept");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outside), {}), folder_is_link ? 0 : 1);
    }
}

// A controller made by an earlier version gets today's viewer when it is
// opened, unless its viewer was changed; the new one finds the tool beside
// the program that starts it.
TEST(SettingsRegistryViewer, AnEarlierVersionsViewerIsReplacedWhenTheControllerOpens) {
    TempController fresh;
    const std::string today = read_file(fresh.fs() / "Windows" / "RegView.exe");
    struct Row {
        std::string text;
        bool replaced;
    } rows[] = {
        {earlier_viewer("/gone/build/bin/orva-controller"), true},
        {earlier_viewer("orva-controller"), true},
        {earlier_viewer("/a path/with '\\'' a quote/orva-controller"), true},
        {earlier_viewer("/gone/bin/orva-controller") + "echo changed by hand\n", false},
        // The one that left the export's encoding to the default, now UTF-16.
        {"#!/bin/sh\n"
         "# Registry viewer of the controller. With no display to show it on, it\n"
         "# writes the live registry, as .reg text, to \\Temp\\RegView.txt in the\n"
         "# controller's file system. orva-controller is $ORVA_CONTROLLER_TOOL, which\n"
         "# orva-utility sets to the one installed beside it, else the one on PATH.\n"
         "controller=$(cd \"$(dirname \"$0\")/../..\" && pwd) || exit 1\n"
         "tool=${ORVA_CONTROLLER_TOOL:-orva-controller}\n"
         "[ -x \"$tool\" ] || tool=orva-controller\n"
         "exec \"$tool\" -C \"$controller\" reg export --to-fs '\\Temp\\RegView.txt'\n",
         true},
        {"#!/bin/sh\necho my own viewer\n", false},
    };
    for (const Row& row : rows) {
        TempController c;
        const std::filesystem::path viewer = c.fs() / "Windows" / "RegView.exe";
        std::ofstream(viewer, std::ios::trunc) << row.text;
        ::chmod(viewer.c_str(), 0750);
        EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), kFactoryFtp);  // opens it
        EXPECT_EQ(read_file(viewer), row.replaced ? today : row.text) << row.text;
        struct stat st {};
        ASSERT_EQ(::stat(viewer.c_str(), &st), 0);
        EXPECT_TRUE(st.st_mode & S_IXUSR);
        if (!row.replaced) continue;
        RunResult r = c.run(kView + kExit);
        EXPECT_EQ(r.out, kExitLines) << r.err;
        EXPECT_TRUE(wait_for(c.fs() / "Temp" / "RegView.txt")) << row.text;
    }
}

// "Save and Reboot": the save's prompt, and the reboot offered after it.
const std::string kSaveProceed =
    R"(box "Save Registry" "Save Registry" "It would take 10-15 seconds to store your settings into internal non-volatile memory. Proceed ?" 0x4 -> )";
const std::string kSaveReboot =
    R"(box "Save Registry" "System Reboot" "All settings you changed will take effect after system reboot, reboot now ?" 0x24 -> )";

std::string saved_ftp(const TempController& c) { return c.tool({"reg", "--saved", "get", kFtpKey, "DefaultDir"}).out; }

// Declining, a failed flush and a declined reboot all leave the page open
// for more work; only the exit prompt ends the run.
TEST(SettingsSaveAndReboot, KeepsThePageOpenUnlessTheOperatorReboots) {
    struct Case {
        const char* answers;
        bool flush_fails;
        std::string lines;
        bool flushed;
    };
    const Case cases[] = {
        {"NO", false, kSaveProceed + "NO\n", false},
        {"YES", true, kSaveProceed + "YES\nbox \"Save Registry\" \"Save Registry\" \"RegFlushKey failed\" 0x30 -> OK\n",
         false},
        {"YES NO", false, kSaveProceed + "YES\n" + kSaveReboot + "NO\n", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.answers);
        TempController c;
        if (k.flush_fails) c.set_config("faults", "registry_flush_fails", "true");
        c.reg_set(kFtpKey, "DefaultDir", "REG_SZ", "\\Windows", 200);
        RunResult r = c.run(std::string("answer ") + k.answers + "\n" + kSaveAndReboot + show(IDC_FTP_DIR) + kExit);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, k.lines + "show " + id(IDC_FTP_DIR) + " \"\\\\Windows\"\n" + kExitLines);
        if (k.flushed) EXPECT_EQ(saved_ftp(c), c.reg_get(kFtpKey, "DefaultDir") + "\n");
        else EXPECT_NE(saved_ftp(c), c.reg_get(kFtpKey, "DefaultDir") + "\n");
        for (auto& line : c.log()) EXPECT_EQ(line.find("reboot"), std::string::npos) << line;
    }
}

// A directory changed on the page and saved with "Save and Reboot" is what
// the controller holds after the restart.
TEST(SettingsSaveAndReboot, MakesAChangedDirectoryPersistent) {
    TempController c;
    RunResult r = c.run(type(IDC_FTP_DIR, "\\Windows") + click(IDC_FTP_CHANGE) + "answer YES YES\n" + kSaveAndReboot);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, kSaveProceed + "YES\n" + kSaveReboot + "YES\nreboot\nexit 0\n");
    ASSERT_EQ(c.tool({"reboot"}).exit_code, 0);
    EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), "REG_SZ 200 \"\\\\Windows\"");
}

}  // namespace
}  // namespace orva::test
