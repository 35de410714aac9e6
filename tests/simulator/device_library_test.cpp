// The device library on a simulated controller: results, buffers, the event
// log, injected faults, and reboot with its registry reload.
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "device/device_library.h"
#include "simulator/sim_controller.h"
#include "simulator/text.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string key_of(const std::string& line) { return line.substr(0, line.find(" =")); }

// controller.toml text with the keys of `extra` ("[section]\nkey = value\n...")
// put in place of the same keys of `toml`.
std::string with_keys(const std::string& toml, const std::string& extra) {
    std::map<std::string, std::vector<std::string>> add;
    std::string section;
    std::istringstream ex(extra);
    for (std::string line; std::getline(ex, line);) {
        if (line.rfind("[", 0) == 0) section = line;
        else if (!line.empty()) add[section].push_back(line);
    }
    std::string out;
    std::istringstream in(toml);
    section.clear();
    for (std::string line; std::getline(in, line);) {
        bool replaced = false;
        for (const std::string& l : add[section]) replaced |= !line.empty() && key_of(l) == key_of(line);
        if (!replaced) out += line + "\n";
        if (line.rfind("[", 0) == 0) {
            section = line;
            for (const std::string& l : add[section]) out += l + "\n";
        }
    }
    return out;
}

class Device : public ::testing::Test {
protected:
    void SetUp() override { open(""); }
    void TearDown() override {
        set_current(nullptr);
        set_reboot_handler(nullptr);
    }
    // A new controller with `extra` appended to its controller.toml.
    void open(const std::string& extra, uint32_t segment_size = 262144) {
        set_current(nullptr);
        ctl.reset();
        std::string error;
        ASSERT_TRUE(init_controller(dir.path(), segment_size, true, &error)) << error;
        if (!extra.empty()) {
            const std::string toml = with_keys(read_file(dir / kConfigFile), extra);
            std::ofstream(dir / kConfigFile) << toml;
        }
        ctl = SimController::open_dir(dir.path(), &error);
        ASSERT_TRUE(ctl) << error;
        set_current(ctl.get());
    }
    std::string log() { return read_file(dir / kEventLogFile); }
    RegValue live(const char* key, const char* name) {
        RegValue v;
        EXPECT_EQ(ctl->reg_get(key, name, &v), RegResult::Ok) << key << "\\" << name;
        return v;
    }

    test::TempDir dir;
    std::unique_ptr<SimController> ctl;
};

TEST_F(Device, IdentityCallsFillBuffersAndLogEachCall) {
    uint32_t seg = 0xdeadbeef;
    EXPECT_EQ(GetFlashSize_Img(&seg), 29360128);
    EXPECT_EQ(seg, 262144u);
    uint8_t serial[8] = {};
    EXPECT_EQ(GetSystemSerialNumber(serial), 0);
    EXPECT_EQ(serial[0], 0x01);
    EXPECT_EQ(serial[7], 0xEF);
    uint32_t mac[6] = {};
    EXPECT_EQ(ReadMAC(1, mac), 1);
    EXPECT_EQ(mac[5], 2u);
    uint32_t untouched[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(ReadMAC(2, untouched), 0);
    EXPECT_EQ(untouched[0], 7u);
    char16_t os[80];
    std::fill(std::begin(os), std::end(os), u'#');
    EXPECT_EQ(GetOSversion(os), 1);
    EXPECT_EQ(std::u16string(os), ctl->config().os_version);
    uint8_t kernel[8] = {0, 0, 0, 0, 0, 0, 0xAA, 0xBB};
    EXPECT_EQ(GetKernelVersion(kernel), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(kernel), 6), ctl->config().kernel_version);
    EXPECT_EQ(kernel[6], 0xAA);
    char name[8];
    std::fill(std::begin(name), std::end(name), 'Z');
    EXPECT_EQ(GetNameOfModule(1, name), 0);
    EXPECT_STREQ(name, "5000");
    EXPECT_EQ(GetNameOfModule(2, name), -1);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(ChangeSlotToVex(1), 1);
    EXPECT_EQ(log(),
              "GetFlashSize_Img() -> 29360128\nGetSystemSerialNumber() -> 0\nReadMAC(1) -> 1\nReadMAC(2) -> 0\n"
              "GetOSversion() -> 1\nGetKernelVersion() -> 1\nGetNameOfModule(1) -> 0\nGetNameOfModule(2) -> -1\n"
              "ChangeSlotToVex(1) -> 1\n");
}

TEST_F(Device, LongTextsAndNamesAreCut) {
    open("[identity]\nos_version = \"" + std::string(100, 'o') +
         "\"\n"
         "[slot1]\nmodel = 5003\nname = \"ABCDEFGHIJ\"\n");
    char16_t os[80];
    EXPECT_EQ(GetOSversion(os), 1);
    EXPECT_EQ(std::u16string(os), std::u16string(79, u'o'));
    char name[8];
    EXPECT_EQ(GetNameOfModule(1, name), 3);
    EXPECT_STREQ(name, "ABCDEFG");
}

