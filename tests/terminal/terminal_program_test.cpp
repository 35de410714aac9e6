// The real orva-utility with --frontend terminal, driven through tmux on a
// temporary controller: what the operator sees, what the keys do, and what
// the controller holds afterwards.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tmux_session.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

const std::string kBin = ORVA_BIN_DIR;

class TerminalProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/orva-term-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_root = tmpl;
        m_dir = m_root / "controller";
        int rc = 0;
        // The factory identity, as the screenshots of the pages show it.
        std::string out = shell(shell_quoted(kBin + "/orva-controller") + " init " + shell_quoted(m_dir.string()) +
                                    " --serial 0123456789ABCDEF --mac1 02:00:00:00:00:01 --mac2 02:00:00:00:00:02 2>&1",
                                &rc);
        ASSERT_EQ(rc, 0) << out;
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::string program() const {
        return shell_quoted(kBin + "/orva-utility") + " --frontend terminal --controller " +
               shell_quoted(m_dir.string());
    }
    std::string tool(const std::string& args) const {
        return shell(shell_quoted(kBin + "/orva-controller") + " -C " + shell_quoted(m_dir.string()) + " " + args +
                     " 2>&1");
    }
    void put_image(size_t bytes) const {
        fs::create_directories(m_dir / "fs" / "Storage Card");
        std::ofstream f(m_dir / "fs" / "Storage Card" / "nk.bin", std::ios::binary);
        for (size_t i = 0; i < bytes; ++i) f.put(char(i * 7 + 3));
    }
    // Waits for a text; the test stops with the screen shown when it does not come.
    static void expect_screen(const TmuxSession& t, const std::string& text, int timeout_ms = 15000) {
        std::string last;
        ASSERT_TRUE(t.wait_for(text, timeout_ms, &last)) << "waiting for \"" << text << "\"; the screen:\n" << last;
    }

    fs::path m_root, m_dir;
};

size_t count_lines_with(const std::string& text, const std::string& what) {
    size_t n = 0, pos = 0;
    while ((pos = text.find(what, pos)) != std::string::npos) {
        ++n;
        pos += what.size();
    }
    return n;
}

// Kernel debug output goes to the controller's debug.log and never onto the
// screen the frontend draws: every screen seen along the way is checked.
TEST_F(TerminalProgram, WritesAnImageAndExitsWithSave) {
    put_image(600000);  // three segments of 256 KiB, the last one partly
    tool("log --clear");
    TmuxSession t(program());
    std::vector<std::string> screens;
    auto seen = [&] { screens.push_back(t.screen()); };
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Orva_Utility [Ver 1.0]"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F1 Save Registry]"));
    t.keys({"F4"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F4 Version Update]"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Specify the new OS image file for version update"));
    // The path edit has the focus first; then Browse, then the write button.
    t.type("\\Storage Card\\nk.bin");
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "\\Storage Card\\nk.bin"));
    t.keys({"Tab", "Tab", "Enter"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Update OS image now ?"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[ OK ]  [ Cancel ]"));
    t.keys({"Enter"});
    for (int i = 0; i < 200 && t.screen().find("Reboot now ?") == std::string::npos; ++i) {
        seen();  // the erase and write passes as they go
        usleep(20000);
    }
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Update OS image succeed, Reboot now ?", 60000));
    seen();
    EXPECT_NE(t.screen().find("(?)"), std::string::npos) << "a question shows its mark";
    // The progress bar ended full.
    EXPECT_NE(t.screen().find("###################"), std::string::npos) << t.screen();
    t.keys({"n"});
    ASSERT_TRUE(t.wait_gone("Reboot now ?"));
    seen();
    // Exit with save: Esc is the sheet's Cancel.
    t.keys({"Escape"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Save your settings to registry ?"));
    seen();
    t.keys({"y"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "It would take 10-15 seconds"));
    t.keys({"Enter"});  // Yes has the focus
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "reboot now ?"));
    t.keys({"Escape"});  // Esc answers No
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[exit 0]"));
    // The terminal was left clean: the program's screen is gone.
    EXPECT_EQ(t.screen().find("Tab move"), std::string::npos) << t.screen();
    seen();
    for (const std::string& screen : screens) {
        EXPECT_EQ(screen.find("intStartSegNo"), std::string::npos) << screen;
        EXPECT_EQ(screen.find("intEndSegNo"), std::string::npos) << screen;
    }
    EXPECT_EQ(tool("log --debug"), "intStartSegNo=0\nintEndSegNo=3\n");

    std::string log = tool("log");
    EXPECT_EQ(count_lines_with(log, "FlashErase_Reg"), 16u) << log;
    EXPECT_EQ(count_lines_with(log, "FlashWriteString_Img"), 3u) << log;
    EXPECT_EQ(log.find("reboot"), std::string::npos) << log;
    std::string saved = tool("reg --saved export --utf8");
    EXPECT_NE(saved.find("[HKEY_LOCAL_MACHINE"), std::string::npos) << saved;
    EXPECT_NE(saved.find("MQ200"), std::string::npos) << saved;
}

