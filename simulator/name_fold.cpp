// Unicode simple upper-casing of registry names, over the generated table.
#include "simulator/name_fold.h"

#include <algorithm>

#include "common/utf.h"

namespace orva::sim {

char32_t upcase_char(char32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 32 : c;
    if (c > 0xFFFF) return c;
    using detail::kUpcaseRunCount;
    using detail::kUpcaseRuns;
    // The last run that begins at or before c.
    const auto* end = kUpcaseRuns + kUpcaseRunCount;
    const auto* it =
        std::upper_bound(kUpcaseRuns, end, c, [](char32_t v, const detail::UpcaseRun& r) { return v < r.first; });
    if (it == kUpcaseRuns) return c;
    --it;
    if (c > it->last || (c - it->first) % it->stride != 0) return c;
    return static_cast<char32_t>(static_cast<int32_t>(c) + it->delta);
}

std::string name_fold(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    size_t i = 0;
    while (i < name.size()) {
        const unsigned char b = static_cast<unsigned char>(name[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
            ++i;
            continue;
        }
        const size_t start = i;
        const long c = utf::decode(name, i);
        if (c < 0) out.append(name.substr(start, i - start));
        else utf::append_utf8(out, upcase_char(static_cast<char32_t>(c)));
    }
    return out;
}

}  // namespace orva::sim
