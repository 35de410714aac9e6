// Registry names compared as Windows compares them: each UTF-16 code unit
// upper-cased by the Unicode simple mapping, so that "Ärger" and "ärger"
// name one value. Characters beyond U+FFFF are kept as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orva::sim {

// The upper-case form of a code point of the Basic Multilingual Plane; any
// other code point is returned as it is.
char32_t upcase_char(char32_t c);

// The folded form of a UTF-8 name, by which names are found and sorted:
// every character upper-cased. Bytes that are not UTF-8 are kept as they are.
std::string name_fold(std::string_view name);

// Whether two names are one name by that folding.
inline bool name_iequal(std::string_view a, std::string_view b) { return name_fold(a) == name_fold(b); }

namespace detail {
struct UpcaseRun {
    uint16_t first, last;
    int32_t delta;
    uint8_t stride;  // 1: every code point of the run; 2: every other one
};
extern const UpcaseRun kUpcaseRuns[];
extern const size_t kUpcaseRunCount;
}  // namespace detail

}  // namespace orva::sim
