// controller.toml: the text a new controller gets, and how bad files are reported.
#include <fstream>

#include <gtest/gtest.h>

#include "simulator/config.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

std::optional<ControllerConfig> load_text(const test::TempDir& dir, const std::string& text, std::string* error) {
    std::ofstream(dir / "controller.toml") << text;
    return load_config(dir / "controller.toml", error);
}

TEST(Config, DefaultTextHoldsTheDocumentedValues) {
    test::TempDir dir;
    std::string error;
    auto cfg = load_text(dir, default_config_text(131072), &error);
    ASSERT_TRUE(cfg) << error;
    EXPECT_EQ(cfg->serial_number, (std::array<uint8_t, 8>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(cfg->mac[1], (std::array<uint32_t, 6>{2, 0, 0, 0, 0, 2}));
    EXPECT_EQ(cfg->segment_size, 131072u);
    EXPECT_EQ(cfg->image_area_size, 14680064);
    EXPECT_EQ(cfg->kernel_version.size(), 6u);
    EXPECT_EQ(cfg->slot1_name, "5000");
    EXPECT_EQ(cfg->serial.at("com0"), "module");
    EXPECT_FALSE(cfg->module.reply);
    EXPECT_EQ(cfg->flash_write_fail_segment, -1);
    EXPECT_FALSE(cfg->registry_flush_fails);
    EXPECT_NE(default_config_text(262144).find("# the first N calls"), std::string::npos);
}

TEST(Config, AcceptsEditedValues) {
    test::TempDir dir;
    std::string error;
    auto cfg = load_text(dir,
                         "[identity]\nmac = [[1, 2, 3, 4, 5, 300], \"aa-BB-cc-00-11-22\"]\n"
                         "[flash]\nsegment_size = 65536\nimage_area_size = -5\n"
                         "[module]\nreply = \"OR\\u0000\\u00ff\"\n"
                         "[faults]\nregistry_read_only = [\"Comm\\\\FTPD\\\\DefaultDir\"]\nregistry_flush_fails = true\n",
                         &error);
    ASSERT_TRUE(cfg) << error;
    EXPECT_EQ(cfg->mac[0], (std::array<uint32_t, 6>{1, 2, 3, 4, 5, 300}));
    EXPECT_EQ(cfg->mac[1], (std::array<uint32_t, 6>{0xAA, 0xBB, 0xCC, 0, 0x11, 0x22}));
    EXPECT_EQ(cfg->segment_size, 65536u);
    EXPECT_EQ(cfg->image_area_size, -5);
    ASSERT_TRUE(cfg->module.reply);
    EXPECT_EQ(*cfg->module.reply, std::string("OR\0\xff", 4));
    EXPECT_EQ(cfg->registry_read_only, std::vector<std::string>{"Comm\\FTPD\\DefaultDir"});
    EXPECT_TRUE(cfg->registry_flush_fails);
}

TEST(Config, BadFilesNameTheFileAndLine) {
    test::TempDir dir;
    const std::string file = (dir / "controller.toml").string();
    struct Row {
        const char* text;
        const char* expected;
    } rows[] = {
        {"[identity]\nserial_number = \"0123\"\n", ":2: identity.serial_number must be 16 hex digits"},
        {"[identity]\n\nkernel_version = \"K1.0\"\n", ":3: identity.kernel_version must be exactly six"},
        {"[identity]\nmac = [\"02:00:00:00:00\", \"02:00:00:00:00:01\"]\n", ":2: identity.mac entry"},
        {"[flash]\nimage_area_size = 4294967296\n", ":2: flash.image_area_size = 4294967296 is out of range"},
        {"[flash]\nsegment_size = \"big\"\n", ":2: flash.segment_size must be an integer"},
        {"[slot1]\nname = \"\\u0100\"\n", ":2: slot1.name may only hold 8-bit characters"},
        {"[faults]\nregistry_read_only = \"x\"\n", ":2: faults.registry_read_only must be an array"},
        {"[identity\n", ":1: "},
        {"a = 1\na = 2\n", ":2: "},
    };
    for (const Row& row : rows) {
        std::string error;
        EXPECT_FALSE(load_text(dir, row.text, &error)) << row.text;
        EXPECT_EQ(error.rfind(file, 0), 0u) << error;
        EXPECT_NE(error.find(row.expected), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(load_config(dir / "missing.toml", &error));
    EXPECT_NE(error.find("missing.toml"), std::string::npos);
}

}  // namespace
}  // namespace orva::sim
