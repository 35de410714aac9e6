// The server directories of the "Save Registry" page run through the real
// program: the existence test of a typed path on the controller's file
// system, the 200-byte REG_SZ written, the failure boxes, and the row shown
// again from the registry after every "Change".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

const std::string kFtpKey = "Comm\\FTPD";
const std::string kHttpKey = "Comm\\HTTPD\\Websites\\Public\\VROOTS\\/";
const std::string kExit = "answer NO\ncancel\n";
const std::string kExitLines =
    "box \"Save Registry\" \"Save Registry\" \"Save your settings to registry ?\" 0x24 -> NO\nexit 0\n";

// A controller path as the transcript and `reg get` quote it.
std::string quoted(const std::string& path) {
    std::string out = "\"";
    for (char ch : path) out += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    return out + "\"";
}

// A row's edit and label, and what showing them writes.
const std::string kShowFtp = show(IDC_FTP_DIR) + show(IDC_FTP_LABEL);
const std::string kShowHttp = show(IDC_HTTP_DIR) + show(IDC_HTTP_LABEL);

std::string ftp_row(const std::string& dir) {
    return "show " + id(IDC_FTP_DIR) + " " + quoted(dir) + "\nshow " + id(IDC_FTP_LABEL) + " " +
           quoted("Change FTP default directory " + dir + " to :") + "\n";
}

std::string http_row(const std::string& dir) {
    return "show " + id(IDC_HTTP_DIR) + " " + quoted(dir) + "\nshow " + id(IDC_HTTP_LABEL) + " " +
           quoted("Change HTTP default directory " + dir + " to :") + "\n";
}

std::string stored(const std::string& dir) { return "REG_SZ 200 " + quoted(dir); }

std::string not_found_box(int code) {
    return "box none \"Directory Not exist\" \"Directory not exist, please create it first. ErrCode : " +
           std::to_string(code) + "\" 0x0 -> OK\n";
}

std::string change_ftp(const std::string& typed) { return type(IDC_FTP_DIR, typed) + click(IDC_FTP_CHANGE) + kShowFtp; }

TEST(SettingsDirectories, ExistingPathsAreStoredAsTypedInTwoHundredBytes) {
    TempController c;
    std::filesystem::create_directories(c.fs() / "Storage Card" / "ftp");
    std::ofstream(c.fs() / "Temp" / "report.txt") << "x";
    // Typed text, and what the search finds it by: a folder, a file, a
    // case-insensitive name, wildcards, a ".." that stays inside.
    for (const std::string typed : {"\\Storage Card\\ftp", "\\Temp\\report.txt", "\\storage card\\FTP", "\\Win*",
                                    "\\Temp\\rep?rt.*", "\\Temp\\..\\Windows", "Temp"}) {
        SCOPED_TRACE(typed);
        RunResult r = c.run(change_ftp(typed) + kExit);
        EXPECT_EQ(r.out, ftp_row(typed) + kExitLines) << r.err;
        EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), stored(typed));
    }
}

// The error code of GetLastError: 2 when the folder exists but nothing
// matches, 3 when the folder does not exist, 5 for a path out of the
// controller's file system, 123 for a wildcard in a folder.
TEST(SettingsDirectories, PathsNotFoundShowTheErrorCodeAndTheStoredDirectoryAgain) {
    TempController c;
    const std::vector<std::pair<std::string, int>> rows = {
        {"\\Nowhere", 2}, {"\\Temp\\*.bin", 2},         {"\\Temp\\", 2},
        {"", 2},          {"\\Nowhere\\x", 3},          {"\\Nowhere\\*", 3},
        {"\\..\\etc", 5}, {"\\Temp\\..\\..\\..\\*", 5}, {"\\W*\\www", 123},
    };
    for (const auto& [typed, code] : rows) {
        SCOPED_TRACE(typed);
        RunResult r = c.run(change_ftp(typed) + kExit);
        EXPECT_EQ(r.out, not_found_box(code) + ftp_row("\\Temp") + kExitLines) << r.err;
        EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"") << "the registry was touched";
    }
}