// An open sheet has the controller alone: a command waits, then names the
// program; the registry viewer the sheet starts still gets in; killed, the
// program blocks nobody.
TEST_F(TerminalProgram, AnOpenSheetHasTheControllerAloneButItsViewerGetsIn) {
    TmuxSession t(program());
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[ View Registry ]"));
    t.keys({"Tab", "Enter"});  // Save and Reboot has the focus first, then View Registry
    const fs::path viewed = m_dir / "fs" / "Temp" / "RegView.txt";
    for (int i = 0; i < 200 && !fs::exists(viewed); ++i) usleep(50000);
    std::ifstream in(viewed);
    std::string head;
    std::getline(in, head);
    EXPECT_EQ(head, "Windows Registry Editor Version 5.00");

    const std::string command = shell_quoted(kBin + "/orva-utility") + " -C " + shell_quoted(m_dir.string());
    int rc = 0;
    std::string err = shell(command + " --wait 0.5 autorun 1 '\\x.exe' 2>&1 >/dev/null", &rc);
    EXPECT_EQ(rc, 1);
    const std::string says = "orva-utility: controller " + m_dir.string() + " is in use by PID ";
    ASSERT_EQ(err.rfind(says, 0), 0u) << err;
    const pid_t pid = std::atoi(err.c_str() + says.size());
    EXPECT_EQ(err.substr(err.find(' ', says.size())),
              " (orva-utility --frontend terminal --controller " + m_dir.string() + ")\n");
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[exit "));
    err = shell(command + " --wait 0 autorun 1 '\\x.exe' 2>&1 >/dev/null", &rc);
    EXPECT_EQ(rc, 0) << err;
}

// A hang-up ends the program as its own end does: the screen given back,
// the controller closed and said so, the process ended by the signal.
TEST_F(TerminalProgram, AHangUpEndsItWithTheControllerClosed) {
    TmuxSession t(program());
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[ View Registry ]"));
    // A command that finds the controller taken names the program's process.
    const std::string err = shell(shell_quoted(kBin + "/orva-utility") + " -C " + shell_quoted(m_dir.string()) +
                                  " --wait 0 info 2>&1 >/dev/null");
    const size_t at = err.find("is in use by PID ");
    ASSERT_NE(at, std::string::npos) << err;
    const pid_t pid = std::atoi(err.c_str() + at + 17);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGHUP), 0);
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "orva-utility: ended by SIGHUP; the controller is closed"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[exit 129]"));
}

