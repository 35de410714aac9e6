// The "Auto-execute" page run through the real program: loading the ten
// "Init\Launch8x" values into their edits, "Save Setting", "Browse", and
// the registry left behind, read back with orva-controller.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

struct Row {
    int edit, browse;
    const char* value;
};
// Screen order; rows 6 to 9 do not follow the edit identifiers.
const Row kRows[10] = {{IDC_PROGRAM1, IDC_BROWSE1, "Launch80"}, {IDC_PROGRAM2, IDC_BROWSE2, "Launch81"},
                       {IDC_PROGRAM3, IDC_BROWSE3, "Launch82"}, {IDC_PROGRAM4, IDC_BROWSE4, "Launch83"},
                       {IDC_PROGRAM5, IDC_BROWSE5, "Launch84"}, {IDC_PROGRAM6, IDC_BROWSE6, "Launch85"},
                       {IDC_PROGRAM7, IDC_BROWSE7, "Launch86"}, {IDC_PROGRAM8, IDC_BROWSE8, "Launch87"},
                       {IDC_PROGRAM9, IDC_BROWSE9, "Launch88"}, {IDC_PROGRAM10, IDC_BROWSE10, "Launch89"}};
const std::string kSave = click(IDC_SAVE_SETTING);

const std::string kOpenFailed = R"(box none "Add Auto-run" "RegOpenKeyEx Failed" 0x0 -> OK)";
const std::string kWriteFailed = R"(box none "Auto-Execute" "AutoRun RegSetValueEx Failed" 0x0 -> OK)";
const std::string kLeave = "answer NO\ncancel\n";

// A string as the script and the transcript write it.
std::string text_of(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') q += '\\';
        q += c;
    }
    return q + "\"";
}

// A file at `path` (slash separated) in the controller's file system.
void put_fs_file(const TempController& c, const std::string& path) {
    std::filesystem::create_directories((c.fs() / path).parent_path());
    std::ofstream(c.fs() / path) << "program";
}

std::string stored(const std::string& text) { return "REG_SZ 400 " + text_of(text); }

std::string show_all() {
    std::string s;
    for (const Row& r : kRows) s += show(r.edit);
    return s;
}

// The transcript lines that start with `prefix`.
std::vector<std::string> lines_with(const std::string& out, const std::string& prefix) {
    std::vector<std::string> found;
    for (auto& l : lines(out))
        if (l.rfind(prefix, 0) == 0) found.push_back(l);
    return found;
}

std::string shown(const RunResult& r, int edit) {
    for (auto& l : lines(r.out))
        if (l.rfind("show " + id(edit) + " ", 0) == 0) return l.substr(l.find(' ', 5) + 1);
    return "<no show " + id(edit) + ">";
}

TEST(AutoRun, EachValueIsShownInItsRowsEditAndSavedBackFromIt) {
    TempController c;
    for (int i = 0; i < 10; i++)
        c.reg_set("Init", kRows[i].value, "REG_SZ", "\\Windows\\p" + std::to_string(i + 1) + ".exe");
    RunResult r = c.run("tab 3\n" + show_all() + kLeave);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(shown(r, kRows[i].edit), text_of("\\Windows\\p" + std::to_string(i + 1) + ".exe")) << kRows[i].value;
    EXPECT_TRUE(lines_with(r.out, "box none").empty()) << r.out;

    std::string script = "tab 3\n";
    for (int i = 0; i < 10; i++) script += type(kRows[i].edit, "row" + std::to_string(i + 1));
    RunResult saved = c.run(script + kSave + kLeave);
    ASSERT_EQ(saved.exit_code, 0) << saved.err;
    EXPECT_TRUE(lines_with(saved.out, "box none").empty()) << saved.out;
    for (int i = 0; i < 10; i++) EXPECT_EQ(c.reg_get("Init", kRows[i].value), stored("row" + std::to_string(i + 1)));
}

