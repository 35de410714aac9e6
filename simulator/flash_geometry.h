// The flash of a simulated controller: its segments are of one of the two
// sizes the device library names (128 KB on a 16 MB flash, 256 KB on a 32 MB
// one), and a new controller's image area is 112 of them.
#pragma once

#include <cstdint>
#include <string>

#include "device/device_library.h"

namespace orva::sim {

// What a new controller gets unless told otherwise.
inline constexpr uint32_t kDefaultSegmentSize = FLASH_SEGMENT_SIZE_256K;

// Whether `size` is a segment size the device library names.
constexpr bool is_segment_size(uint64_t size) {
    return size == FLASH_SEGMENT_SIZE_128K || size == FLASH_SEGMENT_SIZE_256K;
}

// The image area of a new controller whose flash has segments of
// `segment_size` bytes (one that is_segment_size takes).
constexpr int32_t new_image_area_size(uint32_t segment_size) { return int32_t(segment_size) * 112; }

// The two sizes as messages and files write them: "131072 or 262144".
inline std::string segment_sizes_text(const char* separator = " or ") {
    return std::to_string(FLASH_SEGMENT_SIZE_128K) + separator + std::to_string(FLASH_SEGMENT_SIZE_256K);
}

}  // namespace orva::sim
