// Making the auto-run units from the registry the board starts with.
#include "board/autorun_units.h"

#include <cerrno>
#include <cstring>

#include "board/file_map.h"
#include "common/host_files.h"
#include "common/syscalls.h"
#include "simulator/registry_copy.h"
#include "simulator/registry_store.h"
#include "simulator/text.h"
#include "simulator/whole_file.h"

namespace orva::board {

namespace {

namespace fs = std::filesystem;

// Text in a unit's description: systemd's specifiers kept from expanding.
std::string plain(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '%' ? std::string("%%") : std::string(1, c);
    return out;
}

}  // namespace

std::string systemd_word(const std::string& word) {
    std::string out = "\"";
    for (char c : word) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

std::optional<std::vector<AutorunUnit>> autorun_units(const BoardConfig& cfg, std::vector<std::string>* notes,
                                                      std::string* error) {
    // Read without changing anything: the saved copy as it is, and the
    // factory copy when the saved one was erased since it was written.
    std::string why;
    // A board the program has not yet run on has no registry: nothing to start.
    if (!files::exists(cfg.state_dir / sim::kSavedCopyFile)) return std::vector<AutorunUnit>();
    auto saved = sim::RegistryCopy::open(cfg.state_dir / sim::kSavedCopyFile, &why);
    if (!saved) return *error = "the saved registry cannot be used: " + why, std::nullopt;
    const std::optional<bool> valid = saved->valid();
    if (!valid) return *error = saved->last_error(), std::nullopt;
    std::unique_ptr<sim::RegistryCopy> factory;
    sim::RegistryCopy* registry = saved.get();
    if (!*valid) {
        factory = sim::RegistryCopy::open(cfg.state_dir / sim::kFactoryCopyFile, &why);
        if (!factory)
            return *error = "the saved registry was erased, and the factory registry cannot be used: " + why,
                   std::nullopt;
        registry = factory.get();
    }
    const FileMap files(cfg.files_root(), cfg.mounts);
    std::vector<AutorunUnit> units;
    std::string after;
    for (int row = 80; row <= 89; ++row) {
        const std::string value = "Launch" + std::to_string(row);
        ctl::RegValue v;
        const ctl::RegResult r = registry->get("Init", value, &v);
        if (r == ctl::RegResult::IoError) return *error = registry->last_error(), std::nullopt;
        if (r != ctl::RegResult::Ok) continue;
        const std::string path = sim::utf16_to_utf8(sim::reg_sz_text(v.data));
        if (path.empty()) continue;
        auto note = [&](const std::string& what) { notes->push_back(value + " \"" + path + "\": " + what); };
        bool control = false;
        for (unsigned char c : path) control = control || c < 0x20 || c == 0x7F;
        if (control) {
            notes->push_back(value + ": holds a control character; no unit made");
            continue;
        }
        const ctl::ResolvedPath host = files.resolve(path);
        if (host.status == ctl::ResolvedPath::Status::Outside) {
            note("leads out of the board's folders; no unit made");
            continue;
        }
        if (host.status == ctl::ResolvedPath::Status::ParentMissing) {
            note("its folder does not exist; no unit made");
            continue;
        }
        const std::string name = "orva-autorun-" + std::to_string(row) + ".service";
        std::string text = "# Made by orva-autorun-generator from " + value +
                           " of HKEY_LOCAL_MACHINE\\Init, as the board starts.\n"
                           "[Unit]\n"
                           "Description=Orva auto-run program " +
                           plain(value + " " + path) +
                           "\n"
                           "Wants=network-online.target\n"
                           "After=network-online.target" +
                           after +
                           "\n\n"
                           "[Service]\n"
                           "Type=exec\n"
                           "WorkingDirectory=-" +
                           plain(host.host.parent_path().string()) + "\nExecStart=" + systemd_word(host.host.string()) +
                           "\n";
        units.push_back({name, text});
        after += " " + name;
    }
    return units;
}

bool write_autorun_units(const fs::path& dir, const std::vector<AutorunUnit>& units, std::string* error) {
    const fs::path wants = dir / "multi-user.target.wants";
    auto failed = [&](const fs::path& path) { return *error = path.string() + ": " + std::strerror(errno), false; };
    if (!units.empty() && !files::make_folders(wants)) return failed(wants);
    for (const AutorunUnit& unit : units) {
        if (!sim::write_file_atomically(dir / unit.name, unit.text, error)) return false;
        const fs::path link = wants / unit.name;
        if (!files::remove(link) || sys::symlink(("../" + unit.name).c_str(), link.c_str()) != 0) return failed(link);
    }
    return true;
}

}  // namespace orva::board