// A text of characters outside the 16-bit range is cut before a surrogate
// pair, never between its halves.
TEST_F(Device, LongTextsAreCutBetweenCharacters) {
    const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units
    struct Row {
        std::string text;
        size_t units;
    } rows[] = {
        {[&] {
             std::string t;
             for (int i = 0; i < 40; ++i) t += emoji;
             return t;
         }(),
         78},  // 80 units
        {"a" +
             [&] {
                 std::string t;
                 for (int i = 0; i < 40; ++i) t += emoji;
                 return t;
             }(),
         79},
        {[&] {
             std::string t;
             for (int i = 0; i < 39; ++i) t += emoji;
             return t;
         }() +
             "a",
         79},  // exactly 79
    };
    for (const Row& row : rows) {
        open("[identity]\nos_version = \"" + row.text + "\"\nsdk_version = \"" + row.text + "\"\n");
        char16_t text[80];
        std::fill(std::begin(text), std::end(text), u'#');
        ASSERT_EQ(GetOSversion(text), 1);
        const std::u16string os(text);
        EXPECT_EQ(os.size(), row.units);
        EXPECT_EQ(os, ctl->config().os_version.substr(0, row.units));
        EXPECT_EQ(utf16_to_utf8(os).find("\xEF\xBF\xBD"), std::string::npos);  // no U+FFFD
        ASSERT_EQ(GetSDKversion(text), 1);
        EXPECT_EQ(std::u16string(text), os);
    }
    EXPECT_EQ(utf16_cut(u"ab", 5), 2u);
    EXPECT_EQ(utf16_cut(u"a\xD83D\xDE00", 2), 1u);
    EXPECT_EQ(utf16_cut(u"a\xD83Dx", 2), 2u);  // an unpaired half is kept as it is
}

TEST_F(Device, NoCurrentControllerFailsHarmlessly) {
    set_current(nullptr);
    uint32_t seg = 5;
    uint8_t serial[8] = {9};
    EXPECT_EQ(GetFlashSize_Img(&seg), 0);
    EXPECT_EQ(seg, 5u);
    EXPECT_NE(GetSystemSerialNumber(serial), 0);
    EXPECT_EQ(serial[0], 9);
    EXPECT_EQ(FlashErase_Img(0), 0);
    EXPECT_EQ(FlashWriteString_Img(0, 0, serial, 1), 0);
    EXPECT_EQ(reboot(), 0);
    EXPECT_EQ(log(), "");
}

TEST_F(Device, FlashCallsOnTheImageArea) {
    open("", 131072);
    std::vector<uint8_t> data(131072, 0x12);
    EXPECT_EQ(FlashErase_Img(23578), 1);
    EXPECT_EQ(FlashWriteString_Img(23578, 0, data.data(), 131072), 1);
    EXPECT_EQ(FlashWriteString_Img(23578, 0, data.data(), 131072), 1);  // same bits again
    data[0] = 0xFF;
    EXPECT_EQ(FlashWriteString_Img(23578, 0, data.data(), 1), 0);  // a 1 over a 0
    EXPECT_EQ(FlashErase_Img(0), 0);
    EXPECT_EQ(FlashErase_Reg(16), 0);
    EXPECT_EQ(log(),
              "FlashErase_Img(23578) -> 1\nFlashWriteString_Img(23578, 0, 131072) -> 1\n"
              "FlashWriteString_Img(23578, 0, 131072) -> 1\nFlashWriteString_Img(23578, 0, 1) -> 0\n"
              "FlashErase_Img(0) -> 0\nFlashErase_Reg(16) -> 0\n");
}

TEST_F(Device, UnknownFlashReportsItsSizeAndRefusesSegments) {
    open("[flash]\nsegment_size = 65536\nimage_area_size = -1\n");
    uint32_t seg = 0;
    EXPECT_EQ(GetFlashSize_Img(&seg), -1);
    EXPECT_EQ(seg, 65536u);
    uint8_t b = 0;
    EXPECT_EQ(FlashErase_Img(0), 0);
    EXPECT_EQ(FlashWriteString_Img(23578, 0, &b, 1), 0);
}

TEST_F(Device, FaultTable) {
    open(
        "[faults]\nserial_number_failures = 2\nflash_write_fail_segment = 1\n"
        "registry_read_only = [\"comm\\\\ftpd\\\\defaultdir\"]\nregistry_flush_fails = true\n");
    uint8_t serial[8] = {};
    EXPECT_NE(GetSystemSerialNumber(serial), 0);
    EXPECT_NE(GetSystemSerialNumber(serial), 0);
    EXPECT_EQ(serial[0], 0);
    EXPECT_EQ(GetSystemSerialNumber(serial), 0);
    EXPECT_EQ(serial[0], 1);
    uint8_t b = 0;
    EXPECT_EQ(FlashWriteString_Img(1, 0, &b, 1), 0);
    EXPECT_EQ(FlashWriteString_Img(0, 0, &b, 1), 1);
    const std::vector<uint8_t> sz = reg_sz_bytes("\\Windows");
    EXPECT_EQ(ctl->reg_set("Comm\\FTPD", "DefaultDir", kRegSz, sz.data(), sz.size()), RegResult::Denied);
    EXPECT_EQ(ctl->reg_set("Comm\\FTPD", "Other", kRegSz, sz.data(), sz.size()), RegResult::Ok);
    EXPECT_EQ(ctl->reg_set("Comm\\Missing", "DefaultDir", kRegSz, sz.data(), sz.size()), RegResult::NoKey);
    EXPECT_EQ(live("Comm\\FTPD", "DefaultDir").data, reg_sz_bytes("\\Temp"));
    EXPECT_FALSE(ctl->reg_flush());
    EXPECT_NE(ctl->registry()->get(Hive::Saved, "Comm\\FTPD", "Other", nullptr), RegResult::Ok);
}

