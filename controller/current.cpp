// The current controller, the program's reboot and notice handlers,
// controller paths spelled below a host folder, and what a backend that does
// not say otherwise answers to the seam's optional calls.
#include "controller/controller.h"

#include <cstdio>

#include "common/host_files.h"

namespace orva::ctl {

namespace {

Controller* g_current = nullptr;
std::function<void()> g_reboot_handler;
std::function<void(const std::string&, const std::string&)> g_notice_handler;

}  // namespace

void set_current(Controller* controller) { g_current = controller; }
Controller* current() { return g_current; }

void set_reboot_handler(std::function<void()> handler) { g_reboot_handler = std::move(handler); }
const std::function<void()>& reboot_handler() { return g_reboot_handler; }

void set_notice_handler(std::function<void(const std::string&, const std::string&)> handler) {
    g_notice_handler = std::move(handler);
}

void notice(const std::string& caption, const std::string& text) {
    if (g_notice_handler) g_notice_handler(caption, text);
    else std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

std::optional<std::string> controller_path_below(const std::filesystem::path& root, const std::filesystem::path& host) {
    namespace fs = std::filesystem;
    auto spell = [&](const fs::path& from) -> std::optional<std::string> {
        const fs::path relative = host.lexically_relative(from);
        if (relative.empty() || *relative.begin() == "..") return std::nullopt;
        std::string out;
        for (const fs::path& part : relative) {
            const std::string name = part.string();
            if (name.empty() || name == ".") continue;
            if (name.find('\\') != std::string::npos) return std::nullopt;
            out += "\\" + name;
        }
        return out.empty() ? std::string("\\") : out;
    };
    if (auto out = spell(root)) return out;
    const fs::path canonical = files::canonical(root);
    if (canonical == root) return std::nullopt;
    return spell(canonical);
}

std::optional<std::string> Controller::controller_path_of(const std::filesystem::path& host) const {
    return controller_path_below(fs_root(), host);
}

bool Controller::read_image(uint64_t, uint8_t*, size_t) { return false; }
RegResult Controller::reg_create_key(std::string_view) { return RegResult::Denied; }
RegResult Controller::reg_delete_value(std::string_view, std::string_view) { return RegResult::Denied; }
std::optional<bool> Controller::reg_value_saved(std::string_view, std::string_view) { return std::nullopt; }
std::optional<bool> Controller::registry_saved() { return std::nullopt; }

}  // namespace orva::ctl