TEST(AutoRun, MissingInitIsReportedAtLoadAndAtSaveAndNeverCreated) {
    TempController c;
    ASSERT_EQ(c.tool({"reg", "delete", "Init"}).exit_code, 0);
    RunResult r = c.run("tab 3\n" + show_all() + type(IDC_PROGRAM1, "\\Windows\\a.exe") + kSave + kLeave);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines_with(r.out, "box none"), (std::vector<std::string>{kOpenFailed, kOpenFailed})) << r.out;
    // The load box comes before the page is shown, the save box after the click.
    EXPECT_LT(r.out.find(kOpenFailed), r.out.find(show(IDC_PROGRAM1)));
    for (const Row& row : kRows)
        if (row.edit != IDC_PROGRAM1) {
            EXPECT_EQ(shown(r, row.edit), "\"\"");
        }
    EXPECT_NE(c.tool({"reg", "export", "Init"}).exit_code, 0) << "the key was created";
}

TEST(AutoRun, SavingAllEmptyWritesTenEmptyStringsAndDeletesNothing) {
    TempController c;
    c.reg_set("Init", "Launch84", "REG_SZ", "\\Windows\\old.exe");
    const char* others[] = {"Launch10", "Launch20", "Launch30", "Launch50", "Launch60", "Depend20", "Depend50"};
    std::vector<std::string> before;
    for (const char* other : others) before.push_back(c.reg_get("Init", other));
    RunResult r = c.run("tab 3\n" + type(IDC_PROGRAM5, "") + kSave + kLeave);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    for (const Row& row : kRows) EXPECT_EQ(c.reg_get("Init", row.value), stored("")) << row.value;
    for (size_t i = 0; i < before.size(); i++) {
        EXPECT_FALSE(before[i].empty()) << others[i];
        EXPECT_EQ(c.reg_get("Init", others[i]), before[i]) << others[i];
    }
}

TEST(AutoRun, AMissingValueShowsEmptyAndSaveCreatesIt) {
    TempController c;
    c.reg_set("Init", "Launch80", "REG_SZ", "\\Windows\\one.exe");
    RunResult r = c.run("tab 3\n" + show(IDC_PROGRAM1) + show(IDC_PROGRAM2) + kSave + kLeave);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(shown(r, IDC_PROGRAM2), "\"\"");
    EXPECT_EQ(c.reg_get("Init", "Launch80"), stored("\\Windows\\one.exe"));
    EXPECT_EQ(c.reg_get("Init", "Launch81"), stored(""));
}

// Values too long for the page: each is left out of its edit without a box,
// and "Save Setting" replaces it with the edit's text as REG_SZ of 400.
TEST(AutoRun, UnshowableValuesStayEmptyAndAreOverwrittenOnSave) {
    struct Case {
        const char* name;
        const char* type;
        std::string data;
        int size;
    } cases[] = {
        {"text of 200 characters (402 bytes)", "REG_SZ", std::string(200, 'a'), -1},
        {"short text padded past 400 bytes", "REG_SZ", "\\Windows\\big.exe", 800},
    };
    TempController c;
    for (auto& k : cases) {
        c.reg_set("Init", "Launch83", k.type, k.data, k.size);
        RunResult r = c.run("tab 3\n" + show(IDC_PROGRAM4) + kLeave);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(shown(r, IDC_PROGRAM4), "\"\"") << k.name;
        EXPECT_TRUE(lines_with(r.out, "box").size() == 1) << k.name << "\n" << r.out;  // only the exit prompt
        RunResult s = c.run("tab 3\n" + type(IDC_PROGRAM3, "x") + kSave + kLeave);
        ASSERT_EQ(s.exit_code, 0) << s.err;
        EXPECT_EQ(c.reg_get("Init", "Launch83"), stored("")) << k.name;
        EXPECT_EQ(c.reg_get("Init", "Launch82"), stored("x")) << k.name;
    }
}

// The type a value reports is not looked at: its bytes are shown as text.
TEST(AutoRun, ValuesOfOtherTypesAreShownByTheirBytes) {
    TempController c;
    for (auto [type, data] : {std::pair{"REG_DWORD", "0x0041005C"}, std::pair{"REG_BINARY", "hex:5c,00,41,00"}}) {
        c.reg_set("Init", "Launch83", type, data);
        RunResult r = c.run("tab 3\n" + show(IDC_PROGRAM4) + kLeave);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(shown(r, IDC_PROGRAM4), text_of("\\A")) << type;
    }
}

