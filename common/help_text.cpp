// Laying out --help entries.
#include "common/help_text.h"

namespace orva {

std::string help_entry(std::string_view heading, std::string_view text) {
    std::string out = "  " + std::string(heading);
    if (text.empty()) return out + "\n";
    if (out.size() + 2 <= kHelpTextColumn) out.resize(kHelpTextColumn, ' ');
    else out += "\n" + std::string(kHelpTextColumn, ' ');
    for (size_t start = 0;;) {
        const size_t end = text.find('\n', start);
        out += std::string(text.substr(start, end - start)) + "\n";
        if (end == std::string_view::npos) break;
        out += std::string(kHelpTextColumn, ' ');
        start = end + 1;
    }
    return out;
}

}  // namespace orva
