// board.toml and what the board reports from it: bad descriptions refused
// with the file and line, unknown keys warned of; identity data from each
// kind of source in a fixture tree and from this machine's own files; the
// slot routed through a control file or a GPIO line.
#include <gtest/gtest.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <sys/utsname.h>

#include <cstring>
#include <fstream>

#include "board/board_config.h"
#include "board/identity.h"
#include "board/slot_route.h"
#include "common/syscalls.h"
#include "tests/simulator/temp_dir.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

struct BadRow {
    const char* toml;
    const char* message;  // what follows "board.toml:"
};

TEST(BoardToml, RefusesWhatCannotDescribeABoardWithTheLine) {
    const BadRow rows[] = {
        {"[board]\n", " [flash] is missing: it names the device of the image area"},
        {"[flash]\ndevice = \"/dev/loop0\"\nsegment_size = 65536\n", "3: flash.segment_size must be 131072 or 262144"},
        {"[flash]\ndevice = \"/dev/loop0\"\n[identity]\nserial_number = \"eeprom\"\n",
         "4: identity.serial_number: \"eeprom\" is not a source: nvmem:DEVICE@OFFSET, device-tree, dmi, "
         "net:INTERFACE or fixed:HEX"},
        {"[flash]\ndevice = \"/dev/loop0\"\n[identity]\nserial_number = \"nvmem:0-0050\"\n",
         "4: identity.serial_number: \"nvmem:0-0050\" is not nvmem:DEVICE@OFFSET (a device of "
         "/sys/bus/nvmem/devices, a byte offset)"},
        {"[flash]\ndevice = \"/dev/loop0\"\n[identity]\nmac = [\"dmi\", \"net:eth1\"]\n",
         "4: identity.mac: \"dmi\" holds no MAC address (nvmem:, net: or fixed:)"},
        {"[flash]\ndevice = \"/dev/loop0\"\n[identity]\nmac = [\"fixed:02:00:00:00:00\", \"net:eth1\"]\n",
         "4: identity.mac: \"fixed:02:00:00:00:00\" is not fixed: and 6 bytes in hexadecimal"},
        {"[flash]\ndevice = \"/dev/loop0\"\n[slot1]\nroute = \"gpio:/dev/gpiochip0:17=high\"\n",
         "4: slot1.route: \"gpio:/dev/gpiochip0:17=high\" is not a route: none, file:PATH=VALUE or gpio:CHIP:LINE=0|1"},
        {"[flash]\ndevice = \"/dev/loop0\"\n[files.mounts]\n\"..\" = \"/srv\"\n",
         "4: files.mounts: \"..\" is not a controller folder"},
        {"[flash]\ndevice = \"/dev/loop0\"\n[reboot]\ncommand = \"systemctl reboot\"\n",
         "4: reboot.command must be an array of words, the program first"},
        {"[flash]\ndevice = \"/dev/loop0\"\nname = \"\x01\"\n",
         "3: control character 0x01 (TOML allows only tab and line ends)"},
    };
    TempDir dir;
    for (const BadRow& row : rows) {
        write(dir / "board.toml", row.toml);
        std::string error;
        EXPECT_FALSE(board::load_board_config(dir / "board.toml", &error)) << row.toml;
        EXPECT_EQ(error, (dir / "board.toml").string() + ":" + row.message) << row.toml;
    }
}

