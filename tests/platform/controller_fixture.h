// A fixture for platform tests that need a real controller: a new one in a
// temporary directory, opened and made current for the test, closed and
// removed afterwards, once the test is checked to have left nothing open.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "simulator/sim_controller.h"
#include "tests/platform/leak_check.h"

namespace orva::test {

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/orva-platform-XXXXXX";
        char* made = mkdtemp(tmpl);
        ASSERT_NE(made, nullptr);
        root = made;
        std::string error;
        ASSERT_TRUE(sim::init_controller(root / "c", 262144, false, &error)) << error;
        controller = sim::SimController::open_dir(root / "c", &error);
        ASSERT_TRUE(controller) << error;
        sim::set_current(controller.get());
        fs_root = root / "c" / "fs";
    }
    void TearDown() override {
        expect_nothing_left();
        sim::set_current(nullptr);
        if (controller) controller->close();
        controller.reset();
        std::filesystem::remove_all(root);
    }

    // Empties the controller's file system, for a test that makes its own.
    void empty_fs() {
        std::filesystem::remove_all(fs_root);
        std::filesystem::create_directory(fs_root);
    }
    // Writes `text` to the file at `path` (below the test's root), making
    // its folders.
    void put(const std::filesystem::path& path, const std::string& text = "x") {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }

    std::filesystem::path root;     // holds the controller directory "c"
    std::filesystem::path fs_root;  // the controller's own file system
    std::unique_ptr<sim::Controller> controller;
};

}  // namespace orva::test
