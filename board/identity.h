// The board's identity as the device library reports it: the serial number
// and the two MAC addresses from the sources board.toml names (the EEPROM
// through nvmem, the device tree, DMI, a network interface, or fixed bytes),
// the OS version from os-release, this library's version, and the kernel's
// release. Every file is read below the identity root, through the system
// call table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "board/board_config.h"

namespace orva::board {

// What GetSDKversion stores on the board.
std::string sdk_version();

// The eight serial-number bytes, or nullopt and why.
std::optional<std::array<uint8_t, 8>> read_serial_number(const BoardConfig& cfg, std::string* why);
// The six bytes of MAC address `index` (0 or 1), or nullopt and why.
std::optional<std::array<uint8_t, 6>> read_mac(const BoardConfig& cfg, int index, std::string* why);
// PRETTY_NAME of os-release (/etc/os-release, else /usr/lib/os-release),
// unless board.toml gives the text; "Linux" when neither says.
std::string read_os_version(const BoardConfig& cfg);
// The first six characters of the kernel's release (uname -r), padded with
// spaces; nullopt and why when uname fails.
std::optional<std::string> read_kernel_version(std::string* why);

}  // namespace orva::board