// A path longer than the page's buffer is refused with the reason, and the
// dialog stays open.
TEST_F(TerminalProgram, BrowsesTheControllerFilesAndReturnsAControllerPath) {
    put_image(1000);
    std::ofstream(m_dir / "fs" / std::string(199, 'z')) << "x";  // "\zzz…": 200 characters, the page takes 199
    TmuxSession t(program());
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F1 Save Registry]"));
    t.keys({"F4"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F4 Version Update]"));
    t.keys({"Tab", "Enter"});  // Browse
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Look in: \\"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "All Documents (*.*)"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[Storage Card]"));
    EXPECT_EQ(t.screen().find("[..]"), std::string::npos) << "no way above the root";
    // The long name is the last entry.
    const auto entries = std::distance(fs::directory_iterator(m_dir / "fs"), fs::directory_iterator());
    for (auto i = 1; i < entries; ++i) t.keys({"Down"});
    t.keys({"Enter"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "This path is longer than the program takes (199 characters)."));
    EXPECT_NE(t.screen().find("Look in: \\"), std::string::npos) << t.screen();
    for (auto i = 1; i < entries; ++i) t.keys({"Up"});
    // Folders come first, in name order (case ignored): go down to Storage Card.
    int before = 0;
    for (auto& e : fs::directory_iterator(m_dir / "fs")) {
        std::string n = e.path().filename().string();
        for (auto& c : n) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (e.is_directory() && n < "storage card") ++before;
    }
    for (int i = 0; i < before; ++i) t.keys({"Down"});
    t.keys({"Enter"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Look in: \\Storage Card"));
    t.keys({"Down", "Enter"});  // past "..", the image
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "\\Storage Card\\nk.bin"));
    EXPECT_EQ(t.screen().find("Look in:"), std::string::npos);
    t.keys({"Escape"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Save your settings to registry ?"));
    t.keys({"n"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[exit 0]"));
}

TEST_F(TerminalProgram, PlainVt100WithoutColoursAndAResize) {
    TmuxSession t(program(), 80, 24, "vt100");
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F1 Save Registry]"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Save and Reboot"));
    t.resize(120, 40);
    // With room for the largest page the sheet takes a frame and the page
    // shows whole: the server group at its foot is on screen.
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Change HTTP default directory"));
    t.keys({"F2"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F2 System Config]"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "128K bytes"));
    t.keys({"Escape"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Save your settings to registry ?"));
    t.keys({"Escape"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[exit 0]"));
    EXPECT_EQ(tool("log").find("RegFlush"), std::string::npos);
}

// Writes the captures of every page (80 x 24) into docs/screenshots when
// ORVA_WRITE_SCREENSHOTS is set; otherwise only checks that each page shows.
TEST_F(TerminalProgram, EveryPageShowsInEightyByTwentyFour) {
    const char* write = std::getenv("ORVA_WRITE_SCREENSHOTS");
    TmuxSession t(program());
    const char* marks[] = {"[F1 Save Registry]", "[F2 System Config]", "[F3 Auto-execute]", "[F4 Version Update]",
                           "[F5 About Orva_Utility]"};
    const char* texts[] = {"Save and Reboot", "Serial Number :", "Program 1 :", "Write to Flash now",
                           "Orva_Utility Version 1.0"};
    for (int page = 1; page <= 5; ++page) {
        t.keys({"F" + std::to_string(page)});
        ASSERT_NO_FATAL_FAILURE(expect_screen(t, marks[page - 1]));
        ASSERT_NO_FATAL_FAILURE(expect_screen(t, texts[page - 1]));
        if (write) {
            std::ofstream f(fs::path(ORVA_SOURCE_DIR) / "docs" / "screenshots" /
                            ("terminal-page" + std::to_string(page) + ".txt"));
            f << t.screen();
        }
    }
    t.keys({"Escape"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Save your settings to registry ?"));
    t.keys({"n"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[exit 0]"));
}

// The terminal types of serial consoles, terminal servers and desktops, in
// the C locale.
struct Console {
    const char* term;
    const char* scroll_keys;  // as the status line names them, then as tmux does
    const char *up, *down;
    bool colours, hides_cursor;  // else reverse video, and the cursor in the bottom left corner
};
void PrintTo(const Console& c, std::ostream* os) { *os << c.term; }

// A captured row's cells: character, colours (-1 the default), bold, reverse.
struct Cell {
    char ch = ' ';
    int fg = -1, bg = -1;
    bool bold = false, reverse = false;
};
std::vector<Cell> cells_of(const std::string& row) {
    std::vector<Cell> cells;
    Cell pen;
    for (size_t i = 0; i < row.size(); ++i) {
        if (row[i] != '\x1b') {
            if (static_cast<unsigned char>(row[i]) >= 0x20) cells.push_back(pen), cells.back().ch = row[i];
            continue;
        }
        size_t end = row.find('m', i);
        std::istringstream params(row.substr(i + 2, end - i - 2));
        for (std::string p; std::getline(params, p, ';');) {
            int n = p.empty() ? 0 : std::stoi(p);
            if (n == 0) pen = Cell{};
            if (n == 1 || n == 7) (n == 1 ? pen.bold : pen.reverse) = true;
            if (n / 10 == 3 || n / 10 == 4) (n / 10 == 3 ? pen.fg : pen.bg) = n % 10 == 9 ? -1 : n % 10;
        }
        i = end;
    }
    return cells;
}

// Text on its background, as an 8-colour terminal shows it (the VGA
// palette, bold making a colour bright): the contrast ratio.
double contrast(const Cell& c) {
    static constexpr double kLuminance[16] = {0,      0.0855, 0.2875, 0.1504, 0.0290, 0.1145, 0.3165, 0.4020,
                                              0.0908, 0.2841, 0.7411, 0.9344, 0.1564, 0.3497, 0.8067, 1};
    int fg = c.fg < 0 ? 7 : c.fg, bg = c.bg < 0 ? 0 : c.bg;
    double a = kLuminance[fg + (c.bold ? 8 : 0)], b = kLuminance[bg];
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

class Consoles : public TerminalProgram, public ::testing::WithParamInterface<Console> {};

// The keys the status line and the tabs name work; no key's sequence reaches
// the image path; the selected tab is readable; the cursor shows only in a
// field; a message box stays clear of the page's lines; and the image is
// written after a stray F5.
TEST_P(Consoles, KeysWorkAndNoSequenceIsTyped) {
    const Console& c = GetParam();
    put_image(600000);
    TmuxSession t(program(), 80, 24, c.term, "C");
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F1 Save Registry]"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, c.scroll_keys));
    std::vector<Cell> tabs = cells_of(t.row_with_attributes(1));
    for (size_t i = 0; i < 18; ++i) {  // "[F1 Save Registry]"
        if (c.colours) EXPECT_GE(contrast(tabs[i]), 4.5) << c.term << " column " << i;
        else EXPECT_TRUE(tabs[i].reverse && !tabs[20].reverse) << c.term << " column " << i;
    }
    TmuxSession::Cursor cursor = t.cursor();
    EXPECT_TRUE(c.hides_cursor ? !cursor.shown : cursor.col == 0 && cursor.row == 23)
        << cursor.col << "," << cursor.row;
    ASSERT_EQ(t.screen().find("HTTP"), std::string::npos);  // at the first page's foot
    t.keys({c.down});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "HTTP"));
    t.keys({c.up});
    ASSERT_TRUE(t.wait_gone("HTTP"));
    for (auto [key, mark] :
         {std::pair{"F2", "[F2 System"}, {"F3", "[F3 Auto"}, {"F5", "[F5 About"}, {"F4", "[F4 Ver"}}) {
        t.keys({key});
        ASSERT_NO_FATAL_FAILURE(expect_screen(t, mark));
    }

    // Into the path field, and the cursor after it; then keys no page uses
    // (Home first, End before Delete) and sequences that are no key at all.
    t.type("\\Storage Card\\nk.bin");
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "x\\Storage Card\\nk.bin_"));  // x: the frame's line
    cursor = t.cursor();
    std::string row;
    for (const Cell& cell : cells_of(t.row_with_attributes(cursor.row))) row += cell.ch;
    EXPECT_TRUE(cursor.shown && row.substr(size_t(cursor.col) - 3, 3) == "bin") << row;
    t.keys({"Home", "End", "DC", "IC", "F6", "F12", "S-F6", "C-F7", "C-Left", "C-Right", "PPage", "C-NPage"});
    for (const char* s : {"\x1b[200~", "\x1b[99;5~", "\x1b[I"}) t.type(s);
    t.keys({"F5"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F5 About"));
    t.keys({"F4"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "x\\Storage Card\\nk.bin____"));
    EXPECT_EQ(t.screen().find('~'), std::string::npos) << t.screen();

    // The confirmation has a blank cell all round: no line of the page runs
    // into its frame ("lq Update OS image qq..k" down to "mq..j").
    t.keys({"Tab", "Tab", "Enter"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Update OS image now ?"));
    std::istringstream in(t.screen());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line + std::string(80, ' '));
    size_t top = 0, left = 0, bottom = 0;
    while (top < lines.size() && (left = lines[top].find("lq Update OS image")) == std::string::npos) ++top;
    ASSERT_TRUE(top > 0 && top < lines.size() && left > 0);
    size_t right = lines[top].find('k', left);
    for (bottom = top; bottom + 1 < lines.size() && lines[bottom][left] != 'm';) ++bottom;
    ASSERT_LT(bottom + 1, lines.size());
    for (size_t r = top - 1; r <= bottom + 1; ++r)
        for (size_t col = left - 1; col <= right + 1; ++col)
            if (r < top || r > bottom || col < left || col > right) {
                EXPECT_EQ(lines[r][col], ' ') << "row " << r << " column " << col << "\n" << t.screen();
            }

    t.keys({"Enter"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Reboot now ?"));
    t.keys({"n", "Escape"});  // No, then Esc for Cancel
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Save your settings to registry ?"));
    t.keys({"n"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[exit 0]"));
    EXPECT_EQ(count_lines_with(tool("log"), "FlashWriteString_Img"), 3u);
}

INSTANTIATE_TEST_SUITE_P(Terminals, Consoles,
                         ::testing::Values(Console{"vt100", "Ctrl+U/Ctrl+D scroll", "C-u", "C-d", false, false},
                                           Console{"vt220", "PgUp/PgDn scroll", "PPage", "NPage", false, true},
                                           Console{"linux", "PgUp/PgDn scroll", "PPage", "NPage", true, true},
                                           Console{"xterm-256color", "PgUp/PgDn scroll", "PPage", "NPage", true, true}),
                         [](const auto& info) {
                             std::string name = info.param.term;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace orva::test
