// The simulated controller's directory: making one with factory settings,
// opening it (a bad controller.toml, a missing directory), copies of the
// registry that fail their check, and where the default controller lies.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "simulator/sim_controller.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ControllerDir, InitRefusesExistingAndOpenReportsBadFiles) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(init_controller(dir.path(), 131072, false, &error)) << error;
    EXPECT_FALSE(init_controller(dir.path(), 131072, false, &error));
    EXPECT_NE(error.find("exists already"), std::string::npos);
    EXPECT_FALSE(init_controller(dir / "other", 65536, false, &error));
    EXPECT_TRUE(std::filesystem::is_directory(dir / kFsFolder / "Storage Card"));

    std::ofstream(dir / kConfigFile, std::ios::app) << "[flash]\n";  // a table defined twice
    EXPECT_FALSE(SimController::open_dir(dir.path(), &error));
    EXPECT_NE(error.find("controller.toml:"), std::string::npos) << error;
    EXPECT_FALSE(SimController::open_dir(dir / "nowhere", &error));

    ASSERT_TRUE(init_controller(dir.path(), 262144, true, &error)) << error;
    for (const char* name : {kLiveCopyFile, kSavedCopyFile, kFactoryCopyFile, kFactoryFile})
        EXPECT_TRUE(std::filesystem::is_regular_file(dir / name)) << name;
    EXPECT_FALSE(std::filesystem::exists(dir / kOldRegistryFile));
}

// A damaged live copy: the controller still opens and says which copy and
// file; the program's registry calls fail instead of reading it, a flush
// refuses to save it, and a restart loads the saved copy into it again.
TEST(ControllerDir, ADamagedLiveCopyIsReportedAndARestartRepairsIt) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(init_controller(dir.path(), 262144, false, &error)) << error;
    std::ofstream(dir / kLiveCopyFile, std::ios::trunc) << std::string(4096, 'x');
    auto c = SimController::open_dir(dir.path(), &error);
    ASSERT_TRUE(c) << error;
    ASSERT_EQ(c->registry_problems().size(), 1u);
    EXPECT_NE(c->registry_problems()[0].find("the live copy"), std::string::npos) << c->registry_problems()[0];
    EXPECT_NE(c->registry_problems()[0].find((dir / kLiveCopyFile).string()), std::string::npos);
    EXPECT_EQ(read_file(dir / kLiveCopyFile), std::string(4096, 'x'));  // nothing overwritten yet
    EXPECT_FALSE(c->reg_key_exists("Comm\\FTPD"));
    EXPECT_EQ(c->reg_get("Comm\\FTPD", "DefaultDir", nullptr), RegResult::IoError);
    const uint8_t b[4] = {};
    EXPECT_EQ(c->reg_set("Comm\\FTPD", "X", kRegDword, b, 4), RegResult::IoError);
    EXPECT_FALSE(c->reg_flush());
    EXPECT_TRUE(c->registry()->saved_valid());
    EXPECT_TRUE(c->restart(&error)) << error;
    EXPECT_TRUE(c->reg_key_exists("Comm\\FTPD"));
    c.reset();
    c = SimController::open_dir(dir.path(), &error);
    ASSERT_TRUE(c) << error;
    EXPECT_TRUE(c->registry_problems().empty());
}

// A damaged saved copy: the restart loads the factory registry, says why, and
// the next flush writes the saved copy anew.
TEST(ControllerDir, ADamagedSavedCopyRestartsOnTheFactoryRegistry) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(init_controller(dir.path(), 262144, false, &error)) << error;
    std::ofstream(dir / kSavedCopyFile, std::ios::trunc) << "garbage";
    auto c = SimController::open_dir(dir.path(), &error);
    ASSERT_TRUE(c) << error;
    ASSERT_EQ(c->registry_problems().size(), 1u);
    EXPECT_NE(c->registry_problems()[0].find("the saved copy"), std::string::npos);
    const uint8_t b[4] = {7, 0, 0, 0};
    ASSERT_EQ(c->reg_set("Comm\\FTPD", "X", kRegDword, b, 4), RegResult::Ok);
    EXPECT_FALSE(c->restart(&error));
    EXPECT_NE(error.find("the saved copy"), std::string::npos) << error;
    EXPECT_NE(error.find("the factory registry was loaded instead"), std::string::npos) << error;
    EXPECT_EQ(c->reg_get("Comm\\FTPD", "X", nullptr), RegResult::NoValue);
    ASSERT_EQ(c->reg_set("Comm\\FTPD", "X", kRegDword, b, 4), RegResult::Ok);
    ASSERT_TRUE(c->reg_flush());
    EXPECT_TRUE(c->restart(&error)) << error;
    EXPECT_EQ(c->reg_get("Comm\\FTPD", "X", nullptr), RegResult::Ok);
}

TEST(ControllerDir, DefaultDirectoryFollowsTheEnvironment) {
    const char* saved_ctl = std::getenv("ORVA_CONTROLLER");
    std::string saved = saved_ctl ? saved_ctl : "";
    setenv("ORVA_CONTROLLER", "/x/ctl", 1);
    EXPECT_EQ(default_controller_dir(), "/x/ctl");
    unsetenv("ORVA_CONTROLLER");
    setenv("XDG_STATE_HOME", "/state", 1);
    EXPECT_EQ(default_controller_dir(), "/state/orva-utility/controller");
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", "/home/op", 1);
    EXPECT_EQ(default_controller_dir(), "/home/op/.local/state/orva-utility/controller");
    if (saved_ctl) setenv("ORVA_CONTROLLER", saved.c_str(), 1);
}

}  // namespace
}  // namespace orva::sim
