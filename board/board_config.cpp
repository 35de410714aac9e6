// Reading and checking board.toml.
#include "board/board_config.h"

#include <charconv>
#include <limits>

#include "simulator/flash_geometry.h"
#include "simulator/text.h"
#include "simulator/toml_check.h"

namespace orva::board {

namespace {

namespace fs = std::filesystem;
using Checker = sim::TomlChecker;

const std::vector<sim::TomlSection>& known_sections() {
    static const std::vector<sim::TomlSection> sections = {
        {"board", {"state_dir"}},
        {"flash", {"device", "segment_size", "discard", "verify"}},
        {"registry", {"factory"}},
        {"files", {"root", "mounts"}},
        {"identity", {"root", "serial_number", "mac", "os_version"}},
        {"slot1", {"model", "name", "route"}},
        {"serial", {}},
        {"reboot", {"command"}},
        {"apply", {"dir"}},
    };
    return sections;
}

std::optional<uint64_t> number(std::string_view s) {
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    uint64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    return v;
}

// "0123456789ABCDEF" or "02:00:00:00:00:01" (colons or dashes between the
// bytes) as `count` bytes.
std::optional<std::vector<uint8_t>> hex_bytes(const std::string& s, size_t count) {
    std::string digits;
    for (size_t i = 0; i < s.size(); ++i) {
        const bool separator = (s[i] == ':' || s[i] == '-') && i % 3 == 2 && s.size() == count * 3 - 1;
        if (!separator) digits += s[i];
    }
    if (digits.size() != 2 * count) return std::nullopt;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < count; ++i) {
        const int hi = sim::hex_digit(digits[2 * i]), lo = sim::hex_digit(digits[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return out;
}

fs::path from_file(const fs::path& file, const std::string& path) {
    fs::path p(path);
    return p.is_absolute() ? p : file.parent_path() / p;
}

// A string key holding a path, taken from the file's folder when relative.
bool path_key(Checker& c, const toml::table* t, const char* section, const char* key, const fs::path& file,
              fs::path& out) {
    const toml::node* n = nullptr;
    std::string text;
    if (!c.string(t, section, key, text, &n)) return false;
    if (!n) return true;
    if (text.empty()) return c.fail(n, std::string(section) + "." + key + " must not be empty");
    out = from_file(file, text);
    return true;
}

bool check_flash(Checker& c, const toml::table* t, BoardConfig& cfg) {
    const toml::node* n = nullptr;
    if (!c.string(t, "flash", "device", cfg.flash_device, &n)) return false;
    if (!n || cfg.flash_device.empty())
        return c.fail(n ? n : nullptr,
                      "flash.device must name the image area's device (\"mtd:NAME\", \"/dev/mtdN\" or a block device)");
    if (!c.integer(t, "flash", "segment_size", cfg.segment_size, 0, std::numeric_limits<uint32_t>::max())) return false;
    if (!sim::is_segment_size(cfg.segment_size))
        return c.fail(t->get("segment_size"), "flash.segment_size must be " + sim::segment_sizes_text());
    return c.boolean(t, "flash", "discard", cfg.discard) && c.boolean(t, "flash", "verify", cfg.verify);
}

bool check_files(Checker& c, const toml::table* t, BoardConfig& cfg) {
    if (!path_key(c, t, "files", "root", cfg.file, cfg.fs_root)) return false;
    const toml::node* m = t ? t->get("mounts") : nullptr;
    if (!m) return true;
    const toml::table* mounts = m->as_table();
    if (!mounts) return c.fail(m, "files.mounts must be a table of \"CONTROLLER FOLDER\" = \"HOST FOLDER\"");
    for (const auto& [key, node] : *mounts) {
        auto host = node.value_exact<std::string>();
        std::string name(key.str());
        while (!name.empty() && (name.front() == '\\' || name.front() == '/')) name.erase(0, 1);
        while (!name.empty() && (name.back() == '\\' || name.back() == '/')) name.pop_back();
        if (!host || host->empty())
            return c.fail(&node, "files.mounts.\"" + std::string(key.str()) + "\" must be a host folder");
        if (name.empty() || name.find("..") != std::string::npos)
            return c.fail(&node, "files.mounts: \"" + std::string(key.str()) + "\" is not a controller folder");
        cfg.mounts.emplace_back(name, from_file(cfg.file, *host));
    }
    return true;
}

bool check_identity(Checker& c, const toml::table* t, BoardConfig& cfg) {
    if (!path_key(c, t, "identity", "root", cfg.file, cfg.identity_root)) return false;
    const toml::node* n = nullptr;
    std::string text, why;
    if (!c.string(t, "identity", "serial_number", text, &n)) return false;
    if (n) {
        auto source = parse_identity_source(text, 8, &why);
        if (!source || source->kind == IdentitySource::Kind::Net) return c.fail(n, "identity.serial_number: " + why);
        cfg.serial_number = *source;
    }
    if (const toml::node* macs = t ? t->get("mac") : nullptr) {
        const toml::array* a = macs->as_array();
        if (!a || a->size() != 2) return c.fail(macs, "identity.mac must be an array of two sources");
        for (size_t i = 0; i < 2; ++i) {
            auto s = (*a)[i].value_exact<std::string>();
            auto source = s ? parse_identity_source(*s, 6, &why) : std::nullopt;
            if (!s) why = "each entry must be a string";
            else if (source &&
                     (source->kind == IdentitySource::Kind::DeviceTree || source->kind == IdentitySource::Kind::Dmi))
                source.reset(), why = "\"" + *s + "\" holds no MAC address (nvmem:, net: or fixed:)";
            if (!source) return c.fail(&(*a)[i], "identity.mac: " + why);
            cfg.mac[i] = *source;
        }
    }
    n = nullptr;
    if (!c.string(t, "identity", "os_version", text, &n)) return false;
    if (n) cfg.os_version = text;
    return true;
}

bool check_slot(Checker& c, const toml::table* t, BoardConfig& cfg) {
    if (!c.integer(t, "slot1", "model", cfg.slot1_model, std::numeric_limits<int32_t>::min() + 5000LL,
                   std::numeric_limits<int32_t>::max()))
        return false;
    if (!c.bytes(t, "slot1", "name", cfg.slot1_name)) return false;
    const toml::node* n = nullptr;
    std::string text, why;
    if (!c.string(t, "slot1", "route", text, &n)) return false;
    if (!n) return true;
    auto route = parse_slot_route(text, &why);
    if (!route) return c.fail(n, "slot1.route: " + why);
    route->path = route->kind == SlotRoute::Kind::None ? fs::path() : from_file(cfg.file, route->path.string());
    cfg.slot_route = *route;
    return true;
}

bool check(Checker& c, const toml::table& root, BoardConfig& cfg) {
    for (const sim::TomlSection& s : known_sections()) {
        const toml::node* n = root.get(s.name);
        if (n && !n->is_table()) return c.fail(n, std::string("[") + s.name + "] must be a table");
    }
    auto section = [&](const char* name) { return root[name].as_table(); };
    if (!path_key(c, section("board"), "board", "state_dir", cfg.file, cfg.state_dir)) return false;
    if (!section("flash")) return c.fail(nullptr, "[flash] is missing: it names the device of the image area");
    if (!check_flash(c, section("flash"), cfg)) return false;
    if (!path_key(c, section("registry"), "registry", "factory", cfg.file, cfg.factory_reg)) return false;
    if (!check_files(c, section("files"), cfg) || !check_identity(c, section("identity"), cfg) ||
        !check_slot(c, section("slot1"), cfg))
        return false;
    if (const toml::table* serial = section("serial")) {
        for (const auto& [key, node] : *serial) {
            auto v = node.value_exact<std::string>();
            if (!v || v->empty())
                return c.fail(&node, "serial." + std::string(key.str()) + " must be a host device path");
            cfg.serial[sim::ascii_fold(key.str())] = *v;
        }
    }
    if (const toml::node* cmd = section("reboot") ? section("reboot")->get("command") : nullptr) {
        const toml::array* a = cmd->as_array();
        if (!a || a->empty()) return c.fail(cmd, "reboot.command must be an array of words, the program first");
        for (const toml::node& word : *a) {
            auto v = word.value_exact<std::string>();
            if (!v || (cfg.reboot_command.empty() && v->empty()))
                return c.fail(&word, "reboot.command must be an array of words, the program first");
            cfg.reboot_command.push_back(*v);
        }
    }
    return path_key(c, section("apply"), "apply", "dir", cfg.file, cfg.apply_dir);
}

}  // namespace

std::optional<IdentitySource> parse_identity_source(const std::string& text, size_t bytes, std::string* why) {
    using Kind = IdentitySource::Kind;
    IdentitySource s;
    s.text = text;
    auto fail = [&](const std::string& what) {
        *why = "\"" + text + "\" " + what;
        return std::nullopt;
    };
    const size_t colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (text == "device-tree") {
        s.kind = Kind::DeviceTree;
    } else if (text == "dmi") {
        s.kind = Kind::Dmi;
    } else if (kind == "net" && !rest.empty() && rest.find('/') == std::string::npos && rest != "." && rest != "..") {
        s.kind = Kind::Net;
        s.name = rest;
    } else if (kind == "nvmem") {
        const size_t at = rest.rfind('@');
        auto offset = at == std::string::npos ? std::nullopt : number(rest.substr(at + 1));
        s.name = rest.substr(0, at);
        if (!offset || s.name.empty() || s.name.find('/') != std::string::npos || s.name == "." || s.name == "..")
            return fail("is not nvmem:DEVICE@OFFSET (a device of /sys/bus/nvmem/devices, a byte offset)");
        s.kind = Kind::Nvmem;
        s.offset = *offset;
    } else if (kind == "fixed") {
        auto b = hex_bytes(rest, bytes);
        if (!b) return fail("is not fixed: and " + std::to_string(bytes) + " bytes in hexadecimal");
        s.kind = Kind::Fixed;
        s.bytes = *b;
    } else {
        return fail("is not a source: nvmem:DEVICE@OFFSET, device-tree, dmi, net:INTERFACE or fixed:HEX");
    }
    return s;
}

std::optional<SlotRoute> parse_slot_route(const std::string& text, std::string* why) {
    SlotRoute r;
    auto fail = [&](const std::string& what) {
        *why = "\"" + text + "\" " + what;
        return std::nullopt;
    };
    if (text == "none") return r;
    const size_t eq = text.rfind('=');
    if (text.rfind("file:", 0) == 0 && eq != std::string::npos && eq > 5) {
        r.kind = SlotRoute::Kind::File;
        r.path = text.substr(5, eq - 5);
        r.value = text.substr(eq + 1);
        return r;
    }
    if (text.rfind("gpio:", 0) == 0 && eq != std::string::npos) {
        const size_t colon = text.rfind(':', eq);
        const uint64_t line = number(text.substr(colon + 1, eq - colon - 1)).value_or(UINT64_MAX);
        const std::string level = text.substr(eq + 1);
        if (colon > 5 && line <= std::numeric_limits<uint32_t>::max() && (level == "0" || level == "1")) {
            r.kind = SlotRoute::Kind::Gpio;
            r.path = text.substr(5, colon - 5);
            r.line = static_cast<uint32_t>(line);
            r.high = level == "1";
            return r;
        }
    }
    return fail("is not a route: none, file:PATH=VALUE or gpio:CHIP:LINE=0|1");
}

std::optional<BoardConfig> load_board_config(const fs::path& file, std::string* error) {
    std::optional<toml::table> root = sim::read_toml_file(file, error);
    if (!root) return std::nullopt;
    BoardConfig cfg;
    std::error_code ec;
    cfg.file = fs::absolute(file, ec);
    if (ec) cfg.file = file;
    cfg.mac[0] = *parse_identity_source("net:eth0", 6, error);
    cfg.mac[1] = *parse_identity_source("net:eth1", 6, error);
    cfg.serial_number = *parse_identity_source("device-tree", 8, error);
    Checker checker(file);
    if (!check(checker, *root, cfg)) {
        if (error) *error = checker.error();
        return std::nullopt;
    }
    sim::find_unknown_keys(file.string(), *root, known_sections(), cfg.warnings);
    return cfg;
}

}  // namespace orva::board
