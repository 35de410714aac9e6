// The display mode group of the "Save Registry" page run through the real
// program: what the labels and lists show for the registry's mode, and what
// "Change" writes, reports and shows again.
#include <gtest/gtest.h>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

const std::string kKey = "Drivers\\Display\\MQ200";
const std::string kShowLabels = show(IDC_RESOLUTION_LABEL) + show(IDC_BPP_LABEL) + show(IDC_FREQ_LABEL);
const std::string kShowAll = kShowLabels + show(IDC_RESOLUTION) + show(IDC_BPP) + show(IDC_FREQ);
const std::string kChange = click(IDC_DISPLAY_CHANGE);
// 800 x 600, 4 bits per pixel and 70 Hz chosen, and Change.
const std::string kChangeTo800 = select(IDC_RESOLUTION, 2) + select(IDC_BPP, 1) + select(IDC_FREQ, 2) + kChange;
const std::string kExit = "answer NO\ncancel\n";
const std::string kExitLines =
    "box \"Save Registry\" \"Save Registry\" \"Save your settings to registry ?\" 0x24 -> NO\nexit 0\n";

// What kShowLabels shows.
std::string labels(const std::string& resolution, const std::string& bpp, const std::string& freq) {
    return "show " + id(IDC_RESOLUTION_LABEL) + " \"Resolution : " + resolution + "\"\nshow " + id(IDC_BPP_LABEL) +
           " \"Bpp : " + bpp + "\"\nshow " + id(IDC_FREQ_LABEL) + " \"Frequncy : " + freq + " Hz\"\n";
}

// What kShowAll shows.
std::string shown(const std::string& resolution, const std::string& bpp, const std::string& freq, int res_sel,
                  int bpp_sel, int freq_sel) {
    return labels(resolution, bpp, freq) + "show " + id(IDC_RESOLUTION) + " list " + std::to_string(res_sel) +
           " \"320 x 240\" \"640 x 480\" \"800 x 600\" \"1024 x 768\"\nshow " + id(IDC_BPP) + " list " +
           std::to_string(bpp_sel) + " \"2\" \"4\" \"8\" \"16\"\nshow " + id(IDC_FREQ) + " list " +
           std::to_string(freq_sel) + " \"50 Hz\" \"60 Hz\" \"70 Hz\" \"75 Hz\"\n";
}

void set_mode(const TempController& c, int width, int height, int bpp, int freq) {
    c.reg_set(kKey, "CxScreen", "REG_DWORD", std::to_string(width));
    c.reg_set(kKey, "CyScreen", "REG_DWORD", std::to_string(height));
    c.reg_set(kKey, "Bpp", "REG_DWORD", std::to_string(bpp));
    c.reg_set(kKey, "Freq", "REG_DWORD", std::to_string(freq));
}

std::string dword(int v) { return "REG_DWORD 4 " + std::to_string(v); }

TEST(SettingsDisplay, TheWidthAloneSelectsTheResolutionAndValuesInNoRowSelectTheFirst) {
    TempController c;
    set_mode(c, 640, 400, 24, 65);
    RunResult r = c.run(kShowAll + kExit);
    EXPECT_EQ(r.out, shown("640 x 400", "24", "65", 1, 0, 0) + kExitLines) << r.err;
}

TEST(SettingsDisplay, ChangeWithoutTouchingTheListsWritesTheSelectedRows) {
    TempController c;
    set_mode(c, 640, 400, 24, 65);
    RunResult r = c.run(kChange + kShowAll + kExit);
    EXPECT_EQ(r.out, shown("640 x 480", "2", "50", 1, 0, 0) + kExitLines) << r.err;
    EXPECT_EQ(c.reg_get(kKey, "CxScreen"), dword(640));
    EXPECT_EQ(c.reg_get(kKey, "CyScreen"), dword(480));
    EXPECT_EQ(c.reg_get(kKey, "Bpp"), dword(2));
    EXPECT_EQ(c.reg_get(kKey, "Freq"), dword(50));
}

TEST(SettingsDisplay, ChosenRowsAreWrittenAsDwordsAndTheListsKeepTheChoice) {
    TempController c;
    RunResult r =
        c.run(select(IDC_RESOLUTION, 3) + select(IDC_BPP, 2) + select(IDC_FREQ, 3) + kChange + kShowAll + kExit);
    EXPECT_EQ(r.out, shown("1024 x 768", "8", "75", 3, 2, 3) + kExitLines) << r.err;
    EXPECT_EQ(c.reg_get(kKey, "CxScreen"), dword(1024));
    EXPECT_EQ(c.reg_get(kKey, "CyScreen"), dword(768));
    EXPECT_EQ(c.reg_get(kKey, "Bpp"), dword(8));
    EXPECT_EQ(c.reg_get(kKey, "Freq"), dword(75));
}

