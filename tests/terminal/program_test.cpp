// The real orva-utility with --frontend terminal, driven through tmux on a
// temporary controller: what the operator sees, what the keys do, and what
// the controller holds afterwards.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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
        std::string out = shell(quoted(kBin + "/orva-controller") + " init " + quoted(m_dir.string()) + " 2>&1", &rc);
        ASSERT_EQ(rc, 0) << out;
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::string program() const {
        return quoted(kBin + "/orva-utility") + " --frontend terminal --controller " + quoted(m_dir.string());
    }
    std::string tool(const std::string& args) const {
        return shell(quoted(kBin + "/orva-controller") + " -C " + quoted(m_dir.string()) + " " + args + " 2>&1");
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
    std::string saved = tool("reg --saved export");
    EXPECT_NE(saved.find("[HKEY_LOCAL_MACHINE"), std::string::npos) << saved;
    EXPECT_NE(saved.find("MQ200"), std::string::npos) << saved;
}

TEST_F(TerminalProgram, BrowsesTheControllerFilesAndReturnsAControllerPath) {
    put_image(1000);
    TmuxSession t(program());
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F1 Save Registry]"));
    t.keys({"F4"});
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[F4 Version Update]"));
    t.keys({"Tab", "Enter"});  // Browse
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "Look in: \\"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "All Documents (*.*)"));
    ASSERT_NO_FATAL_FAILURE(expect_screen(t, "[Storage Card]"));
    EXPECT_EQ(t.screen().find("[..]"), std::string::npos) << "no way above the root";
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

}  // namespace
}  // namespace orva::test
