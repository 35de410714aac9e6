// Controller paths inside fs/: case-insensitive matching and never leaving fs/.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "simulator/paths.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

namespace fs = std::filesystem;
using Status = ResolvedPath::Status;

class Paths : public ::testing::Test {
protected:
    void SetUp() override {
        root = dir / "fs";
        fs::create_directories(root / "Storage Card");
        fs::create_directories(root / "Windows");
        std::ofstream(root / "Storage Card" / "NK.bin") << "x";
        fs::create_directories(dir / "secret");
        fs::create_symlink(dir / "secret", root / "Escape");
        fs::create_symlink("Windows", root / "Inside");
    }
    test::TempDir dir;
    fs::path root;
};

TEST_F(Paths, MatchesComponentsCaseInsensitively) {
    for (const char* p : {"\\Storage Card\\nk.bin", "/storage card/NK.BIN", "STORAGE CARD\\nk.bin",
                          "\\Windows\\..\\Storage Card\\.\\nk.bin"}) {
        ResolvedPath r = resolve_controller_path(root, p);
        EXPECT_EQ(r.status, Status::Ok) << p;
        EXPECT_TRUE(r.exists) << p;
        EXPECT_EQ(r.host, root / "Storage Card" / "NK.bin") << p;
    }
    ResolvedPath fresh = resolve_controller_path(root, "\\windows\\New File.txt");
    EXPECT_EQ(fresh.status, Status::Ok);
    EXPECT_FALSE(fresh.exists);
    EXPECT_EQ(fresh.host, root / "Windows" / "New File.txt");
    ResolvedPath top = resolve_controller_path(root, "\\");
    EXPECT_TRUE(top.exists);
    EXPECT_EQ(resolve_controller_path(root, "\\Inside").status, Status::Ok);
}

TEST_F(Paths, RefusesMissingParentsAndWaysOut) {
    EXPECT_EQ(resolve_controller_path(root, "\\Nope\\nk.bin").status, Status::ParentMissing);
    EXPECT_EQ(resolve_controller_path(root, "\\Storage Card\\nk.bin\\x").status, Status::ParentMissing);
    EXPECT_EQ(resolve_controller_path(root, "\\..\\secret").status, Status::Outside);
    EXPECT_EQ(resolve_controller_path(root, "\\Windows\\..\\..").status, Status::Outside);
    EXPECT_EQ(resolve_controller_path(root, "\\Escape").status, Status::Outside);
    EXPECT_EQ(resolve_controller_path(root, "\\escape\\file").status, Status::Outside);
}

std::string contents(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A file written at a controller path lands inside fs/ or nowhere: links
// that lead out are refused, a link in the file's own place is replaced.
TEST_F(Paths, WritesFilesOnlyInsideTheFileSystem) {
    std::ofstream(dir / "secret" / "kept.txt") << "kept";
    fs::create_symlink(dir / "secret" / "kept.txt", root / "Windows" / "Out.txt");
    fs::create_symlink(dir / "secret" / "new.txt", root / "Windows" / "Dangling.txt");
    fs::create_symlink("../Storage Card/NK.bin", root / "Windows" / "In.bin");
    struct Row {
        const char* path;
        bool ok;
        const char* message;  // part of the error
        fs::path written;     // where the text is afterwards
    } rows[] = {
        {R"(\Windows\New.txt)", true, "", root / "Windows" / "New.txt"},
        {R"(\windows\new.TXT)", true, "", root / "Windows" / "New.txt"},  // the same file, its spelling kept
        {R"(\Inside\Via.txt)", true, "", root / "Windows" / "Via.txt"},
        {R"(\Windows\Dangling.txt)", true, "", root / "Windows" / "Dangling.txt"},
        {R"(\Windows\In.bin)", true, "", root / "Windows" / "In.bin"},  // the link, not what it names
        {R"(\Escape\x.txt)", false, "leads out of the controller's file system", {}},
        {R"(\Windows\Out.txt)", false, "leads out of the controller's file system", {}},
        {R"(\..\x.txt)", false, "leads out of the controller's file system", {}},
        {R"(\Nope\x.txt)", false, "its folder does not exist", {}},
        {R"(\Windows)", false, "is a folder", {}},
        {R"(\)", false, "is a folder", {}},
    };
    for (const Row& row : rows) {
        std::string error;
        const std::string text = std::string("text for ") + row.path;
        EXPECT_EQ(write_controller_file(root, row.path, text, &error), row.ok) << row.path << ": " << error;
        if (row.ok) {
            EXPECT_EQ(error, "") << row.path;
            EXPECT_FALSE(fs::is_symlink(row.written)) << row.path;
            EXPECT_EQ(contents(row.written), text) << row.path;
        } else {
            EXPECT_EQ(error, std::string(row.path) + ": " + row.message);
        }
    }
    // Nothing reached the folder outside, and no temporary file was left.
    EXPECT_EQ(contents(dir / "secret" / "kept.txt"), "kept");
    EXPECT_EQ(contents(root / "Storage Card" / "NK.bin"), "x");
    EXPECT_FALSE(fs::exists(dir / "secret" / "new.txt"));
    EXPECT_FALSE(fs::exists(dir / "secret" / "x.txt"));
    EXPECT_FALSE(fs::exists(dir / "x.txt"));
    for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();

    // The mode is the one asked for, whatever the umask.
    const mode_t umask_before = ::umask(077);
    for (bool executable : {false, true}) {
        std::string error;
        ASSERT_TRUE(write_controller_file(root, R"(\Windows\Mode.txt)", "x", &error, executable)) << error;
        struct stat st {};
        ASSERT_EQ(::stat((root / "Windows" / "Mode.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, executable ? 0755u : 0644u);
    }
    ::umask(umask_before);
}

}  // namespace
}  // namespace orva::sim
