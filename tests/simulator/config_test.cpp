// controller.toml: the text a new controller gets, how bad files are
// reported, the bytes refused before the parser sees them, and the warnings
// for keys this version does not know.
#include <fstream>

#include <gtest/gtest.h>

#include "simulator/config.h"
#include "simulator/toml_check.h"
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
    auto cfg =
        load_text(dir,
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

TEST(Config, UnknownKeysAreWarnedWithTheNearestKnownOne) {
    test::TempDir dir;
    const std::string file = (dir / "controller.toml").string();
    struct Row {
        const char* text;
        std::vector<std::string> warnings;  // after "FILE:"
    } rows[] = {
        {"[module]\nname = \"OR5DI\"\ndelay_msec = 5\n",
         {"3: unknown key \"delay_msec\" in [module] (did you mean \"delay_ms\"?); it is ignored"}},
        {"[identity]\nSerial_Numbr = \"0123456789ABCDEF\"\n",
         {"2: unknown key \"Serial_Numbr\" in [identity] (did you mean \"serial_number\"?); it is ignored"}},
        {"[modul]\nname = \"x\"\n\n[extra.sub]\n",
         {"1: unknown section [modul] (did you mean [module]?); it is ignored",
          "4: unknown section [extra]; it is ignored"}},
        {"colour = 1\n[flash]\nspeed = 3\n",
         {"1: unknown key \"colour\" outside any section; it is ignored",
          "3: unknown key \"speed\" in [flash]; it is ignored"}},
        {"[serial]\nCOM1 = \"/dev/ttyS1\"\n", {}},
    };
    for (const Row& row : rows) {
        std::string error;
        auto cfg = load_text(dir, row.text, &error);
        ASSERT_TRUE(cfg) << row.text << error;
        std::vector<std::string> expected;
        for (const std::string& w : row.warnings) expected.push_back(file + ":" + w);
        EXPECT_EQ(cfg->warnings, expected) << row.text;
    }
    // A known key still takes effect beside an unknown one.
    std::string error;
    auto cfg = load_text(dir, "[module]\ndelay_ms = 7\ndelay_msec = 5\n", &error);
    ASSERT_TRUE(cfg) << error;
    EXPECT_EQ(cfg->module.delay_ms, 7);
}

TEST(Config, BytesThatTomlNeverAllowsAreRefusedBeforeParsing) {
    test::TempDir dir;
    const std::string file = (dir / "controller.toml").string();
    struct Row {
        std::string text;
        const char* expected;
    } rows[] = {
        {"[\x02]\n", ":1: control character 0x02"},
        {"[identity]\n# a comment \x01\n", ":2: control character 0x01"},
        {"[identity]\nos_version = \"a\x7F\"\n", ":2: control character 0x7F"},
        {"[identity]\nos_version = \"a\"\rsdk_version = \"b\"\n", ":2: control character 0x0D"},
        {std::string("a = 1\n\0 = 2\n", 12), ":2: control character 0x00"},
        {"[identity]\n\xC3\xA9 = 1\n", ":2: non-ASCII character outside a string or comment"},
        {"[\xD0\x80]\n", ":1: non-ASCII character outside"},
        {"[identity]\nos_version = \"x\" \xC2\xA1\n", ":2: non-ASCII character outside"},
        {"[identity]\nos_version = \"\xFF\"\n", ":2: invalid UTF-8"},
        {"[identity]\nos_version = \"\xC0\xAF\"\n", ":2: invalid UTF-8"},
        {"[identity]\nos_version = \"\xED\xA0\x80\"\n", ":2: invalid UTF-8"},
        {"# \xE2\x82\n", ":1: invalid UTF-8"},
        // Where the parser itself fails: an assertion, and undefined behaviour.
        {"[\n", ":1: a table header without a name"},
        {"e=1\"\xD0\x96", ":1: a quote right after a number, date or name"},
        {"e = [0[\"\xD0\x96\"]]\n", ":1: a quote right after a number, date or name"},
        {"e = \"\"\"a\\\n  \xEF\xBB\xBF\xD0\x96\"\"\"\n", ":1: a non-ASCII character right after a backslash"},
        {"[a]\nb = [1,\n}]\n", ":3: a closing brace without an inline table to close"},
    };
    for (const Row& row : rows) {
        std::string error;
        EXPECT_FALSE(load_text(dir, row.text, &error)) << row.text;
        EXPECT_EQ(error.rfind(file + row.expected, 0), 0u) << error;
    }
    // Every character from U+0080 to U+07FF as a bare key is refused (the
    // parser's own handling of some of them is undefined).
    for (uint32_t cp = 0x80; cp < 0x800; ++cp) {
        std::string key{char(0xC0 | (cp >> 6)), char(0x80 | (cp & 0x3F))};
        ASSERT_EQ(check_toml_bytes("[identity]\n" + key + " = 1\n").rfind("2: non-ASCII", 0), 0u) << cp;
        ASSERT_EQ(check_toml_bytes("[identity]\n\"" + key + "\" = 1\n"), "") << cp;
    }
}

TEST(Config, NonAsciiTextInStringsAndCommentsIsAccepted) {
    test::TempDir dir;
    std::string error;
    auto cfg = load_text(dir,
                         "# K\xC3\xBChler \xF0\x9F\x94\xA7\r\n"
                         "[identity]\r\n"
                         "os_version = \"CE \\\" \xC3\xA9\"  # \xC3\xB6 \"not a string\n"
                         "sdk_version = '''x\n\xD0\x80 = 1'''\n"
                         "kernel_version = \"\"\"K1.0.\"\"\"\"  # one more quote ends the string \xC3\xA4\n"
                         "[serial]\n\"c\xC3\xB6m1\" = 'module'\n",
                         &error);
    ASSERT_TRUE(cfg) << error;
    EXPECT_EQ(cfg->os_version, u"CE \" \u00e9");
    EXPECT_EQ(cfg->sdk_version, u"x\n\u0400 = 1");
    EXPECT_EQ(cfg->kernel_version, "K1.0.\"");
    EXPECT_TRUE(cfg->warnings.empty());
}

}  // namespace
}  // namespace orva::sim