TEST(AutoRun, OtherStringTypesAreShownAsText) {
    TempController c;
    c.reg_set("Init", "Launch86", "REG_EXPAND_SZ", "\\Windows\\exp.exe");
    RunResult r = c.run("tab 3\n" + show(IDC_PROGRAM7) + kLeave);
    EXPECT_EQ(shown(r, IDC_PROGRAM7), text_of("\\Windows\\exp.exe"));
}

// 400 bytes of text with no NUL in them: only the first 199 characters fit
// the path buffer with its NUL.
TEST(AutoRun, TextFillingAllFourHundredBytesIsCutTo199Characters) {
    TempController c;
    std::string data = "hex:";
    for (int i = 0; i < 200; i++) data += std::string(i ? "," : "") + (i == 199 ? "7a,00" : "62,00");
    c.reg_set("Init", "Launch89", "hex(1)", data);
    ASSERT_EQ(c.reg_get("Init", "Launch89").substr(0, 11), "REG_SZ 400 ");
    RunResult r = c.run("tab 3\n" + show(IDC_PROGRAM10) + kSave + kLeave);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(shown(r, IDC_PROGRAM10), text_of(std::string(199, 'b')));
    EXPECT_EQ(c.reg_get("Init", "Launch89"), stored(std::string(199, 'b')));
}

TEST(AutoRun, TypedTextIsCutTo199CharactersWhenSaved) {
    TempController c;
    for (size_t n : {198u, 199u, 200u, 500u}) {
        std::string text = "\\" + std::string(n - 1, 'p');
        RunResult r = c.run("tab 3\n" + type(IDC_PROGRAM8, text) + kSave + kLeave);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(c.reg_get("Init", "Launch87"), stored(text.substr(0, 199))) << n;
    }
}

TEST(AutoRun, AFailingWriteIsReportedOnceAndTheOtherRowsAreWritten) {
    TempController c;
    c.reg_set("Init", "Launch83", "REG_SZ", "\\Windows\\kept.exe");
    c.set_config("faults", "registry_read_only", R"(["Init\\Launch83"])");
    std::string script = "tab 3\n";
    for (int i = 0; i < 10; i++) script += type(kRows[i].edit, "n" + std::to_string(i));
    RunResult r = c.run(script + kSave + kLeave);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines_with(r.out, "box none"), std::vector<std::string>{kWriteFailed}) << r.out;
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(c.reg_get("Init", kRows[i].value),
                  i == 3 ? "REG_SZ 36 \"\\\\Windows\\\\kept.exe\"" : stored("n" + std::to_string(i)));
}

// Each row's "Browse" fills that row's edit only, and writes nothing until
// "Save Setting".
TEST(AutoRun, BrowseFillsTheEditOfItsOwnRow) {
    TempController c;
    std::string script = "tab 3\n";
    for (const char* program : {"Windows/app.exe", "Temp/six.exe"}) put_fs_file(c, program);
    for (int i = 0; i < 10; i++) put_fs_file(c, "Windows/app" + std::to_string(i) + ".exe");
    for (int i = 0; i < 10; i++)
        script += "pick \"\\\\Windows\\\\app" + std::to_string(i) + ".exe\"\n" + click(kRows[i].browse);
    RunResult browsed = c.run(script + show_all() + kLeave, {"--trace"});
    ASSERT_EQ(browsed.exit_code, 0) << browsed.err;
    EXPECT_EQ(lines_with(browsed.out, "open-file").size(), 10u);
    EXPECT_EQ(lines_with(browsed.out, "open-file")[0], R"(open-file "Auto-execute" -> "\\Windows\\app0.exe")");
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(shown(browsed, kRows[i].edit), text_of("\\Windows\\app" + std::to_string(i) + ".exe"))
            << kRows[i].browse;
    EXPECT_EQ(c.reg_get("Init", "Launch88"), "") << "browsing wrote the registry";

    RunResult saved = c.run("tab 3\npick \"\\\\Windows\\\\app.exe\"\n" + click(IDC_BROWSE9) +
                            "pick \"\\\\Temp\\\\six.exe\"\n" + click(IDC_BROWSE6) + kSave + kLeave);
    ASSERT_EQ(saved.exit_code, 0) << saved.err;
    EXPECT_EQ(c.reg_get("Init", "Launch88"), R"(REG_SZ 400 "\\Windows\\app.exe")");
    EXPECT_EQ(c.reg_get("Init", "Launch85"), R"(REG_SZ 400 "\\Temp\\six.exe")");
}

