// `update IMAGE [--sha256 HEX] [--if-changed]`: the Version Update page
// writes an image into flash. With --sha256 the image's checksum is checked
// before the page is opened, so that a damaged image never costs the flash;
// an image that does not fit is refused by the page itself, before it erases
// anything. With --if-changed an image area that holds the image already is
// left alone.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/commands.h"
#include "app/sha256.h"
#include "common/syscalls.h"
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

// Whether the image area holds the image file's bytes from its start, as
// many as the file has; false when it does not or when that cannot be told
// (a file that cannot be read, is empty or is not a regular file, a flash
// that cannot be read). Opening never waits on a FIFO.
bool area_holds(ctl::Controller& controller, const fs::path& file) {
    const int fd = sys::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0) return false;
    struct stat st {};
    bool same = sys::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
                uint64_t(st.st_size) <= controller.image_area_bytes();
    std::vector<uint8_t> bytes(1 << 20), flash(1 << 20);
    for (uint64_t at = 0; same;) {
        const ssize_t n = sys::read(fd, bytes.data(), bytes.size());
        if (n <= 0) {
            same = n == 0 && at == uint64_t(st.st_size);
            break;
        }
        same = controller.read_image(at, flash.data(), size_t(n)) &&
               std::equal(bytes.begin(), bytes.begin() + n, flash.begin());
        at += uint64_t(n);
    }
    sys::close(fd);
    return same;
}

json::Object area_object(std::optional<bool> holds) {
    return std::move(json::Object().add("holds_image", holds ? json::boolean(*holds) : json::kNull));
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

bool commands::update::writes(const Options& options) { return !options.has("--check"); }

int commands::update::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                           Report& report) {
    const std::string& image = options.args[0];
    auto fail = [&](const std::string& what, int code) {
        frontend.fail(what, code);
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
    // Read only what the page could open: a path that leaves fs/ is not.
    const bool inside = resolved.status == ctl::ResolvedPath::Status::Ok && resolved.exists;
    report.extra().add("image", json::string(*path));
    if (const auto sha256 = options.value("--sha256")) {
        std::string error = std::strerror(resolved.status == ctl::ResolvedPath::Status::Outside ? EACCES : ENOENT);
        auto sum = inside ? file_sha256(resolved.host, &error) : std::nullopt;
        if (!sum) return fail(image + ": " + error, 1);
        if (*sum != lower(*sha256))
            return fail("image checksum mismatch: expected " + lower(*sha256) + ", " + image + " has " + *sum, 1);
    }
    std::optional<bool> holds;
    if (options.has("--if-changed")) holds = inside && area_holds(controller, resolved.host);
    report.set_change(area_object(holds), area_object(true), holds != true);
    if (holds == true) {
        // Nothing to write: the sheet opens and closes, the flash untouched.
        frontend.close_with(false, false);
        return 0;
    }
    const bool check = options.has("--check");
    report.warn(std::string(check ? "the update would erase" : "the update erases") +
                " the registry saved in flash: the next start loads the factory registry unless the registry is "
                "saved again before it");
    // With --check the page's erase and write passes do nothing: their
    // progress would only mislead.
    if (!check && !options.has("--quiet")) frontend.follow_status(IDC_STATUS, isatty(STDERR_FILENO) == 1);
    frontend.add_step([wide, reboot = options.has("--reboot") && !check, &frontend] {
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
