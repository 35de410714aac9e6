// `update IMAGE [--sha256 HEX]`: the Version Update page writes an image into
// flash. With --sha256 the image's checksum is checked before the page is
// opened, so that a damaged image never costs the flash; an image that does
// not fit is refused by the page itself, before it erases anything.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/commands.h"
#include "app/sha256.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace orva::app {

namespace {

namespace fs = std::filesystem;

// The page's path buffer holds 199 characters and the NUL.
constexpr size_t kMaxPath = 199;

bool is_sha256(const std::string& hex) {
    return hex.size() == 64 &&
           std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// IMAGE as the page takes it: a controller path as given, or the controller
// path of a host file in one of the controller's folders. nullopt when it is
// neither.
std::optional<std::string> controller_path(const std::string& image, const ctl::Controller& controller) {
    if (!image.empty() && image[0] == '\\') return image;
    std::error_code ec;
    const fs::path file = fs::weakly_canonical(fs::absolute(image, ec), ec);
    if (ec) return std::nullopt;
    auto path = controller.controller_path_of(file);
    if (!path || *path == "\\") return std::nullopt;
    return path;
}

}  // namespace

std::string commands::update::check(const Options& options) {
    if (options.args.empty()) return usage_of(options, "needs an IMAGE");
    if (options.args.size() > 1) return usage_of(options, "takes one IMAGE");
    const auto sha256 = options.value("--sha256");
    if (sha256 && !is_sha256(*sha256))
        return usage_of(options, "--sha256 needs 64 hexadecimal digits, not \"" + *sha256 + "\"");
    return "";
}

bool commands::update::writes(const Options&) { return true; }

int commands::update::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend) {
    const std::string& image = options.args[0];
    auto fail = [&](const std::string& what, int code) {
        std::fprintf(stderr, "orva-utility: %s\n", what.c_str());
        return code;
    };
    auto path = controller_path(image, controller);
    if (!path)
        return fail(
            usage_of(options, "IMAGE " + image + " is neither a controller path such as \\Temp\\nk.bin nor a file in " +
                                  controller.fs_root().string()),
            2);
    const std::u16string wide = platform::to_utf16(*path);
    if (wide.size() > kMaxPath)
        return fail(usage_of(options, "IMAGE is " + std::to_string(wide.size()) +
                                          " characters long as a controller path; the page takes at most " +
                                          std::to_string(kMaxPath)),
                    2);

    const ctl::ResolvedPath resolved = controller.resolve_path(*path);
    if (const auto sha256 = options.value("--sha256")) {
        // Read only what the page could open: a path that leaves fs/ is not.
        const bool inside = resolved.status == ctl::ResolvedPath::Status::Ok && resolved.exists;
        std::string error = std::strerror(resolved.status == ctl::ResolvedPath::Status::Outside ? EACCES : ENOENT);
        auto sum = inside ? file_sha256(resolved.host, &error) : std::nullopt;
        if (!sum) return fail(image + ": " + error, 1);
        if (*sum != lower(*sha256))
            return fail("image checksum mismatch: expected " + lower(*sha256) + ", " + image + " has " + *sum, 1);
    }
    if (!options.has("--quiet")) frontend.follow_status(IDC_STATUS, isatty(STDERR_FILENO) == 1);
    frontend.add_step([wide, reboot = options.has("--reboot"), &frontend] {
        frontend.type(IDC_IMAGE_PATH, wide);
        // "Update OS image now ?" OK; after a successful write the reboot offer.
        frontend.answer(IDOK);
        frontend.answer(reboot ? IDYES : IDNO);
        frontend.click(IDC_WRITE_FLASH);
    });
    // Saving now would write back the registry the update has just erased.
    frontend.close_with(false, false);
    return 0;
}

}  // namespace orva::app
