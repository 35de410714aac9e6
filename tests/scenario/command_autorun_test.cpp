// `orva-utility autorun`: the ten programs of the Auto-execute page, listed,
// shown one at a time and set through the page, and its bad input.
#include <gtest/gtest.h>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

std::vector<std::string> rows_with(int row, const std::string& path) {
    std::vector<std::string> out;
    for (int r = 1; r <= 10; ++r) out.push_back(r == row ? std::to_string(r) + " " + path : std::to_string(r));
    return out;
}

std::string sz400(const std::string& quoted) { return "REG_SZ 400 \"" + quoted + "\""; }

TEST(AutorunCommand, ListsShowsAndSetsTheRows) {
    TempController c;
    c.reg_set("Init", "Launch88", "REG_SZ", "\\Windows\\nine.exe");
    RunResult r = c.command({"autorun"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines(r.out), rows_with(9, "\\Windows\\nine.exe")) << "row 9 is Launch88, shown in edit IDC_PROGRAM9";
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(c.command({"autorun", "9"}).out, "9 \\Windows\\nine.exe\n");
    EXPECT_EQ(c.command({"autorun", "3"}).out, "3\n");

    r = c.command({"autorun", "6", "\\Program Files\\app.exe"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> expected = rows_with(9, "\\Windows\\nine.exe");
    expected[5] = "6 \\Program Files\\app.exe";
    EXPECT_EQ(lines(r.out), expected);
    EXPECT_EQ(c.reg_get("Init", "Launch85"), sz400("\\\\Program Files\\\\app.exe"));
    EXPECT_EQ(c.saved_get("Init", "Launch85"), sz400("\\\\Program Files\\\\app.exe"));
    // "Save Setting" writes every row, each 400 bytes long.
    EXPECT_EQ(c.saved_get("Init", "Launch80"), sz400(""));
    EXPECT_EQ(c.saved_get("Init", "Launch88"), sz400("\\\\Windows\\\\nine.exe"));

    // "" empties a row; --no-save leaves the saved copy.
    r = c.command({"autorun", "9", "", "--no-save"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(c.reg_get("Init", "Launch88"), sz400(""));
    EXPECT_EQ(c.saved_get("Init", "Launch88"), sz400("\\\\Windows\\\\nine.exe"));
}

TEST(AutorunCommand, BadRowsAndPathsAreUsageErrors) {
    TempController c;
    struct Row {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"0", "x"}, "autorun: N must be a row from 1 to 10, not \"0\""},
        {{"11"}, "autorun: N must be a row from 1 to 10, not \"11\""},
        {{"three"}, "autorun: N must be a row from 1 to 10, not \"three\""},
        {{"3", "x", "y"}, "autorun: N must be a row from 1 to 10, not \"y\""},
        {{"3", "x", "4"}, "autorun: row 4 needs a PATH"},
        {{"3", std::string(200, 'p')}, "autorun: PATH is 200 characters long; the page keeps at most 199"},
        {{"3", "\\Windows\\a\nb.exe"},
         "autorun: PATH holds a line feed (U+000A) at character 11; the page keeps a single line of printable text"},
        {{"3", "a\x7F"},
         "autorun: PATH holds the control character (U+007F) at character 2; the page keeps a single "
         "line of printable text"},
        {{"--reboot"}, "autorun: --reboot needs a change to save; nothing offers a reboot here"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args{"autorun"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        RunResult r = c.command(args);
        EXPECT_EQ(r.exit_code, 2) << row.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "orva-utility: " + row.err + "\n");
    }
    EXPECT_EQ(c.reg_get("Init", "Launch80"), "");
}

TEST(AutorunCommand, AMissingKeyIsTheBoxText) {
    TempController c;
    ASSERT_EQ(c.tool({"reg", "delete", "Init"}).exit_code, 0);
    RunResult r = c.command({"autorun"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "orva-utility: Add Auto-run: RegOpenKeyEx Failed\n");
    r = c.command({"autorun", "1", "\\x.exe"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "orva-utility: Add Auto-run: RegOpenKeyEx Failed\n") << "nothing is tried after the load failed";
}

}  // namespace
}  // namespace orva::test