TEST_F(Device, FactoryRegistryHoldsWhatTheProgramReads) {
    EXPECT_EQ(live("Drivers\\Display\\MQ200", "CyScreen").data, (std::vector<uint8_t>{0xE0, 1, 0, 0}));
    EXPECT_EQ(live("Drivers\\Display\\MQ200", "Freq").type, kRegDword);
    RegValue v;
    EXPECT_EQ(ctl->reg_get("Init", "Launch80", &v), RegResult::NoValue);
    for (const char* key : {"Comm\\FTPD", "Comm\\HTTPD\\Websites\\Public\\VROOTS\\/"}) {
        RegValue dir_value;
        const auto dump = ctl->registry()->dump(Hive::Live, key);
        ASSERT_EQ(dump.size(), 1u);
        for (const RegValue& x : dump[0].values)
            if (x.name == "DefaultDir" || x.name == "Default") dir_value = x;
        ASSERT_EQ(dir_value.type, kRegSz) << key;
        ResolvedPath p = ctl->resolve_path(utf16_to_utf8(reg_sz_text(dir_value.data)));
        EXPECT_TRUE(p.exists) << key;
    }
}

TEST_F(Device, RebootLoadsTheSavedCopyOrAfterAnEraseTheFactoryRegistry) {
    int handled = 0;
    set_reboot_handler([&] { ++handled; });
    const uint8_t mode[4] = {0x20, 3, 0, 0};
    ASSERT_EQ(ctl->reg_set("Drivers\\Display\\MQ200", "CxScreen", kRegDword, mode, 4), RegResult::Ok);
    ASSERT_EQ(reboot(), 1);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(live("Drivers\\Display\\MQ200", "CxScreen").data[1], 2);  // not flushed: 640 again

    ASSERT_EQ(ctl->reg_set("Drivers\\Display\\MQ200", "CxScreen", kRegDword, mode, 4), RegResult::Ok);
    ASSERT_TRUE(ctl->reg_flush());
    reboot();
    EXPECT_EQ(live("Drivers\\Display\\MQ200", "CxScreen").data[1], 3);  // flushed: 800 kept

    // A factory restart brings back the factory copy: an edited factory.reg
    // only once it is loaded on purpose (reg --factory restore --from-file).
    std::string factory = read_file(dir / kFactoryFile);
    factory.replace(factory.find("\"CxScreen\"=dword:00000280"), 25, "\"CxScreen\"=dword:00000400");
    std::ofstream(dir / kFactoryFile) << factory;
    EXPECT_EQ(FlashErase_Reg(7), 1);
    reboot();
    EXPECT_EQ(live("Drivers\\Display\\MQ200", "CxScreen").data[1], 2);
    ASSERT_TRUE(ctl->registry()->load_factory_file()) << ctl->registry()->last_error();
    reboot();  // the saved copy stays invalid until the next flush
    EXPECT_EQ(live("Drivers\\Display\\MQ200", "CxScreen").data[1], 4);
    EXPECT_EQ(log(), "reboot()\nreboot()\nFlashErase_Reg(7) -> 1\nreboot()\nreboot()\n");

    // A damaged factory.reg changes nothing: the restart loads the factory copy.
    std::ofstream(dir / kFactoryFile) << "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\x]\n\"a\"=bad\n";
    std::string error;
    EXPECT_TRUE(ctl->restart(&error)) << error;
    EXPECT_EQ(live("Drivers\\Display\\MQ200", "CxScreen").data[1], 4);
}

TEST_F(Device, RebootWithoutHandlerEndsTheProgramWithZero) {
    EXPECT_EXIT(
        {
            set_reboot_handler(nullptr);
            reboot();
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Device, SerialPortMapping) {
    open("");
    EXPECT_FALSE(ctl->serial_device("COM1:"));
    std::string toml = read_file(dir / kConfigFile);
    toml.replace(toml.find("COM0 = \"module\""), 15, "COM0 = \"/dev/ttyUSB3\"");
    std::ofstream(dir / kConfigFile) << toml;
    std::string error;
    auto other = SimController::open_dir(dir.path(), &error);
    ASSERT_TRUE(other) << error;
    EXPECT_EQ(other->serial_device("com0:"), "/dev/ttyUSB3");
}

}  // namespace
}  // namespace orva::sim