// A path longer than the row's buffer is refused by the dialog, which says
// so and stays open for the next pick.
TEST(AutoRun, ACancelledOrTooLongPickLeavesTheEditAsItWas) {
    TempController c;
    c.reg_set("Init", "Launch81", "REG_SZ", "\\Windows\\keep.exe");
    std::string too_long = "\\" + std::string(199, 'q');  // 200 characters: no room for the NUL
    std::string longest = "\\" + std::string(198, 'q');
    put_fs_file(c, too_long.substr(1));
    put_fs_file(c, longest.substr(1));
    const std::string browse_and_show = click(IDC_BROWSE2) + show(IDC_PROGRAM2);
    RunResult r = c.run("tab 3\npick cancel\n" + browse_and_show + "pick " + text_of(too_long) + "\npick cancel\n" +
                            browse_and_show + kLeave,
                        {"--trace"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines_with(r.out, "show " + id(IDC_PROGRAM2)),
              (std::vector<std::string>(2, "show " + id(IDC_PROGRAM2) + " " + text_of("\\Windows\\keep.exe"))));
    EXPECT_EQ(lines_with(r.out, "text " + id(IDC_PROGRAM2)).size(), 1u) << "only the load sets the edit\n" << r.out;
    EXPECT_EQ(lines_with(r.out, "pick-refused"),
              std::vector<std::string>{"pick-refused " + text_of(too_long) +
                                       " \"This path is longer than the program takes (199 characters).\""});
    RunResult stuck = c.run("tab 3\npick " + text_of(too_long) + "\n" + click(IDC_BROWSE2) + kLeave);
    EXPECT_EQ(stuck.exit_code, 2);
    EXPECT_NE(stuck.err.find(":2: the open-file dialog is still open and no pick is queued"), std::string::npos)
        << stuck.err;

    RunResult ok = c.run("tab 3\npick " + text_of(longest) + "\n" + click(IDC_BROWSE2) + kSave + kLeave);
    ASSERT_EQ(ok.exit_code, 0) << ok.err;
    EXPECT_EQ(c.reg_get("Init", "Launch81"), stored(longest));
}

TEST(AutoRun, ASavedListIsShownAgainAfterARestart) {
    TempController c;
    const std::string path = "\\Storage Card\\My \"Apps\"\\run.exe";
    RunResult first =
        c.run("tab 3\n" + type(IDC_PROGRAM9, path) + type(IDC_PROGRAM1, "\\Windows\\a.exe") + kSave + kLeave);
    ASSERT_EQ(first.exit_code, 0) << first.err;
    RunResult second = c.run("tab 3\n" + show(IDC_PROGRAM9) + show(IDC_PROGRAM1) + kLeave);
    EXPECT_EQ(shown(second, IDC_PROGRAM9), text_of(path));
    EXPECT_EQ(shown(second, IDC_PROGRAM1), text_of("\\Windows\\a.exe"));

    // Saved into flash and rebooted, the list survives the controller's restart.
    RunResult flushed = c.run("answer YES YES YES\nok\n");
    ASSERT_EQ(flushed.exit_code, 0) << flushed.err;
    RunResult third = c.run("tab 3\n" + show(IDC_PROGRAM9) + kLeave);
    EXPECT_EQ(shown(third, IDC_PROGRAM9), text_of(path));
}

// The Auto-execute page reads "Init" when its tab is first selected, and
// only then: a missing key is reported once however often the tab is chosen.
TEST(AutoRun, LoadsOnceWhenItsTabIsFirstSelected) {
    TempController c;
    ASSERT_EQ(c.tool({"reg", "delete", "Init"}).exit_code, 0);
    RunResult r = c.run(show(IDC_FTP_DIR) + "tab 3\ntab 1\ntab 3\n" + show(IDC_PROGRAM1) + kLeave);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out,
              "show " + id(IDC_FTP_DIR) + " \"\\\\Temp\"\n" + kOpenFailed + "\nshow " + id(IDC_PROGRAM1) +
                  " \"\"\n"
                  "box \"Auto-execute\" \"Save Registry\" \"Save your settings to registry ?\" 0x24 -> NO\nexit 0\n");
    EXPECT_EQ(c.reg_get("Init", "Launch80"), "");
}

}  // namespace
}  // namespace orva::test
