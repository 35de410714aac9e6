// `orva-utility info`: the System Config page's fields as lines and as JSON
// (parsed, and compared with what the page shows through a script), the
// device calls it makes, and a serial number that cannot be read.
#include <gtest/gtest.h>

#include "tests/scenario/harness.h"
#include "tests/scenario/json.h"

namespace orva::test {
namespace {

const std::vector<std::string> kLines = {
    "Slot 1: R-OR5DI",
    "Serial Number: 01  23  45  67  89  AB  CD  EF",
    "MAC1 address: 02 : 00 : 00 : 00 : 00 : 01",
    "MAC2 address: 02 : 00 : 00 : 00 : 00 : 02",
    "Flash Memory Size: 32M bytes",
    "EEPROM Size: 128K bytes",
    "OS Version: Windows CE 4.20 (Build 1088)",
    "Orva SDK Version: OrvaSDK 1.07",
    "Kernel Version: Orva Kernel K1.0.3",
    "OS Image Size: 29360128 bytes",
};

// The JSON keys and the page's fields.
const std::vector<std::pair<std::string, int>> kKeys = {
    {"slot1", IDC_SLOT1},
    {"serial_number", IDC_SERIAL_NUMBER},
    {"mac1", IDC_MAC1},
    {"mac2", IDC_MAC2},
    {"flash_size", IDC_FLASH_SIZE},
    {"eeprom_size", IDC_EEPROM_SIZE},
    {"os_image_size", IDC_IMAGE_SIZE},
    {"os_version", IDC_OS_VERSION},
    {"sdk_version", IDC_SDK_VERSION},
    {"kernel_version", IDC_KERNEL_VERSION},
};

// A transcript string's text: the escapes \\ \" \r \n \t \xHH undone.
std::string unquote(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        char e = text[++i];
        if (e == 'x') {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
        }
    }
    return out;
}

// What the page shows in each field, through the script frontend: id -> the
// quoted text of its "show" line, unquoted as far as the tests need.
std::map<int, std::string> fields_through_script(const TempController& c) {
    std::string script = "tab 2\n";
    for (auto& [key, id] : kKeys) script += show(id);
    RunResult r = c.run(script + "answer NO\ncancel\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::map<int, std::string> out;
    for (const std::string& line : lines(r.out)) {
        if (line.rfind("show ", 0) != 0) continue;
        size_t quote = line.find('"');
        out[std::stoi(line.substr(5))] = unquote(line.substr(quote + 1, line.size() - quote - 2));
    }
    return out;
}

TEST(InfoCommand, PrintsEachFieldWithItsLabelInPageOrder) {
    TempController c;
    RunResult r = c.command({"info"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines(r.out), kLines);
    EXPECT_EQ(r.err, "");
}

TEST(InfoCommand, JsonHoldsEachFieldExactlyAsThePageShowsIt) {
    TempController c;
    // Texts that need escaping in JSON, and text beyond ASCII.
    c.set_config("identity", "os_version", "'Windows CE \"4.20\" \\ caf\u00e9 \u4e2d'");
    c.set_config("identity", "sdk_version", "\"tab\\there\"");
    c.set_config("identity", "kernel_version", "\"K\\u0001\\u00ff.0.\"");
    RunResult r = c.command({"info", "--json"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    auto json = parse_json(r.out);
    ASSERT_TRUE(json && json->object()) << r.out;
    const Json::Object& object = *json->object();
    // The texts, the values beside them, and the warnings.
    EXPECT_EQ(object.size(), kKeys.size() + 9);
    std::map<int, std::string> page = fields_through_script(c);
    for (auto& [key, id] : kKeys) {
        auto it = object.find(key);
        ASSERT_TRUE(it != object.end() && it->second.string()) << key;
        EXPECT_EQ(*it->second.string(), page[id]) << key;
    }
    EXPECT_EQ(*object.at("os_version").string(), "Windows CE \"4.20\" \\ caf\u00e9 \u4e2d");
    EXPECT_EQ(*object.at("sdk_version").string(), "tab\there");
    EXPECT_EQ(*object.at("kernel_version").string(), "Orva Kernel K\x01\xC3\xBF.0.");
    EXPECT_EQ(*object.at("serial_number").string(), "01  23  45  67  89  AB  CD  EF");
    // The same fields as values.
    const std::vector<std::pair<std::string, std::string>> values = {
        {"schema", "1"},
        {"slot1_module", "\"R-OR5DI\""},
        {"serial", "\"0123456789abcdef\""},
        {"mac1_address", "\"02:00:00:00:00:01\""},
        {"mac2_address", "\"02:00:00:00:00:02\""},
        {"flash_bytes", "33554432"},
        {"eeprom_bytes", "131072"},
        {"os_image_bytes", "29360128"},
        {"warnings", "[]"},
    };
    for (const auto& [key, value] : values)
        EXPECT_NE(r.out.find("\"" + key + "\": " + value), std::string::npos) << key;
    // The same options anywhere on the line.
    RunResult again = run_program({utility_path(), "--json", "info", "--controller", c.dir().string()});
    EXPECT_EQ(again.out, r.out) << again.err;
}

TEST(InfoCommand, MakesTheDeviceCallsOfOpeningThePage) {
    TempController c;
    c.clear_log();
    RunResult script = c.run("tab 2\nanswer NO\ncancel\n");
    ASSERT_EQ(script.exit_code, 0) << script.err;
    std::vector<std::string> by_script = c.log();
    c.clear_log();
    ASSERT_EQ(c.command({"info"}).exit_code, 0);
    EXPECT_EQ(c.log(), by_script);
    EXPECT_FALSE(by_script.empty());
}

TEST(InfoCommand, ASerialNumberThatIsNeverReadFailsTheCommandButTheFieldsArePrinted) {
    struct Row {
        int failures;
        int exit_code;
        std::string serial;
    } rows[] = {
        {3, 0, "01  23  45  67  89  AB  CD  EF"},
        {1000, 1, "00  00  00  00  00  00  00  00"},
    };
    for (const Row& row : rows) {
        TempController c;
        c.set_config("faults", "serial_number_failures", std::to_string(row.failures));
        RunResult r = c.command({"info"});
        EXPECT_EQ(r.exit_code, row.exit_code) << r.err;
        std::vector<std::string> expected = kLines;
        expected[1] = "Serial Number: " + row.serial;
        EXPECT_EQ(lines(r.out), expected);
        if (row.exit_code == 0) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.err,
                      "orva-utility: System Config: Serial Number Error: the serial number could not be read (10 "
                      "retries); the page shows 00  00  00  00  00  00  00  00\n");
        }
    }
}

TEST(InfoCommand, TakesNoArguments) {
    TempController c;
    RunResult r = c.command({"info", "extra"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "orva-utility: info: takes no arguments (did you mean --json?)\n");
    for (auto args : std::vector<std::vector<std::string>>{{"info", "--reboot"}, {"display", "--if-changed"}}) {
        RunResult bad = c.command(args);
        EXPECT_EQ(bad.exit_code, 2) << args[0];
        EXPECT_EQ(lines(bad.err).size(), 1u) << bad.err;
    }
}

}  // namespace
}  // namespace orva::test
