// controller.toml: the controller's identity, flash geometry, slot 1 module,
// serial port mapping and injected faults, and the commented text that a new
// controller starts with.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/flash_geometry.h"
#include "simulator/identity.h"
#include "simulator/module.h"

namespace orva::sim {

struct ControllerConfig {
    std::array<uint8_t, 8> serial_number{};
    std::array<std::array<uint32_t, 6>, 2> mac{};
    std::u16string os_version;
    std::u16string sdk_version;
    std::string kernel_version = std::string(6, '\0');  // exactly six 8-bit characters
    uint32_t segment_size = kDefaultSegmentSize;
    int32_t image_area_size = new_image_area_size(kDefaultSegmentSize);
    int32_t slot1_model = 5000;
    std::string slot1_name = "5000";            // 8-bit characters
    std::map<std::string, std::string> serial;  // port name folded ("com0") -> "module" or host path
    ModuleConfig module;
    int64_t serial_number_failures = 0;
    int64_t flash_write_fail_segment = -1;
    std::vector<std::string> registry_read_only;  // "KEY\VALUE"
    bool registry_flush_fails = false;
    // Keys and sections this version does not know, one "FILE:LINE: ..."
    // line each; they are ignored, so that a newer file still opens.
    std::vector<std::string> warnings;
};

// Reads and checks controller.toml. nullopt and a one-line message naming the
// file (and the line, where there is one) when it is unreadable or malformed,
// which includes bytes that TOML allows nowhere (control characters, invalid
// UTF-8) and non-ASCII text outside strings and comments: those are refused
// before the parser sees the file.
std::optional<ControllerConfig> load_config(const std::filesystem::path& file, std::string* error);

// The commented controller.toml of a new controller with the given segment
// size (the image area is 14 MiB on 128 KiB flash, 28 MiB on 256 KiB flash)
// and identity.
std::string default_config_text(uint32_t segment_size, const Identity& identity = {});

}  // namespace orva::sim