TEST(BoardToml, TakesPathsFromItsFolderAndWarnsOfUnknownKeys) {
    TempDir dir;
    write(dir / "board.toml",
          "[board]\nstate_dir = \"state\"\n[flash]\ndevice = \"mtd:orva-image\"\nsegment_size = 131072\n"
          "verfy = false\n[files]\nroot = \"/srv/orva\"\n[files.mounts]\n\"\\\\Windows\\\\www\\\\\" = \"www\"\n"
          "[slot1]\nroute = \"file:mux/select=1\"\n[serial]\nCOM0 = \"/dev/ttymxc2\"\n[reboot]\n"
          "command = [\"systemctl\", \"reboot\"]\n[autorun]\n");
    std::string error;
    auto cfg = board::load_board_config(dir / "board.toml", &error);
    ASSERT_TRUE(cfg) << error;
    EXPECT_EQ(cfg->state_dir, dir / "state");
    EXPECT_EQ(cfg->files_root(), "/srv/orva");
    ASSERT_EQ(cfg->mounts.size(), 1u);
    EXPECT_EQ(cfg->mounts[0].first, "Windows\\www");
    EXPECT_EQ(cfg->mounts[0].second, dir / "www");
    EXPECT_EQ(cfg->slot_route.path, dir / "mux/select");
    EXPECT_EQ(cfg->serial.at("com0"), "/dev/ttymxc2");
    EXPECT_EQ(cfg->reboot_command, (std::vector<std::string>{"systemctl", "reboot"}));
    EXPECT_TRUE(cfg->verify);
    const std::string file = (dir / "board.toml").string();
    EXPECT_EQ(cfg->warnings,
              (std::vector<std::string>{file + ":6: unknown key \"verfy\" in [flash] (did you mean \"verify\"?); it is "
                                               "ignored",
                                        file + ":17: unknown section [autorun]; it is ignored"}));
}

// A fixture tree of every identity source, and what each source gives.
TEST(BoardIdentity, EachSourceGivesItsBytes) {
    TempDir dir;
    const fs::path root = dir / "root";
    std::string eeprom(64, '\0');
    for (int i = 0; i < 64; ++i) eeprom[size_t(i)] = char(0xA0 + i);
    write(root / "sys/bus/nvmem/devices/0-00500/nvmem", eeprom);
    write(root / "proc/device-tree/serial-number", std::string("10000000abcdef12\0", 17));
    write(root / "sys/class/dmi/id/product_serial", "VMW-42\n");
    write(root / "sys/class/net/end0/address", "00:1a:2b:3c:4d:5e\n");
    write(root / "etc/os-release", "NAME=Debian\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    board::BoardConfig cfg;
    cfg.identity_root = root;
    struct Row {
        const char* source;
        size_t bytes;
        std::vector<uint8_t> expected;  // empty: the source fails
    };
    const Row rows[] = {
        {"nvmem:0-00500@0x10", 8, {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7}},
        {"nvmem:0-00500@58", 6, {0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF}},
        {"nvmem:0-00500@60", 8, {}},  // past its end
        {"device-tree", 8, {0x10, 0, 0, 0, 0xAB, 0xCD, 0xEF, 0x12}},
        {"dmi", 8, {'V', 'M', 'W', '-', '4', '2', 0, 0}},
        {"net:end0", 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
        {"net:eth9", 6, {}},
        {"fixed:0123456789ABCDEF", 8, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}},
    };
    for (const Row& row : rows) {
        std::string why;
        auto source = board::parse_identity_source(row.source, row.bytes, &why);
        ASSERT_TRUE(source) << why;
        std::vector<uint8_t> got;
        if (row.bytes == 8) {
            cfg.serial_number = *source;
            if (auto s = board::read_serial_number(cfg, &why)) got.assign(s->begin(), s->end());
        } else {
            cfg.mac[1] = *source;
            if (auto m = board::read_mac(cfg, 1, &why)) got.assign(m->begin(), m->end());
        }
        EXPECT_EQ(got, row.expected) << row.source << ": " << why;
    }
    EXPECT_EQ(board::read_os_version(cfg), "Debian GNU/Linux 12 (bookworm)");
    fs::remove(root / "etc/os-release");
    EXPECT_EQ(board::read_os_version(cfg), "Linux");
}

TEST(BoardIdentity, FromThisMachinesOwnFiles) {
    board::BoardConfig cfg;  // the identity root is "/"
    std::string interface;
    for (const auto& e : fs::directory_iterator("/sys/class/net"))
        if (interface.empty() || interface == "lo") interface = e.path().filename().string();
    ASSERT_FALSE(interface.empty());
    std::ifstream in("/sys/class/net/" + interface + "/address");
    std::string address;
    in >> address;
    std::string why;
    cfg.mac[0] = *board::parse_identity_source("net:" + interface, 6, &why);
    auto mac = board::read_mac(cfg, 0, &why);
    ASSERT_TRUE(mac) << why;
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", (*mac)[0], (*mac)[1], (*mac)[2], (*mac)[3],
                  (*mac)[4], (*mac)[5]);
    EXPECT_EQ(text, address);
    std::ifstream os("/etc/os-release");
    std::string line, pretty;
    while (std::getline(os, line))
        if (line.rfind("PRETTY_NAME=", 0) == 0) pretty = line.substr(12);
    if (pretty.size() > 1 && pretty.front() == '"') pretty = pretty.substr(1, pretty.size() - 2);
    EXPECT_EQ(board::read_os_version(cfg), pretty);
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    EXPECT_EQ(board::read_kernel_version(&why), std::string(u.release).substr(0, 6));
}