TEST(SettingsDirectories, TypedTextIsCutTo99CharactersWhichAreTestedAndStored) {
    TempController c;
    const std::string name(98, 'd');
    std::filesystem::create_directories(c.fs() / name);
    const std::string dir = "\\" + name;  // 99 characters
    RunResult r = c.run(change_ftp(dir + "\\more than the buffer holds") + kExit);
    EXPECT_EQ(r.out, ftp_row(dir) + kExitLines) << r.err;
    EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), stored(dir));

    // Cut to 99, the text no longer names what exists.
    RunResult missing = c.run(change_ftp("\\" + std::string(99, 'e') + "\\Temp") + kExit);
    EXPECT_EQ(missing.out, not_found_box(2) + ftp_row(dir) + kExitLines) << missing.err;
}

// The longest directory the program writes is read back and shown whole,
// in the edit and in the label; a value longer than the buffer shows empty;
// 200 bytes without a NUL show their first 99 characters.
TEST(SettingsDirectories, StoredValuesAreShownWithinTheBuffer) {
    TempController c;
    const std::string longest = "\\" + std::string(98, 'x');
    c.reg_set(kFtpKey, "DefaultDir", "REG_SZ", longest, 200);
    c.reg_set(kHttpKey, "Default", "REG_SZ", "\\" + std::string(64, 'h'), 200);
    RunResult r = c.run(kShowFtp + kShowHttp + kExit);
    EXPECT_EQ(r.out, ftp_row(longest) + http_row("\\" + std::string(64, 'h')) + kExitLines) << r.err;

    c.reg_set(kFtpKey, "DefaultDir", "REG_SZ", std::string(120, 'y'));
    std::string hex = "hex:";
    for (int i = 0; i < 100; ++i) hex += std::string(i ? "," : "") + "41,00";
    c.reg_set(kHttpKey, "Default", "REG_BINARY", hex);
    RunResult odd = c.run(kShowFtp + kShowHttp + kExit);
    EXPECT_EQ(odd.out, ftp_row("") + http_row(std::string(99, 'A')) + kExitLines) << odd.err;
}

TEST(SettingsDirectories, TheHttpDirectoryIsTheDefaultValueOfTheSlashKey) {
    TempController c;
    c.reg_set(kHttpKey, "", "REG_SZ", "unnamed");
    std::filesystem::create_directories(c.fs() / "Storage Card" / "www");
    RunResult r = c.run(type(IDC_HTTP_DIR, "\\Storage Card\\www") + click(IDC_HTTP_CHANGE) + kShowHttp + kExit);
    EXPECT_EQ(r.out, http_row("\\Storage Card\\www") + kExitLines) << r.err;
    EXPECT_EQ(c.reg_get(kHttpKey, "Default"), stored("\\Storage Card\\www"));
    EXPECT_EQ(c.reg_get(kHttpKey, ""), "REG_SZ 16 \"unnamed\"");
    EXPECT_EQ(c.reg_get(kFtpKey, "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"");
}

TEST(SettingsDirectories, RegistryFailuresShowTheirBoxAndTheStoredDirectory) {
    {
        TempController c;
        c.set_config("faults", "registry_read_only", R"(["Comm\\FTPD\\DefaultDir"])");
        RunResult r = c.run(change_ftp("\\Windows") + kExit);
        EXPECT_EQ(r.out, "box none \"Save Registry\" \"FTP RegSetValueEx Failed\" 0x0 -> OK\n" + ftp_row("\\Temp") +
                             kExitLines)
            << r.err;
    }
    {
        TempController c;
        ASSERT_EQ(c.tool({"reg", "delete", kHttpKey}).exit_code, 0);
        RunResult r = c.run(kShowHttp + type(IDC_HTTP_DIR, "\\Windows") + click(IDC_HTTP_CHANGE) + kShowHttp + kExit);
        EXPECT_EQ(r.out, http_row("") + "box none \"Save Registry\" \"HTTP RegOpenKeyEx Failed\" 0x0 -> OK\n" +
                             http_row("") + kExitLines)
            << r.err;
        EXPECT_NE(c.tool({"reg", "export", kHttpKey}).exit_code, 0) << "the key was created";
    }
}

// Each "Change" refreshes its own row only (seen in the trace of changes).
TEST(SettingsDirectories, EachChangeRefreshesOnlyItsOwnRow) {
    TempController c;
    RunResult r = c.run(type(IDC_HTTP_DIR, "\\Windows") + click(IDC_HTTP_CHANGE) + kExit, {"--trace"});
    const std::string tail = "text " + id(IDC_HTTP_DIR) + " \"\\\\Windows\"\ntext " + id(IDC_HTTP_LABEL) +
                             " \"Change HTTP default directory \\\\Windows to :\"\n" + kExitLines;
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
}

}  // namespace
}  // namespace orva::test
