// A fixture for platform tests that need a real controller: a new one in a
// temporary directory, opened and made current for the test, closed and
// removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "simulator/controller.h"

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
        controller = sim::Controller::open(root / "c", &error);
        ASSERT_TRUE(controller) << error;
        sim::set_current(controller.get());
        fs_root = root / "c" / "fs";
    }
    void TearDown() override {
        sim::set_current(nullptr);
        if (controller) controller->close();
        controller.reset();
        std::filesystem::remove_all(root);
    }

    std::filesystem::path root;     // holds the controller directory "c"
    std::filesystem::path fs_root;  // the controller's own file system
    std::unique_ptr<sim::Controller> controller;
};

}  // namespace orva::test
