// The artwork's BMP files, embedded at build time from resources/art/.
#pragma once

#include <cstddef>
#include <cstdint>

extern const uint8_t kImageAbout[];
extern const size_t kImageAboutSize;
extern const uint8_t kImageAutoRun[];
extern const size_t kImageAutoRunSize;
extern const uint8_t kImageSettings[];
extern const size_t kImageSettingsSize;
extern const uint8_t kImageIcon32[];
extern const size_t kImageIcon32Size;
extern const uint8_t kImageIcon16[];
extern const size_t kImageIcon16Size;
