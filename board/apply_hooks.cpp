// Running the apply hooks after a save.
#include "board/apply_hooks.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "board/spawn.h"
#include "common/diagnostics.h"
#include "common/host_files.h"
#include "common/syscalls.h"
#include "simulator/text.h"

namespace orva::board {

namespace {

namespace fs = std::filesystem;

constexpr int kHookTimeoutMs = 60 * 1000;

std::optional<uint32_t> dword(sim::RegistryStore& store, const char* key, const char* name) {
    ctl::RegValue v;
    if (store.get(sim::Hive::Saved, key, name, &v) != ctl::RegResult::Ok || v.data.size() < 4) return std::nullopt;
    return uint32_t(v.data[0] | v.data[1] << 8 | v.data[2] << 16 | uint32_t(v.data[3]) << 24);
}

}  // namespace

std::vector<std::string> apply_environment(const BoardConfig& cfg, const FileMap& files, sim::RegistryStore& store) {
    std::vector<std::string> env{"ORVA_BOARD=" + cfg.file.string(), "ORVA_STATE_DIR=" + cfg.state_dir.string()};
    const char* display = "Drivers\\Display\\MQ200";
    const auto w = dword(store, display, "CxScreen"), h = dword(store, display, "CyScreen"),
               bpp = dword(store, display, "Bpp"), hz = dword(store, display, "Freq");
    for (auto [name, value] : {std::pair{"WIDTH", w}, {"HEIGHT", h}, {"BPP", bpp}, {"FREQ", hz}})
        if (value) env.push_back(std::string("ORVA_DISPLAY_") + name + "=" + std::to_string(*value));
    if (w && h && bpp && hz)
        env.push_back("ORVA_DISPLAY_MODE=" + std::to_string(*w) + "x" + std::to_string(*h) + "x" +
                      std::to_string(*bpp) + "@" + std::to_string(*hz));
    for (auto [name, key, value] : {std::tuple{"FTP", "Comm\\FTPD", "DefaultDir"},
                                    {"HTTP", "Comm\\HTTPD\\Websites\\Public\\VROOTS\\/", "Default"}}) {
        ctl::RegValue v;
        if (store.get(sim::Hive::Saved, key, value, &v) != ctl::RegResult::Ok) continue;
        const std::string path = sim::utf16_to_utf8(sim::reg_sz_text(v.data));
        env.push_back(std::string("ORVA_") + name + "_DIR_CONTROLLER=" + path);
        const ctl::ResolvedPath host = files.resolve(path);
        if (host.status == ctl::ResolvedPath::Status::Ok)
            env.push_back(std::string("ORVA_") + name + "_DIR=" + host.host.string());
    }
    return env;
}

std::vector<std::string> apply_hooks(const BoardConfig& cfg) {
    std::vector<std::string> out, names;
    // No folder, no hooks; one that cannot be read is said, as a hook that fails.
    if (!files::list(cfg.apply_dir, &names) && errno != ENOENT)
        report("apply hooks: " + cfg.apply_dir.string() + ": " + std::strerror(errno));
    for (const std::string& name : names) {
        const fs::path hook = cfg.apply_dir / name;
        const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        });
        if (plain && files::is_regular(hook) && sys::access(hook.c_str(), X_OK) == 0) out.push_back(hook.string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

int run_apply_hooks(const BoardConfig& cfg, const std::vector<std::string>& env) {
    int failed = 0;
    for (const std::string& hook : apply_hooks(cfg)) {
        std::string why;
        if (run_and_wait({hook}, env, kHookTimeoutMs, &why) != 0) {
            report("apply hook " + why);
            ++failed;
        }
    }
    return failed;
}

}  // namespace orva::board
