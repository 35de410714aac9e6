// Uploads into a folder of fs/: plain names only, the image area's limit,
// a hidden file until the whole file has come, nothing left when it does
// not, and no way out of fs/ through a link.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "frontends/web/upload.h"

namespace orva::web {
namespace {

namespace fs = std::filesystem;

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/orva-upload-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        fs::create_directories(root / "fs" / "Temp");
        fs::create_directories(root / "outside");
        folder = UploadFolder{7, "\\Temp", root / "fs" / "Temp", root / "fs", 1000};
    }
    void TearDown() override { fs::remove_all(root); }

    std::vector<std::string> names(const fs::path& dir) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string text(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path root;
    UploadFolder folder;
    Refusal refusal;
};

TEST(PlainFileName, OnlyANameInAFolderIsOne) {
    for (const char* name : {"nk.bin", "new image.bin", ".hidden", "a..b", "\xc3\xa9t\xc3\xa9.bin", "x", " x"})
        EXPECT_TRUE(plain_file_name(name)) << name;
    for (const char* name : {"", ".", "..", "a/b", "a\\b", "..\\x", "c:x", "a*", "a?", "a\"b", "a<b", "a>b", "a|b",
                             "a\x01", "a\x7f", "\t", "nk.bin.", "nk.bin ", "   "})
        EXPECT_FALSE(plain_file_name(name)) << name;
    EXPECT_TRUE(plain_file_name(std::string(255, 'n')));
    EXPECT_FALSE(plain_file_name(std::string(256, 'n')));
}

TEST_F(UploadTest, TheFileIsHiddenUntilWholeAndThenNamed) {
    auto up = UploadFile::open(folder, 10, &refusal);
    ASSERT_TRUE(up) << refusal.message;
    ASSERT_TRUE(up->write("hello", 5, &refusal));
    ASSERT_EQ(names(folder.host).size(), 1u);
    EXPECT_EQ(names(folder.host)[0], up->temp_name());
    EXPECT_EQ(up->temp_name().rfind(".upload-", 0), 0u);
    EXPECT_FALSE(up->finish(&refusal));  // five bytes are missing
    EXPECT_EQ(refusal.status, 400);

    up = UploadFile::open(folder, 10, &refusal);
    ASSERT_TRUE(up->write("hello", 5, &refusal));
    ASSERT_TRUE(up->write("world", 5, &refusal));
    EXPECT_FALSE(up->write("!", 1, &refusal));
    EXPECT_EQ(refusal.status, 400);
    ASSERT_TRUE(up->finish(&refusal)) << refusal.message;
    ASSERT_TRUE(up->land(folder.host, "nk.bin", std::nullopt, &refusal)) << refusal.message;
    EXPECT_EQ(up->written(), 10u);
    up.reset();
    EXPECT_EQ(names(folder.host), std::vector<std::string>{"nk.bin"});
    EXPECT_EQ(text(folder.host / "nk.bin"), "helloworld");
}

TEST_F(UploadTest, AnUploadNeverLandedLeavesNothing) {
    {
        auto up = UploadFile::open(folder, 3, &refusal);
        ASSERT_TRUE(up->write("abc", 3, &refusal));
        ASSERT_TRUE(up->finish(&refusal));
        // Named for another folder than its own: refused.
        EXPECT_FALSE(up->land(root / "fs", "nk.bin", std::nullopt, &refusal));
        EXPECT_EQ(refusal.status, 409);
        EXPECT_FALSE(up->land(folder.host, "../nk.bin", std::nullopt, &refusal));
        EXPECT_EQ(refusal.status, 400);
    }
    EXPECT_TRUE(names(folder.host).empty());
    EXPECT_TRUE(names(root / "fs").size() == 1);  // Temp alone
}

TEST_F(UploadTest, LargerThanTheImageAreaIsRefusedBeforeAnythingIsMade) {
    EXPECT_FALSE(UploadFile::open(folder, 1001, &refusal));
    EXPECT_EQ(refusal.status, 413);
    EXPECT_EQ(refusal.message, "The file (1001 bytes) is larger than the image area (1000 bytes).");
    EXPECT_EQ(size_refusal(1000, 1000), std::nullopt);
    EXPECT_TRUE(names(folder.host).empty());
}

TEST_F(UploadTest, AFolderThatLeadsOutOfFsIsRefused) {
    fs::create_directory_symlink(root / "outside", root / "fs" / "Temp" / "away");
    UploadFolder away = folder;
    away.host = root / "fs" / "Temp" / "away";
    EXPECT_FALSE(UploadFile::open(away, 1, &refusal));
    EXPECT_EQ(refusal.status, 403);
    EXPECT_TRUE(names(root / "outside").empty());
    // A link that stays inside is a folder like any other.
    fs::create_directory_symlink(root / "fs" / "Temp", root / "fs" / "tmp");
    UploadFolder inside = folder;
    inside.host = root / "fs" / "tmp";
    EXPECT_TRUE(UploadFile::open(inside, 1, &refusal)) << refusal.message;
}

TEST_F(UploadTest, AFileThereIsReplacedOnlyWhenAskedForAndKeepsItsMode) {
    { std::ofstream(folder.host / "RegView.exe") << "old"; }
    fs::permissions(folder.host / "RegView.exe", fs::perms(0750));
    auto up = UploadFile::open(folder, 3, &refusal);
    ASSERT_TRUE(up->write("new", 3, &refusal));
    ASSERT_TRUE(up->finish(&refusal));
    bool exists = false;
    EXPECT_FALSE(up->land(folder.host, "RegView.exe", std::nullopt, &refusal, &exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(refusal.status, 409);
    EXPECT_EQ(text(folder.host / "RegView.exe"), "old");
    ASSERT_TRUE(up->land(folder.host, "RegView.exe", 0100750, &refusal, &exists)) << refusal.message;
    EXPECT_EQ(text(folder.host / "RegView.exe"), "new");
    EXPECT_EQ(fs::status(folder.host / "RegView.exe").permissions(), fs::perms(0750));
}

TEST_F(UploadTest, PartialUploadsGoWhenTheProgramEndsAndThoseOfACrashAtTheNextStart) {
    auto up = UploadFile::open(folder, 3, &refusal);
    ASSERT_TRUE(up);
    UploadFile::remove_unlanded();
    EXPECT_TRUE(names(folder.host).empty());
    ASSERT_TRUE(up->write("abc", 3, &refusal));
    ASSERT_TRUE(up->finish(&refusal));
    EXPECT_FALSE(up->land(folder.host, "nk.bin", std::nullopt, &refusal));
    up.reset();

    fs::create_directories(root / "fs" / "Temp" / "deep");
    for (const char* name : {"Temp/.upload-AbCdEfGh-_12", "Temp/deep/.upload-000000000000", "Temp/.upload-notes",
                             "Temp/.upload-AbCdEfGh-_12.bin"})
        std::ofstream(root / "fs" / name) << "x";
    fs::create_symlink(root / "outside", root / "fs" / ".upload-linklinklink");
    std::vector<std::string> removed = remove_leftover_uploads(root / "fs");
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed,
              (std::vector<std::string>{"\\Temp\\.upload-AbCdEfGh-_12", "\\Temp\\deep\\.upload-000000000000"}));
    EXPECT_EQ(names(folder.host), (std::vector<std::string>{".upload-AbCdEfGh-_12.bin", ".upload-notes", "deep"}));
    EXPECT_TRUE(fs::is_symlink(root / "fs" / ".upload-linklinklink"));
}

TEST_F(UploadTest, LandingOnALinkReplacesTheLinkNotWhatItPointsAt) {
    { std::ofstream(root / "outside" / "victim") << "keep"; }
    fs::create_symlink(root / "outside" / "victim", folder.host / "nk.bin");
    auto up = UploadFile::open(folder, 3, &refusal);
    ASSERT_TRUE(up->write("new", 3, &refusal));
    ASSERT_TRUE(up->finish(&refusal));
    ASSERT_TRUE(up->land(folder.host, "nk.bin", 0644, &refusal));
    EXPECT_FALSE(fs::is_symlink(folder.host / "nk.bin"));
    EXPECT_EQ(text(folder.host / "nk.bin"), "new");
    EXPECT_EQ(text(root / "outside" / "victim"), "keep");
}

}  // namespace
}  // namespace orva::web