TEST(SettingsDisplay, MissingKeyShowsZerosThenOneBoxAndTheChosenValuesAndCreatesNothing) {
    TempController c;
    ASSERT_EQ(c.tool({"reg", "delete", kKey}).exit_code, 0);
    RunResult r = c.run(kShowAll + select(IDC_BPP, 1) + kChange + kShowAll + kExit);
    EXPECT_EQ(r.out, shown("0 x 0", "0", "0", 0, 0, 0) +
                         "box none \"Save VGA Registry\" \"VGA RegOpenKeyEx Failed\" 0x0 -> OK\n" +
                         shown("320 x 240", "4", "50", 0, 1, 0) + kExitLines)
        << r.err;
    EXPECT_NE(c.tool({"reg", "export", kKey}).exit_code, 0) << "the key was created";
}

// Each failing write has its own box, in the order of the writes; the
// others are made, and the labels show what the registry holds.
TEST(SettingsDisplay, FailingWritesEachShowABoxAndTheOthersAreMade) {
    struct Row {
        std::string read_only;
        std::string boxes;
        std::string labels;
    };
    const std::vector<Row> rows = {
        {R"(["Drivers\\Display\\MQ200\\Bpp"])",
         "box none \"Save VGA Setting\" \"Bpp RegSetValueEx Failed\" 0x0 -> OK\n", labels("800 x 600", "16", "70")},
        {R"(["Drivers\\Display\\MQ200\\Freq", "Drivers\\Display\\MQ200\\CxScreen"])",
         "box none \"Save VGA Setting\" \"CxScreen RegSetValueEx Failed\" 0x0 -> OK\n"
         "box none \"Save VGA Setting\" \"Freq RegSetValueEx Failed\" 0x0 -> OK\n",
         labels("640 x 600", "4", "60")},
        {R"(["Drivers\\Display\\MQ200\\CxScreen", "Drivers\\Display\\MQ200\\CyScreen",)"
         R"( "Drivers\\Display\\MQ200\\Bpp", "Drivers\\Display\\MQ200\\Freq"])",
         "box none \"Save VGA Setting\" \"CxScreen RegSetValueEx Failed\" 0x0 -> OK\n"
         "box none \"Save VGA Setting\" \"CyScreen RegSetValueEx Failed\" 0x0 -> OK\n"
         "box none \"Save VGA Setting\" \"Bpp RegSetValueEx Failed\" 0x0 -> OK\n"
         "box none \"Save VGA Setting\" \"Freq RegSetValueEx Failed\" 0x0 -> OK\n",
         labels("640 x 480", "16", "60")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.read_only);
        TempController c;
        c.set_config("faults", "registry_read_only", row.read_only);
        RunResult r = c.run(kChangeTo800 + kShowLabels + kExit);
        EXPECT_EQ(r.out, row.boxes + row.labels + kExitLines) << r.err;
    }
    TempController c;
    c.set_config("faults", "registry_read_only", rows[0].read_only);
    c.run(kChangeTo800 + kExit);
    EXPECT_EQ(c.reg_get(kKey, "CxScreen"), dword(800));
    EXPECT_EQ(c.reg_get(kKey, "CyScreen"), dword(600));
    EXPECT_EQ(c.reg_get(kKey, "Bpp"), dword(16));
    EXPECT_EQ(c.reg_get(kKey, "Freq"), dword(70));
}

// A value is taken only when it is exactly 4 bytes, whatever its type; a
// missing, longer or shorter one leaves its variable (0 before the read).
TEST(SettingsDisplay, ValuesOfTheWrongSizeOrMissingAreNotTaken) {
    TempController c;
    c.reg_set(kKey, "CxScreen", "REG_SZ", "1024");
    ASSERT_EQ(c.tool({"reg", "delete", kKey, "CyScreen"}).exit_code, 0);
    c.reg_set(kKey, "Bpp", "REG_BINARY", "hex:08,00");
    c.reg_set(kKey, "Freq", "REG_BINARY", "hex:4b,00,00,00");
    RunResult r = c.run(kShowAll + kExit);
    EXPECT_EQ(r.out, shown("0 x 0", "0", "75", 0, 0, 3) + kExitLines) << r.err;
}

TEST(SettingsDisplay, InitialisationFillsEachListBeforeSelectingItThenShowsTheFtpRow) {
    TempController c;
    RunResult r = c.run(kExit, {"--trace"});
    // A list's items as --trace shows them, then its selection.
    auto filled = [](int list, std::vector<std::string> items, int selected) {
        std::string out;
        for (const std::string& item : items) out += "item " + id(list) + " \"" + item + "\"\n";
        return out + "sel " + id(list) + " " + std::to_string(selected) + "\n";
    };
    const std::string expected_start =
        "text " + id(IDC_RESOLUTION_LABEL) + " \"Resolution : 640 x 480\"\ntext " + id(IDC_BPP_LABEL) +
        " \"Bpp : 16\"\ntext " + id(IDC_FREQ_LABEL) + " \"Frequncy : 60 Hz\"\n" +
        filled(IDC_RESOLUTION, {"320 x 240", "640 x 480", "800 x 600", "1024 x 768"}, 1) +
        filled(IDC_BPP, {"2", "4", "8", "16"}, 3) + filled(IDC_FREQ, {"50 Hz", "60 Hz", "70 Hz", "75 Hz"}, 1) +
        "text " + id(IDC_FTP_DIR) + " \"\\\\Temp\"\n";
    EXPECT_EQ(r.out.substr(0, expected_start.size()), expected_start) << r.out;
}

}  // namespace
}  // namespace orva::test
