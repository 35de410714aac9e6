// .reg text: whatever is imported, exporting it and importing the export
// gives the same registry, and the export reads back as itself.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "simulator/reg_file.h"
#include "simulator/registry_copy.h"

using namespace orva::sim;

namespace {

[[noreturn]] void finding(const char* what, const std::string& detail) {
    std::fprintf(stderr, "reg_file_fuzz: %s\n%s\n", what, detail.c_str());
    std::abort();
}

bool same(const std::vector<RegKeyDump>& a, const std::vector<RegKeyDump>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].key != b[i].key || a[i].values.size() != b[i].values.size()) return false;
        for (size_t j = 0; j < a[i].values.size(); ++j) {
            const RegValue &x = a[i].values[j], &y = b[i].values[j];
            if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto changes = parse_reg_text(text, "in.reg", &error);
    if (!changes) {
        if (error.rfind("in.reg:", 0) != 0) finding("an error that does not name the file and line", error);
        return 0;
    }
    auto first = RegistryCopy::create_in_memory(&error);
    if (!first) finding("no registry in memory", error);
    if (!first->apply(*changes)) return 0;  // a value under a key it deleted, a name with a NUL, ...
    const std::vector<RegKeyDump> hive = first->dump("");
    const std::string exported = format_reg_text(hive);

    auto again = parse_reg_text(exported, "out.reg", &error);
    if (!again) finding("the export does not read back", error + "\n--- export:\n" + exported);
    auto second = RegistryCopy::create_in_memory(&error);
    if (!second) finding("no registry in memory", error);
    if (!second->apply(*again))
        finding("the export cannot be imported", second->last_error() + "\n--- export:\n" + exported);
    const std::vector<RegKeyDump> back = second->dump("");
    if (!same(hive, back))
        finding("import, export and import again give another registry",
                "--- export:\n" + exported + "--- export of the import:\n" + format_reg_text(back));
    if (format_reg_text(back) != exported) finding("exporting the same registry twice gives two texts", exported);
    return 0;
}