TEST(BoardSlotRoute, AControlFileTakesItsValue) {
    TempDir dir;
    write(dir / "select", "0");
    std::string why;
    auto route = board::parse_slot_route("file:" + (dir / "select").string() + "=1", &why);
    ASSERT_TRUE(route) << why;
    board::SlotRouter router(*route);
    EXPECT_TRUE(router.route(&why)) << why;
    std::ifstream in(dir / "select");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "1");
    fs::remove(dir / "select");
    fs::create_directory(dir / "select");
    EXPECT_FALSE(router.route(&why));
    EXPECT_NE(why.find("select: Is a directory"), std::string::npos) << why;
}

// The GPIO character device's requests as a test's table entries see them.
struct GpioSeen {
    int chip_fd = -1;
    gpio_v2_line_request request{};
    int set_calls = 0;
    uint64_t last_bits = 0;
} g_gpio;

TEST(BoardSlotRoute, AGpioLineIsRequestedAsAnOutputAtItsLevelAndKept) {
    std::string why;
    auto route = board::parse_slot_route("gpio:/dev/gpiochip7:17=0", &why);
    ASSERT_TRUE(route) << why;
    g_gpio = {};
    sys::table().open.set([](const char* path, int flags, mode_t mode) -> int {
        if (std::string(path) != "/dev/gpiochip7") return sys::table().open.real(path, flags, mode);
        return g_gpio.chip_fd = sys::table().open.real("/dev/null", O_RDWR, 0);
    });
    sys::table().ioctl.set([](int fd, unsigned long request, void* arg) -> int {
        if (request == GPIO_V2_GET_LINE_IOCTL && fd == g_gpio.chip_fd) {
            std::memcpy(&g_gpio.request, arg, sizeof g_gpio.request);
            static_cast<gpio_v2_line_request*>(arg)->fd = sys::table().open.real("/dev/null", O_RDWR, 0);
            return 0;
        }
        if (request == GPIO_V2_LINE_SET_VALUES_IOCTL) {
            ++g_gpio.set_calls;
            g_gpio.last_bits = static_cast<gpio_v2_line_values*>(arg)->bits;
            return 0;
        }
        return sys::table().ioctl.real(fd, request, arg);
    });
    {
        board::SlotRouter router(*route);
        EXPECT_TRUE(router.route(&why)) << why;
        EXPECT_TRUE(router.route(&why)) << why;
    }
    sys::restore_all();
    const gpio_v2_line_request& r = g_gpio.request;
    EXPECT_EQ(r.num_lines, 1u);
    EXPECT_EQ(r.offsets[0], 17u);
    EXPECT_EQ(std::string(r.consumer), "orva-utility");
    EXPECT_EQ(r.config.flags, uint64_t(GPIO_V2_LINE_FLAG_OUTPUT));
    ASSERT_EQ(r.config.num_attrs, 1u);
    EXPECT_EQ(r.config.attrs[0].attr.id, uint32_t(GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES));
    EXPECT_EQ(r.config.attrs[0].attr.values, 0u);
    EXPECT_EQ(r.config.attrs[0].mask, 1u);
    // The second routing sets the level on the line already held.
    EXPECT_EQ(g_gpio.set_calls, 1);
    EXPECT_EQ(g_gpio.last_bits, 0u);
}

}  // namespace
}  // namespace orva::test
