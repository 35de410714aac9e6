// The open-file dialog's walk over fs/: controller paths, folders first, no
// way out of fs/ by "..", by links, or by names a controller path cannot hold.
#include <gtest/gtest.h>

#include <fstream>

#include "frontends/terminal/file_browser.h"
#include "tests/platform/controller_fixture.h"

namespace orva::terminal {
namespace {

namespace fs = std::filesystem;

class FileBrowserTest : public test::ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (HasFatalFailure()) return;
        empty_fs();
        fs::create_directories(fs_root / "Windows");
        put(fs_root / "Storage Card" / "nk.bin", "image");
        put(fs_root / "readme.txt");
        put(fs_root / "a\\b");  // a Linux name no controller path can give
        put(root / "secret", "outside");
        fs::create_directory_symlink(root, fs_root / "escape");
    }

    static platform::OpenFileRequest request(std::u16string pattern) {
        platform::OpenFileRequest r;
        r.filter_pattern = std::move(pattern);
        return r;
    }
    static std::vector<std::u16string> names(const FileBrowser& b) {
        std::vector<std::u16string> out;
        for (auto& e : b.entries()) out.push_back(e.name);
        return out;
    }
};

TEST_F(FileBrowserTest, ListsFoldersFirstAndGivesControllerPaths) {
    FileBrowser b(request(u"*.*"));
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
    FileBrowser b(request(u"*.bin"));
    EXPECT_EQ(names(b), (std::vector<std::u16string>{u"Storage Card", u"Windows"}));
}

TEST_F(FileBrowserTest, AFolderThatGoesAwayIsReportedAndTheListStays) {
    FileBrowser b(request(u"*.*"));
    fs::remove_all(fs_root / "Windows");
    EXPECT_FALSE(b.open(1));
    EXPECT_NE(b.error().find("Windows"), std::string::npos) << b.error();
    EXPECT_EQ(b.folder_path(), u"\\");
}

}  // namespace
}  // namespace orva::terminal
