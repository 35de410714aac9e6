// Reading the board's identity data.
#include "board/identity.h"

#include <cstring>

#include "common/syscalls.h"
#include "simulator/text.h"
#include "simulator/whole_file.h"

namespace orva::board {

namespace {

namespace fs = std::filesystem;
using Kind = IdentitySource::Kind;

constexpr size_t kMostRead = size_t(1) << 20;

// `path` (absolute, as on the board) below the identity root.
fs::path under_root(const BoardConfig& cfg, const std::string& path) { return cfg.identity_root / path.substr(1); }

std::optional<std::string> read_text(const BoardConfig& cfg, const std::string& path, std::string* why) {
    std::string text;
    if (!sim::read_whole_file(under_root(cfg, path), text, why, kMostRead)) return std::nullopt;
    return text;
}

// Text as a firmware or the kernel gives it: up to its first NUL, without
// the spaces and line ends around it.
std::string trimmed(std::string text) {
    text = text.substr(0, text.find('\0'));
    const char* space = " \t\r\n";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// `count` bytes from a source: raw bytes (nvmem, fixed) or text (device
// tree, DMI, a network interface's address).
std::optional<std::vector<uint8_t>> source_bytes(const BoardConfig& cfg, const IdentitySource& s, size_t count,
                                                 std::string* why) {
    auto fail = [&](const std::string& what) {
        *why = what;
        return std::nullopt;
    };
    switch (s.kind) {
        case Kind::Fixed:
            return s.bytes;
        case Kind::Nvmem: {
            auto data = read_text(cfg, "/sys/bus/nvmem/devices/" + s.name + "/nvmem", why);
            if (!data) return std::nullopt;
            if (s.offset > data->size() || data->size() - s.offset < count)
                return fail("nvmem " + s.name + " holds " + std::to_string(data->size()) + " bytes, fewer than " +
                            std::to_string(count) + " at offset " + std::to_string(s.offset));
            return std::vector<uint8_t>(data->begin() + std::ptrdiff_t(s.offset),
                                        data->begin() + std::ptrdiff_t(s.offset + count));
        }
        case Kind::Net: {
            auto text = read_text(cfg, "/sys/class/net/" + s.name + "/address", why);
            if (!text) return std::nullopt;
            const std::string address = trimmed(*text);
            std::string why_not;
            auto parsed = parse_identity_source("fixed:" + address, count, &why_not);
            if (!parsed) return fail(s.name + ": \"" + address + "\" is not a MAC address");
            return parsed->bytes;
        }
        case Kind::DeviceTree:
        case Kind::Dmi: {
            const std::string file =
                s.kind == Kind::Dmi ? "/sys/class/dmi/id/product_serial" : "/proc/device-tree/serial-number";
            auto text = read_text(cfg, file, why);
            if (!text) return std::nullopt;
            const std::string serial = trimmed(*text);
            if (serial.empty()) return fail(file + " is empty");
            // Sixteen hexadecimal digits are the eight bytes; any other
            // text is given as its first eight characters.
            std::string ignored;
            if (auto hex = parse_identity_source("fixed:" + serial, count, &ignored)) return hex->bytes;
            std::vector<uint8_t> out(count, 0);
            std::memcpy(out.data(), serial.data(), std::min(count, serial.size()));
            return out;
        }
        case Kind::None:
            break;
    }
    return fail("no source");
}

// os-release's value: quotes taken off and backslash escapes undone.
std::string unquote(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        const bool escapes = v.front() == '"';
        v = v.substr(1, v.size() - 2);
        if (escapes) {
            std::string out;
            for (size_t i = 0; i < v.size(); ++i) {
                if (v[i] == '\\' && i + 1 < v.size()) ++i;
                out += v[i];
            }
            v = out;
        }
    }
    return v;
}

}  // namespace

std::string sdk_version() { return "Orva board library " ORVA_VERSION; }

std::optional<std::array<uint8_t, 8>> read_serial_number(const BoardConfig& cfg, std::string* why) {
    auto bytes = source_bytes(cfg, cfg.serial_number, 8, why);
    if (!bytes) return std::nullopt;
    std::array<uint8_t, 8> out{};
    std::memcpy(out.data(), bytes->data(), 8);
    return out;
}

std::optional<std::array<uint8_t, 6>> read_mac(const BoardConfig& cfg, int index, std::string* why) {
    if (index < 0 || index > 1) {
        *why = "there is no interface " + std::to_string(index);
        return std::nullopt;
    }
    auto bytes = source_bytes(cfg, cfg.mac[size_t(index)], 6, why);
    if (!bytes) return std::nullopt;
    std::array<uint8_t, 6> out{};
    std::memcpy(out.data(), bytes->data(), 6);
    return out;
}

std::string read_os_version(const BoardConfig& cfg) {
    if (cfg.os_version) return *cfg.os_version;
    std::string why;
    for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        auto text = read_text(cfg, file, &why);
        if (!text) continue;
        size_t at = 0;
        while (at < text->size()) {
            size_t end = text->find('\n', at);
            if (end == std::string::npos) end = text->size();
            const std::string line = text->substr(at, end - at);
            if (line.rfind("PRETTY_NAME=", 0) == 0) return unquote(trimmed(line.substr(12)));
            at = end + 1;
        }
    }
    return "Linux";
}

std::optional<std::string> read_kernel_version(std::string* why) {
    struct utsname info {};
    if (sys::uname(&info) != 0) {
        *why = std::string("uname: ") + std::strerror(errno);
        return std::nullopt;
    }
    std::string release(info.release, strnlen(info.release, sizeof info.release));
    release.resize(6, ' ');
    return release;
}

}  // namespace orva::board
