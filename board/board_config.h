// board.toml: what the Linux board this program runs on offers in place of
// the controller's device library: the device that holds the image area,
// where the registry and the event log are kept, how controller paths map
// to host folders, where the identity data comes from, how the slot module
// is reached, how the board restarts and what runs after a save.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/device_library.h"

namespace orva::board {

// Where board.toml is looked for when no file is named.
inline constexpr const char* kDefaultBoardFile = "/etc/orva-utility/board.toml";

// Where one piece of identity data comes from.
struct IdentitySource {
    enum class Kind { None, Nvmem, DeviceTree, Dmi, Net, Fixed } kind = Kind::None;
    std::string name;            // Nvmem: the nvmem device; Net: the interface
    uint64_t offset = 0;         // Nvmem: where the bytes start
    std::vector<uint8_t> bytes;  // Fixed: the bytes themselves
    std::string text;            // as written in board.toml, for messages
};

// How ChangeSlotToVex routes the serial port to the slot's module bus.
struct SlotRoute {
    enum class Kind { None, File, Gpio } kind = Kind::None;
    std::filesystem::path path;  // File: the control file; Gpio: the GPIO chip
    std::string value;           // File: what is written to it
    uint32_t line = 0;           // Gpio: the line's offset on the chip
    bool high = true;            // Gpio: the level the line is driven to
};

struct BoardConfig {
    std::filesystem::path file;  // board.toml itself
    std::filesystem::path state_dir = "/var/lib/orva-utility";

    std::string flash_device;  // "mtd:NAME", "/dev/mtdN" or a block device
    uint32_t segment_size = FLASH_SEGMENT_SIZE_256K;
    bool discard = false;  // block devices: discard a segment when it is erased
    bool verify = true;    // read each write pass back and compare

    std::filesystem::path factory_reg;  // "" for the built-in factory registry

    std::filesystem::path fs_root;  // "" for STATE_DIR/fs
    // Controller folders ("Storage Card", "Windows\www") and the host
    // folders they stand for, as board.toml lists them.
    std::vector<std::pair<std::string, std::filesystem::path>> mounts;

    std::filesystem::path identity_root = "/";
    IdentitySource serial_number;
    std::array<IdentitySource, 2> mac;
    std::optional<std::string> os_version;  // instead of os-release's PRETTY_NAME

    int32_t slot1_model = 5000;
    std::string slot1_name = "5000";  // 8-bit characters
    SlotRoute slot_route;

    std::map<std::string, std::string> serial;  // port name folded ("com0") -> host device

    std::vector<std::string> reboot_command;  // empty: sync and reboot(2)
    std::filesystem::path apply_dir = "/etc/orva-utility/apply.d";

    // Keys and sections this version does not know, one "FILE:LINE: ..."
    // line each; they are ignored.
    std::vector<std::string> warnings;

    std::filesystem::path files_root() const { return fs_root.empty() ? state_dir / "fs" : fs_root; }
};

// Reads and checks board.toml. Paths in it that are not absolute are taken
// from the folder the file is in. nullopt and a one-line message naming the
// file (and the line, where there is one) when it is unreadable or
// malformed, including bytes that TOML allows nowhere.
std::optional<BoardConfig> load_board_config(const std::filesystem::path& file, std::string* error);

// Parses an identity source ("nvmem:NAME@OFFSET", "device-tree", "dmi",
// "net:IF", "fixed:HEX") for `bytes` bytes of data; nullopt and why otherwise.
std::optional<IdentitySource> parse_identity_source(const std::string& text, size_t bytes, std::string* why);

// Parses a slot route ("none", "file:PATH=VALUE", "gpio:CHIP:LINE=0|1");
// nullopt and why otherwise.
std::optional<SlotRoute> parse_slot_route(const std::string& text, std::string* why);

}  // namespace orva::board
