// .reg files: whatever is imported, exporting it (UTF-8 with LF, and
// UTF-16LE with CR LF as regedit writes it) and importing the export gives
// the same registry, and each export reads back as itself. The first byte
// chooses the import's options (encoding named or told, bad lines skipped,
// other roots refused); the rest is the file.
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

// Imports `bytes` into a new registry in memory, change by change in one
// transaction as orva-controller does; nullptr when the file is refused.
std::unique_ptr<RegistryCopy> import(const std::string& bytes, const char* name, const RegParseOptions& options,
                                     std::string* error) {
    auto copy = RegistryCopy::create_in_memory(error);
    if (!copy || !copy->begin()) finding("no registry in memory", *error);
    std::vector<std::string> warnings;
    auto apply = [&](const RegChange& c) { return copy->apply_change(c); };
    if (!parse_reg_file(bytes, name, options, apply, &warnings, error)) return nullptr;
    for (const std::string& w : warnings)
        if (w.rfind(std::string(name) + ":", 0) != 0) finding("a warning that does not name the file and line", w);
    if (!copy->commit()) finding("the import cannot be committed", copy->last_error());
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    RegParseOptions options;
    const uint8_t choice = data[0];
    if (choice & 3) options.encoding = static_cast<RegEncoding>((choice & 3) - 1);
    options.skip_bad_lines = choice & 4;
    options.strict = choice & 8;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string error;
    auto first = import(text, "in.reg", options, &error);
    if (!first) {
        // A value under a key it deleted, a name with a NUL, ... or a refusal:
        // only a refusal names the file and line.
        if (!error.empty() && error.rfind("in.reg:", 0) != 0)
            finding("an error that does not name the file and line", error);
        return 0;
    }
    const std::vector<RegKeyDump> hive = first->dump("");
    const std::string exported = format_reg_text(hive);
    for (const std::string& form : {exported, utf16le_file_text(exported)}) {
        auto second = import(form, "out.reg", RegParseOptions{}, &error);
        if (!second) finding("the export does not read back", error + "\n--- export:\n" + exported);
        const std::vector<RegKeyDump> back = second->dump("");
        if (!same(hive, back))
            finding("import, export and import again give another registry",
                    "--- export:\n" + exported + "--- export of the import:\n" + format_reg_text(back));
        if (format_reg_text(back) != exported) finding("exporting the same registry twice gives two texts", exported);
    }
    return 0;
}
