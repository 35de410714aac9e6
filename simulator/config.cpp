// Reading and checking controller.toml, and the text of a new one.
#include "simulator/config.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "simulator/text.h"
#include "simulator/toml_check.h"

namespace orva::sim {

namespace {

using Checker = TomlChecker;

// The keys each section knows; [serial] takes any port name.
const std::vector<TomlSection>& known_sections() {
    static const std::vector<TomlSection> sections = {
        {"identity", {"serial_number", "mac", "os_version", "sdk_version", "kernel_version"}},
        {"flash", {"segment_size", "image_area_size"}},
        {"slot1", {"model", "name"}},
        {"serial", {}},
        {"module", {"name", "reply", "delay_ms", "silent"}},
        {"faults",
         {"serial_number_failures", "flash_write_fail_segment", "registry_read_only", "registry_flush_fails"}},
    };
    return sections;
}

bool parse_mac_text(const std::string& s, std::array<uint32_t, 6>& out) {
    if (s.size() != 17) return false;
    for (int i = 0; i < 6; ++i) {
        int hi = hex_digit(s[i * 3]), lo = hex_digit(s[i * 3 + 1]);
        if (hi < 0 || lo < 0) return false;
        if (i < 5 && s[i * 3 + 2] != ':' && s[i * 3 + 2] != '-') return false;
        out[i] = static_cast<uint32_t>(hi * 16 + lo);
    }
    return true;
}

bool read_mac(Checker& c, const toml::node& n, std::array<uint32_t, 6>& out) {
    if (auto s = n.value_exact<std::string>()) {
        if (!parse_mac_text(*s, out))
            return c.fail(&n, "identity.mac entry \"" + *s + "\" is not six hex bytes like 02:00:00:00:00:01");
        return true;
    }
    const toml::array* a = n.as_array();
    if (!a || a->size() != 6)
        return c.fail(&n, "identity.mac entries must be \"02:00:00:00:00:01\" or an array of six integers");
    for (size_t i = 0; i < 6; ++i) {
        auto v = (*a)[i].value_exact<int64_t>();
        if (!v || *v < 0 || *v > std::numeric_limits<uint32_t>::max())
            return c.fail(&(*a)[i], "identity.mac values must be integers from 0 to 4294967295");
        out[i] = static_cast<uint32_t>(*v);
    }
    return true;
}

bool check(Checker& c, const toml::table& root, ControllerConfig& cfg) {
    for (const char* name : {"identity", "flash", "slot1", "serial", "module", "faults"}) {
        const toml::node* n = root.get(name);
        if (n && !n->is_table()) return c.fail(n, std::string("[") + name + "] must be a table");
    }
    const toml::table* id = root["identity"].as_table();
    const toml::table* flash = root["flash"].as_table();
    const toml::table* slot = root["slot1"].as_table();
    const toml::table* serial = root["serial"].as_table();
    const toml::table* module = root["module"].as_table();
    const toml::table* faults = root["faults"].as_table();

    const toml::node* n = nullptr;
    std::string text;
    if (!c.string(id, "identity", "serial_number", text, &n)) return false;
    if (n) {
        if (text.size() != 16) return c.fail(n, "identity.serial_number must be 16 hex digits (8 bytes)");
        for (size_t i = 0; i < 8; ++i) {
            int hi = hex_digit(text[2 * i]), lo = hex_digit(text[2 * i + 1]);
            if (hi < 0 || lo < 0) return c.fail(n, "identity.serial_number must be 16 hex digits (8 bytes)");
            cfg.serial_number[i] = static_cast<uint8_t>(hi * 16 + lo);
        }
    }
    if (const toml::node* macs = id ? id->get("mac") : nullptr) {
        const toml::array* a = macs->as_array();
        if (!a || a->size() != 2) return c.fail(macs, "identity.mac must be an array of two addresses");
        for (size_t i = 0; i < 2; ++i)
            if (!read_mac(c, (*a)[i], cfg.mac[i])) return false;
    }
    n = nullptr;
    if (!c.string(id, "identity", "os_version", text, &n)) return false;
    if (n) cfg.os_version = utf8_to_utf16(text);
    n = nullptr;
    if (!c.string(id, "identity", "sdk_version", text, &n)) return false;
    if (n) cfg.sdk_version = utf8_to_utf16(text);
    bool have_kernel = false;
    if (!c.bytes(id, "identity", "kernel_version", cfg.kernel_version, &have_kernel)) return false;
    if (have_kernel && cfg.kernel_version.size() != 6)
        return c.fail(id->get("kernel_version"), "identity.kernel_version must be exactly six 8-bit characters");

    if (!c.integer(flash, "flash", "segment_size", cfg.segment_size, 0, std::numeric_limits<uint32_t>::max()))
        return false;
    if (!c.integer(flash, "flash", "image_area_size", cfg.image_area_size, std::numeric_limits<int32_t>::min(),
                   std::numeric_limits<int32_t>::max()))
        return false;

    if (!c.integer(slot, "slot1", "model", cfg.slot1_model, std::numeric_limits<int32_t>::min() + 5000LL,
                   std::numeric_limits<int32_t>::max()))
        return false;
    if (!c.bytes(slot, "slot1", "name", cfg.slot1_name)) return false;

    if (serial) {
        for (const auto& [key, node] : *serial) {
            auto v = node.value_exact<std::string>();
            if (!v || v->empty())
                return c.fail(&node, "serial." + std::string(key.str()) + " must be \"module\" or a host device path");
            cfg.serial[ascii_fold(key.str())] = *v;
        }
    }

    if (!c.bytes(module, "module", "name", cfg.module.name)) return false;
    bool have_reply = false;
    std::string reply;
    if (!c.bytes(module, "module", "reply", reply, &have_reply)) return false;
    if (have_reply) cfg.module.reply = reply;
    if (!c.integer(module, "module", "delay_ms", cfg.module.delay_ms, 0, 3600000)) return false;
    if (const toml::node* s = module ? module->get("silent") : nullptr) {
        auto v = s->value_exact<bool>();
        if (!v) return c.fail(s, "module.silent must be true or false");
        cfg.module.silent = *v;
    }

    if (!c.integer(faults, "faults", "serial_number_failures", cfg.serial_number_failures, 0,
                   std::numeric_limits<int32_t>::max()))
        return false;
    if (!c.integer(faults, "faults", "flash_write_fail_segment", cfg.flash_write_fail_segment,
                   std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()))
        return false;
    if (const toml::node* ro = faults ? faults->get("registry_read_only") : nullptr) {
        const toml::array* a = ro->as_array();
        if (!a) return c.fail(ro, "faults.registry_read_only must be an array of \"KEY\\\\VALUE\" strings");
        for (const toml::node& e : *a) {
            auto v = e.value_exact<std::string>();
            if (!v || v->find('\\') == std::string::npos)
                return c.fail(&e, "faults.registry_read_only entries must be \"KEY\\\\VALUE\" strings");
            cfg.registry_read_only.push_back(*v);
        }
    }
    if (const toml::node* f = faults ? faults->get("registry_flush_fails") : nullptr) {
        auto v = f->value_exact<bool>();
        if (!v) return c.fail(f, "faults.registry_flush_fails must be true or false");
        cfg.registry_flush_fails = *v;
    }
    return true;
}

}  // namespace

std::optional<ControllerConfig> load_config(const std::filesystem::path& file, std::string* error) {
    std::optional<toml::table> root = read_toml_file(file, error);
    if (!root) return std::nullopt;
    ControllerConfig cfg;
    Checker checker(file);
    if (!check(checker, *root, cfg)) {
        if (error) *error = checker.error();
        return std::nullopt;
    }
    find_unknown_keys(file.string(), *root, known_sections(), cfg.warnings);
    return cfg;
}

std::string default_config_text(uint32_t segment_size, const Identity& identity) {
    std::string t;
    t += "# The simulated controller: identity, flash geometry, slot 1 module,\n";
    t += "# serial port mapping and faults to inject. Edit freely; every key may be left out.\n\n";
    t += "[identity]\n";
    t += "serial_number = \"" + identity.serial + "\"   # 8 bytes in hex, byte 0 first\n";
    t += "mac = [\"" + identity.mac1 + "\", \"" + identity.mac2 +
         "\"]  # interfaces 0 and 1; an array of six integers is also accepted, stored as given\n";
    t += "os_version = \"Windows CE 4.20 (Build 1088)\"  # what GetOSversion stores (at most 79 characters)\n";
    t += "sdk_version = \"OrvaSDK 1.07\"       # what GetSDKversion stores (at most 79 characters)\n";
    t += "kernel_version = \"K1.0.3\"           # exactly six 8-bit characters\n\n";
    t += "[flash]\n";
    t += "segment_size = " + std::to_string(segment_size) + "                # what GetFlashSize_Img stores (" +
         segment_sizes_text() + "); any other value simulates an unknown flash\n";
    t += "image_area_size = " + std::to_string(new_image_area_size(segment_size)) +
         "           # what GetFlashSize_Img returns (bytes; any 32-bit signed value)\n\n";
    t += "[slot1]\n";
    t += "model = 5000                         # GetNameOfModule returns model - 5000\n";
    t += "name = \"5000\"                        # the 8-bit name it stores (at most 7 characters); \"5000\" is a "
         "module on the serial module bus\n\n";
    t += "[serial]\n";
    t += "COM0 = \"module\"                      # \"module\": the simulated I/O module; otherwise a host device "
         "path\n\n";
    t += "[module]\n";
    t += "name = \"OR5DI\"                       # the five characters the simulated module answers with\n";
    t += "# reply = \"\"                         # if set: the exact bytes it answers with instead (\\u0000 for a zero "
         "byte)\n";
    t += "delay_ms = 0                         # wait before answering\n";
    t += "silent = false                       # never answer\n\n";
    t += "[faults]\n";
    t += "serial_number_failures = 0           # the first N calls of GetSystemSerialNumber fail\n";
    t += "flash_write_fail_segment = -1        # FlashWriteString_Img on this segment returns 0\n";
    t += "registry_read_only = []              # \"KEY\\\\VALUE\" entries whose RegSetValueExW fails\n";
    t += "registry_flush_fails = false         # RegFlushKey fails\n";
    return t;
}

}  // namespace orva::sim
