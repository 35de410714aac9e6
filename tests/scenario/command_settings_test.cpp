// The commands of the Save Registry page: display, ftp-dir, http-dir, save
// and factory-reset, with what they print, what they leave in the live and
// the saved registry, the device calls they make, and their bad input.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/scenario/harness.h"
#include "tests/support/image_bytes.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

const std::string kMode = "Drivers\\Display\\MQ200";
const std::string kFtp = "Comm\\FTPD";
const std::string kHttp = "Comm\\HTTPD\\Websites\\Public\\VROOTS\\/";

std::string dword(int v) { return "REG_DWORD 4 " + std::to_string(v); }
std::string sz200(const std::string& quoted) { return "REG_SZ 200 \"" + quoted + "\""; }

std::vector<std::string> mode_of(const TempController& c, bool saved) {
    std::vector<std::string> out;
    for (const char* v : {"CxScreen", "CyScreen", "Bpp", "Freq"})
        out.push_back(saved ? c.saved_get(kMode, v) : c.reg_get(kMode, v));
    return out;
}

TEST(DisplayCommand, ShowsTheModeTheLabelsShow) {
    TempController c;
    RunResult r = c.command({"display"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "640x480x16@60\n");
    EXPECT_EQ(r.err, "");
    // A mode no list offers is shown as the labels show it; nothing is saved.
    c.reg_set(kMode, "Bpp", "REG_DWORD", "24");
    EXPECT_EQ(c.command({"display"}).out, "640x480x24@60\n");
    EXPECT_EQ(c.saved_get(kMode, "Bpp"), dword(16));
}

TEST(DisplayCommand, SetsTheModeThroughTheListsAndSavesIt) {
    struct Row {
        std::vector<std::string> args;
        std::string printed;
        std::vector<int> mode;  // width, height, bpp, freq
    } rows[] = {
        {{"800x600"}, "800x600x16@60\n", {800, 600, 16, 60}},
        {{"320X240x2"}, "320x240x2@60\n", {320, 240, 2, 60}},
        {{"1024x768x8@75"}, "1024x768x8@75\n", {1024, 768, 8, 75}},
        {{"640x480@50"}, "640x480x16@50\n", {640, 480, 16, 50}},
    };
    for (const Row& row : rows) {
        TempController c;
        c.clear_log();
        std::vector<std::string> args{"display"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        RunResult r = c.command(args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, row.printed);
        EXPECT_EQ(r.err, "");
        std::vector<std::string> expected;
        for (int v : row.mode) expected.push_back(dword(v));
        EXPECT_EQ(mode_of(c, false), expected);
        EXPECT_EQ(mode_of(c, true), expected) << "the exit prompt saves the change";
        // Saved, not rebooted.
        for (const std::string& line : c.log()) EXPECT_EQ(line.find("reboot"), std::string::npos) << line;
    }
}

TEST(DisplayCommand, NoSaveLeavesTheSavedCopyAndRebootRestarts) {
    TempController c;
    RunResult r = c.command({"display", "--no-save", "800x600"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(c.reg_get(kMode, "CxScreen"), dword(800));
    EXPECT_EQ(c.saved_get(kMode, "CxScreen"), dword(640));

    c.clear_log();
    r = c.command({"display", "1024x768", "--reboot"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "1024x768x16@60\n");
    EXPECT_EQ(c.log(), std::vector<std::string>{"reboot()"});
    EXPECT_EQ(c.reg_get(kMode, "CxScreen"), dword(1024)) << "the saved copy came back at the restart";
    EXPECT_EQ(c.saved_get(kMode, "CxScreen"), dword(1024));
}

TEST(DisplayCommand, ValuesTheListsDoNotOfferAreUsageErrors) {
    TempController c;
    struct Row {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"1280x1024"},
         "display: resolution 1280x1024 is not offered (the page offers 320x240, 640x480, 800x600, 1024x768)"},
        {{"800x600x3"}, "display: colour depth 3 is not offered (the page offers 2, 4, 8, 16)"},
        {{"800x600x8@61"}, "display: refresh rate 61 is not offered (the page offers 50, 60, 70, 75)"},
        {{"640x400"}, "display: resolution 640x400 is not offered"},
        {{"800"}, "display: bad MODE \"800\" (WxH, WxHxBPP or WxHxBPP@HZ, e.g. 640x480x16@60)"},
        {{"800x600x16x2"}, "display: bad MODE"},
        {{"800x600@"}, "display: bad MODE"},
        {{"-800x600"}, "unknown option -800x600"},
        {{"0x0"}, "display: bad MODE"},
        {{"800x600", "1024x768"}, "display: takes at most one MODE"},
        {{"--reboot"}, "display: --reboot needs a change to save"},
        {{"800x600", "--reboot", "--no-save"}, "display: --reboot and --no-save"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args{"display"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        RunResult r = c.command(args);
        EXPECT_EQ(r.exit_code, 2) << row.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("orva-utility: " + row.err, 0), 0u) << r.err;
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    }
    EXPECT_EQ(mode_of(c, false), (std::vector<std::string>{dword(640), dword(480), dword(16), dword(60)}));

    // A part left out keeps the current value, so one that no list offers
    // cannot be kept.
    c.reg_set(kMode, "Bpp", "REG_DWORD", "24");
    RunResult r = c.command({"display", "800x600"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err,
              "orva-utility: display: the current colour depth 24 is not one the page offers, so it cannot be "
              "kept (the page offers 2, 4, 8, 16): give it in MODE\n");
    EXPECT_EQ(c.reg_get(kMode, "Bpp"), dword(24));
    EXPECT_EQ(c.reg_get(kMode, "CxScreen"), dword(640));
}

TEST(DisplayCommand, AFailedWriteIsReportedAndNothingIsSaved) {
    TempController c;
    c.set_config("faults", "registry_read_only", "[\"Drivers\\\\Display\\\\MQ200\\\\Bpp\"]");
    RunResult r = c.command({"display", "800x600x8"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "orva-utility: Save VGA Setting: Bpp RegSetValueEx Failed\n");
    EXPECT_EQ(c.reg_get(kMode, "CxScreen"), dword(800)) << "the page wrote the others";
    EXPECT_EQ(c.saved_get(kMode, "CxScreen"), dword(640));
}

TEST(DirectoryCommands, ShowAndSetTheStoredDirectory) {
    TempController c;
    EXPECT_EQ(c.command({"ftp-dir"}).out, "\\Temp\n");
    EXPECT_EQ(c.command({"http-dir"}).out, "\\Windows\\www\n");

    RunResult r = c.command({"ftp-dir", "\\Windows"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "\\Windows\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(c.reg_get(kFtp, "DefaultDir"), sz200("\\\\Windows"));
    EXPECT_EQ(c.saved_get(kFtp, "DefaultDir"), sz200("\\\\Windows"));

    r = c.command({"--no-save", "http-dir", "\\Temp"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "\\Temp\n");
    EXPECT_EQ(c.reg_get(kHttp, "Default"), sz200("\\\\Temp"));
    EXPECT_EQ(c.saved_get(kHttp, "Default"), "REG_SZ 26 \"\\\\Windows\\\\www\"");

    // The directory rows reach no device.
    c.clear_log();
    ASSERT_EQ(c.command({"ftp-dir", "\\Temp"}).exit_code, 0);
    EXPECT_TRUE(c.log().empty());
}

TEST(DirectoryCommands, AMissingDirectoryIsTheBoxTextAndChangesNothing) {
    TempController c;
    RunResult r = c.command({"ftp-dir", "\\Nowhere"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "orva-utility: Directory Not exist: Directory not exist, please create it first. ErrCode : 2\n");
    EXPECT_EQ(c.reg_get(kFtp, "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"");
    EXPECT_EQ(c.saved_get(kFtp, "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"");

    r = c.command({"http-dir", std::string(100, 'a')});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "orva-utility: http-dir: PATH is 100 characters long; the page keeps at most 99\n");
    EXPECT_EQ(c.command({"ftp-dir", "a", "b"}).exit_code, 2);
    r = c.command({"ftp-dir", "\\Temp\r\n"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err,
              "orva-utility: ftp-dir: PATH holds a carriage return (U+000D) at character 6; the page keeps a "
              "single line of printable text\n");
}

// A value the page could not read is never shown: the page would show one
// it made up (0x0x0@0, an empty directory).
TEST(SettingsCommands, AValueThatCannotBeReadIsNotShownAndFailsTheCommand) {
    TempController c;
    c.tool({"reg", "delete", "Comm\\FTPD", "DefaultDir"});
    RunResult r = c.command({"ftp-dir"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "orva-utility: ftp-dir: Comm\\FTPD DefaultDir cannot be read: there is no such value\n");
    write_host_file(c.dir() / "registry-live.db", "not a registry copy");
    for (const char* command : {"display", "ftp-dir", "http-dir"}) {
        r = c.command({command});
        EXPECT_EQ(r.exit_code, 1) << command;
        EXPECT_EQ(r.out, "") << command;
        EXPECT_NE(r.err.find("cannot be read: the live registry cannot be read (see the warning above)\n"),
                  std::string::npos)
            << r.err;
    }
}

TEST(SaveCommand, FlushesTheLiveRegistry) {
    TempController c;
    c.reg_set(kFtp, "DefaultDir", "REG_SZ", "\\Windows");
    EXPECT_EQ(c.saved_get(kFtp, "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"");
    c.clear_log();
    RunResult r = c.command({"save"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(c.saved_get(kFtp, "DefaultDir"), "REG_SZ 18 \"\\\\Windows\"");
    EXPECT_TRUE(c.log().empty());

    r = c.command({"save", "--reboot"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(c.log(), std::vector<std::string>{"reboot()"});
    EXPECT_EQ(c.command({"save", "--no-save"}).exit_code, 2);
    EXPECT_EQ(c.command({"save", "now"}).exit_code, 2);
}

TEST(SaveCommand, ARefusedFlushFailsTheCommand) {
    TempController c;
    c.set_config("faults", "registry_flush_fails", "true");
    c.reg_set(kFtp, "DefaultDir", "REG_SZ", "\\Windows");
    RunResult r = c.command({"save", "--reboot"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "orva-utility: Save Registry: RegFlushKey failed\n");
    EXPECT_EQ(c.saved_get(kFtp, "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"");
    EXPECT_TRUE(c.log().empty()) << "no reboot after a refused flush";
}

TEST(FactoryResetCommand, ErasesTheRegistryAreaAndNeverSavesTheOldRegistryBack) {
    TempController c;
    ASSERT_EQ(c.command({"ftp-dir", "\\Windows"}).exit_code, 0);
    ASSERT_EQ(c.saved_get(kFtp, "DefaultDir"), sz200("\\\\Windows"));
    c.clear_log();
    RunResult r = c.command({"factory-reset"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    std::vector<std::string> erases;
    for (int i = 0; i < 16; ++i) erases.push_back("FlashErase_Reg(" + std::to_string(i) + ") -> 1");
    EXPECT_EQ(c.log(), erases);
    EXPECT_EQ(c.reg_get(kFtp, "DefaultDir"), sz200("\\\\Windows")) << "the running system keeps its registry";

    // The next start gets the factory registry.
    ASSERT_EQ(c.tool({"reboot"}).exit_code, 0);
    EXPECT_EQ(c.reg_get(kFtp, "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"");

    c.clear_log();
    ASSERT_EQ(c.command({"ftp-dir", "\\Windows"}).exit_code, 0);
    r = c.command({"factory-reset", "--reboot"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    erases.push_back("reboot()");
    EXPECT_EQ(c.log(), erases);
    EXPECT_EQ(c.reg_get(kFtp, "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"");
    EXPECT_EQ(c.command({"factory-reset", "now"}).exit_code, 2);
}

// A registry area that cannot be erased (here: the saved copy's file cannot
// be replaced) is said, and the command fails; the saved settings stay.
TEST(FactoryResetCommand, AnEraseThatFailsIsSaidAndFailsTheCommand) {
    TempController c;
    ASSERT_EQ(c.command({"ftp-dir", "\\Windows"}).exit_code, 0);
    fs::rename(c.dir() / "registry-saved.db", c.dir() / "kept.db");
    fs::create_directory(c.dir() / "registry-saved.db");
    RunResult r = c.command({"factory-reset"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("orva-utility: Recover to Factory Settings: the registry could not be erased: "
                         "FlashErase_Reg failed for 16 of its 16 segments\n"),
              std::string::npos)
        << r.err;
    fs::remove(c.dir() / "registry-saved.db");
    fs::rename(c.dir() / "kept.db", c.dir() / "registry-saved.db");
    EXPECT_EQ(c.saved_get(kFtp, "DefaultDir"), sz200("\\\\Windows"));
}

}  // namespace
}  // namespace orva::test
