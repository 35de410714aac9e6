// The open-file dialog's walk over fs/: controller paths, folders first, no
// way out of fs/ by "..", by links, or by names a controller path cannot hold.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "frontends/terminal/file_browser.h"

namespace orva::terminal {
namespace {

namespace fs = std::filesystem;

class FileBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/orva-browse-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_top = tmpl;
        m_root = m_top / "fs";
        fs::create_directories(m_root / "Windows");
        fs::create_directories(m_root / "Storage Card");
        std::ofstream(m_root / "Storage Card" / "nk.bin") << "image";
        std::ofstream(m_root / "readme.txt") << "x";
        std::ofstream(m_root / "a\\b") << "x";  // a Linux name no controller path can give
        std::ofstream(m_top / "secret") << "outside";
        fs::create_directory_symlink(m_top, m_root / "escape");
    }
    void TearDown() override { fs::remove_all(m_top); }

    static std::vector<std::u16string> names(const FileBrowser& b) {
        std::vector<std::u16string> out;
        for (auto& e : b.entries()) out.push_back(e.name);
        return out;
    }

    fs::path m_top, m_root;
};

TEST_F(FileBrowserTest, ListsFoldersFirstAndGivesControllerPaths) {
    FileBrowser b(m_root, u"*.*");
    EXPECT_EQ(b.folder_path(), u"\\");
    EXPECT_EQ(names(b), (std::vector<std::u16string>{u"Storage Card", u"Windows", u"readme.txt"}));
    EXPECT_EQ(b.path_of(2), u"\\readme.txt");
    EXPECT_FALSE(b.open(2));  // a file is not a folder
    ASSERT_TRUE(b.open(0));
    EXPECT_EQ(b.folder_path(), u"\\Storage Card");
    EXPECT_EQ(names(b), (std::vector<std::u16string>{u"..", u"nk.bin"}));
    EXPECT_EQ(b.path_of(1), u"\\Storage Card\\nk.bin");
    ASSERT_TRUE(b.open(0));  // ".."
    EXPECT_EQ(b.folder_path(), u"\\");
    EXPECT_FALSE(b.up());  // nothing above the root
}

TEST_F(FileBrowserTest, FiltersFilesButNotFolders) {
    FileBrowser b(m_root, u"*.bin");
    EXPECT_EQ(names(b), (std::vector<std::u16string>{u"Storage Card", u"Windows"}));
}

TEST_F(FileBrowserTest, AFolderThatGoesAwayIsReportedAndTheListStays) {
    FileBrowser b(m_root, u"*.*");
    fs::remove_all(m_root / "Windows");
    EXPECT_FALSE(b.open(1));
    EXPECT_NE(b.error().find("Windows"), std::string::npos) << b.error();
    EXPECT_EQ(b.folder_path(), u"\\");
}

}  // namespace
}  // namespace orva::terminal
