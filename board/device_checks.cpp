// The checks made before the image area's device is erased.
#include "board/device_checks.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>

#include "common/syscalls.h"
#include "simulator/whole_file.h"

namespace orva::board {

namespace {

constexpr unsigned kMtdBlockMajor = 31;

std::optional<std::string> read_text(const std::string& path) {
    std::string text, why;
    if (!sim::read_whole_file(path, text, &why, size_t(4) << 20)) return std::nullopt;
    return text;
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

// Undoes mountinfo's octal escapes ("\040" for a space).
std::string unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
            s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        size_t j = line.find(' ', i);
        if (j == std::string_view::npos) j = line.size();
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string numbers(unsigned major, unsigned minor) { return std::to_string(major) + ":" + std::to_string(minor); }

// The whole disk a partition is on (by sysfs), or nullopt when `dev` is no
// partition.
std::optional<std::string> disk_of(const std::string& dev) {
    if (!read_text("/sys/dev/block/" + dev + "/partition")) return std::nullopt;
    auto parent = read_text("/sys/dev/block/" + dev + "/../dev");
    if (!parent) return std::nullopt;
    return first_line(*parent);
}

// Whether a mounted filesystem's device is the image area's device, a
// partition of it, or the disk it is a partition of; what to call it.
std::optional<std::string> mounted_here(const DeviceId& device, const MountEntry& m) {
    if (device.mtd_index >= 0) {
        const std::string n = std::to_string(device.mtd_index);
        const bool block = m.major == kMtdBlockMajor && m.minor == unsigned(device.mtd_index);
        if (block || m.source == "mtd" + n || m.source == "/dev/mtd" + n || m.source == "/dev/mtdblock" + n ||
            (!device.mtd_name.empty() && m.source == "mtd:" + device.mtd_name))
            return std::string();
        // UBI: "ubiX:volume" or "/dev/ubiX_Y", on the MTD device it is attached to.
        std::string ubi = m.source.rfind("/dev/", 0) == 0 ? m.source.substr(5) : m.source;
        if (ubi.rfind("ubi", 0) == 0) {
            const size_t end = ubi.find_first_not_of("0123456789", 3);
            const std::string number = ubi.substr(3, end == std::string::npos ? std::string::npos : end - 3);
            auto mtd = number.empty() ? std::nullopt : read_text("/sys/class/ubi/ubi" + number + "/mtd_num");
            if (mtd && first_line(*mtd) == n) return " (UBI ubi" + number + ")";
        }
        return std::nullopt;
    }
    if (m.major == 0) return std::nullopt;  // no block device (proc, tmpfs, overlay...)
    const std::string ours = numbers(device.major, device.minor), theirs = numbers(m.major, m.minor);
    if (theirs == ours) return std::string();
    if (disk_of(theirs) == ours) return " (its partition " + m.source + ")";
    if (disk_of(ours) == theirs) return " (the disk it is a partition of, " + m.source + ")";
    return std::nullopt;
}

}  // namespace

std::vector<MountEntry> parse_mountinfo(std::string_view text) {
    std::vector<MountEntry> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::vector<std::string_view> w = words(text.substr(at, end - at));
        at = end + 1;
        // ID PARENT MAJ:MIN ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER-OPTIONS
        size_t dash = 6;
        while (dash < w.size() && w[dash] != "-") ++dash;
        if (w.size() < 7 || dash + 2 >= w.size()) continue;
        MountEntry m;
        const std::string dev(w[2]);
        if (std::sscanf(dev.c_str(), "%u:%u", &m.major, &m.minor) != 2) continue;
        m.mount_point = unescape(w[4]);
        m.source = unescape(w[dash + 2]);
        out.push_back(std::move(m));
    }
    return out;
}

std::optional<std::pair<unsigned, unsigned>> device_numbers(const std::string& path, std::string* why) {
    struct stat st {};
    if (sys::stat(path.c_str(), &st) != 0) {
        *why = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISBLK(st.st_mode) && !S_ISCHR(st.st_mode)) {
        *why = path + ": is not a device";
        return std::nullopt;
    }
    return std::pair{unsigned(major(st.st_rdev)), unsigned(minor(st.st_rdev))};
}

std::optional<int> mtd_index_by_name(const std::string& name, std::string* why) {
    auto text = read_text("/proc/mtd");
    if (!text) {
        *why = "/proc/mtd cannot be read: the kernel has no MTD devices";
        return std::nullopt;
    }
    // mtd3: 01c00000 00040000 "orva-image"
    size_t at = 0;
    while (at < text->size()) {
        size_t end = text->find('\n', at);
        if (end == std::string::npos) end = text->size();
        const std::string line = text->substr(at, end - at);
        at = end + 1;
        int index = -1;
        const size_t open = line.find('"'), close = line.rfind('"');
        if (std::sscanf(line.c_str(), "mtd%d:", &index) == 1 && open != std::string::npos && close > open &&
            line.substr(open + 1, close - open - 1) == name)
            return index;
    }
    *why = "/proc/mtd names no MTD device \"" + name + "\"";
    return std::nullopt;
}

std::string mtd_name_of(int index) {
    auto text = read_text("/proc/mtd");
    const std::string prefix = "mtd" + std::to_string(index) + ":";
    size_t at = text ? text->find(prefix) : std::string::npos;
    while (at != std::string::npos && at != 0 && (*text)[at - 1] != '\n') at = text->find(prefix, at + 1);
    if (at == std::string::npos) return "";
    const std::string line = first_line(text->substr(at));
    const size_t open = line.find('"'), close = line.rfind('"');
    return open != std::string::npos && close > open ? line.substr(open + 1, close - open - 1) : "";
}

std::optional<std::string> erase_refusal(const DeviceId& device, const std::string& configured) {
    const std::string& dev = device.path;
    // Still the device board.toml names?
    std::string why;
    if (configured.rfind("mtd:", 0) == 0) {
        auto index = mtd_index_by_name(configured.substr(4), &why);
        if (!index) return dev + " is not the device board.toml names: " + why;
        if (*index != device.mtd_index)
            return dev + " is not the device board.toml names: \"" + configured.substr(4) + "\" is now mtd" +
                   std::to_string(*index);
    } else {
        auto now = device_numbers(configured, &why);
        if (!now) return dev + " is not the device board.toml names: " + why;
        if (now->first != device.major || now->second != device.minor)
            return dev + " is not the device board.toml names: " + configured + " now leads to device " +
                   numbers(now->first, now->second) + ", not " + numbers(device.major, device.minor);
    }
    auto text = read_text("/proc/self/mountinfo");
    if (!text)
        return dev + ": /proc/self/mountinfo cannot be read, so it cannot be told that " + dev + " is not in use";
    const std::vector<MountEntry> mounts = parse_mountinfo(*text);
    for (const MountEntry& m : mounts)
        if (m.mount_point == "/")
            if (auto how = mounted_here(device, m)) return dev + " holds the running root filesystem" + *how;
    for (const MountEntry& m : mounts)
        if (auto how = mounted_here(device, m)) return dev + " is mounted on " + m.mount_point + *how;
    return std::nullopt;
}

}  // namespace orva::board
