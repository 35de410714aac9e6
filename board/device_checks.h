// What is checked before the board erases anything on the device of its
// image area: that nothing has it mounted (a partition of it included, or
// the disk it is a partition of), that it does not hold the running root
// filesystem, and that it is still the device board.toml names. Every file
// is read through the system call table.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::board {

// One line of /proc/self/mountinfo.
struct MountEntry {
    unsigned major = 0, minor = 0;  // the device the filesystem is on
    std::string mount_point;        // escapes undone
    std::string source;             // what was mounted ("/dev/sda1", "mtd3", "ubi0:root")
};

// Parses mountinfo text; lines that do not parse are left out.
std::vector<MountEntry> parse_mountinfo(std::string_view text);

// The device the image area is on.
struct DeviceId {
    std::string path;  // as opened: "/dev/loop3", "/dev/mtd3"
    unsigned major = 0, minor = 0;
    int mtd_index = -1;    // MTD: N of mtdN; -1 for a block device
    std::string mtd_name;  // MTD: its name in /proc/mtd
};

// Why the device may not be erased now (naming it and the reason), or
// nullopt when nothing is against it. `configured` is flash.device as
// board.toml gives it.
std::optional<std::string> erase_refusal(const DeviceId& device, const std::string& configured);

// The index N of the MTD device named NAME in /proc/mtd ("mtd:NAME"), or
// nullopt and why.
std::optional<int> mtd_index_by_name(const std::string& name, std::string* why);
// The name /proc/mtd gives mtdN ("" when none).
std::string mtd_name_of(int index);

// The device numbers of the device file at `path` (links followed), or
// nullopt and why.
std::optional<std::pair<unsigned, unsigned>> device_numbers(const std::string& path, std::string* why);

}  // namespace orva::board
