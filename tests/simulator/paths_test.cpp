// Controller paths inside fs/: case-insensitive matching and never leaving fs/.
#include <fstream>

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
    for (const char* p : {"\\Storage Card\\nk.bin", "/storage card/NK.BIN", "STORAGE CARD\\nk.bin", "\\Windows\\..\\Storage Card\\.\\nk.bin"}) {
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

}  // namespace
}  // namespace orva::sim
