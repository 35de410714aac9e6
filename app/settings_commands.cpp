// The other commands of the Save Registry page: `ftp-dir [PATH]` and
// `http-dir [PATH]` (the server directories), `save` (the exit prompt
// answered Yes) and `factory-reset` ("Recover to Factory Settings").
#include "app/commands.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace orva::app {

namespace {

// The directory buffer of the page holds 99 characters and the NUL.
constexpr size_t kMaxDirectory = 99;

// A directory row of the page, and the registry value it shows.
struct DirectoryRow {
    int edit;
    int change;
    const char* key;
    const char* name;
};
constexpr DirectoryRow kFtp{IDC_FTP_DIR, IDC_FTP_CHANGE, "Comm\\FTPD", "DefaultDir"};
constexpr DirectoryRow kHttp{IDC_HTTP_DIR, IDC_HTTP_CHANGE, "Comm\\HTTPD\\Websites\\Public\\VROOTS\\/", "Default"};

std::string check_directory(const Options& options) {
    if (options.args.size() > 1) return usage_of(options, "takes at most one PATH");
    if (options.args.size() == 1) {
        const size_t length = platform::to_utf16(options.args[0]).size();
        if (const std::string bad = unprintable_in("PATH", options.args[0]); !bad.empty())
            return usage_of(options, bad);
        if (length > kMaxDirectory)
            return usage_of(options, "PATH is " + std::to_string(length) + " characters long; the page keeps at most " +
                                         std::to_string(kMaxDirectory));
    }
    return check_saving(options, !options.args.empty());
}

int plan_directory(const Options& options, const DirectoryRow& row, ctl::Controller& controller,
                   CommandFrontend& frontend) {
    if (!options.args.empty()) {
        const std::u16string path = platform::to_utf16(options.args[0]);
        frontend.add_step([row, path, &frontend] {
            frontend.type(row.edit, path);
            frontend.click(row.change);
        });
    }
    // After a change the edit shows again what the registry holds.
    frontend.add_step([row, &options, &controller, &frontend] {
        if (shown_values_readable(options, controller, frontend, row.key, {row.name}))
            frontend.print(utf8(frontend.text(row.edit)));
    });
    plan_close(options, frontend, !options.args.empty());
    return 0;
}

}  // namespace

std::string commands::ftp_dir::check(const Options& options) { return check_directory(options); }

bool commands::ftp_dir::writes(const Options& options) { return !options.args.empty(); }

int commands::ftp_dir::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend) {
    return plan_directory(options, kFtp, controller, frontend);
}

std::string commands::http_dir::check(const Options& options) { return check_directory(options); }

bool commands::http_dir::writes(const Options& options) { return !options.args.empty(); }

int commands::http_dir::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend) {
    return plan_directory(options, kHttp, controller, frontend);
}

std::string commands::save::check(const Options& options) {
    if (!options.args.empty()) return usage_of(options, "takes no arguments");
    if (options.has("--no-save")) return usage_of(options, "--no-save leaves nothing to do");
    return "";
}

bool commands::save::writes(const Options&) { return true; }

int commands::save::plan(const Options& options, ctl::Controller&, CommandFrontend& frontend) {
    frontend.close_with(true, options.has("--reboot"));
    return 0;
}

std::string commands::factory_reset::check(const Options& options) {
    if (!options.args.empty()) return usage_of(options, "takes no arguments");
    return "";
}

bool commands::factory_reset::writes(const Options&) { return true; }

int commands::factory_reset::plan(const Options& options, ctl::Controller&, CommandFrontend& frontend) {
    // "are you sure ?" Yes, the "please wait" notice, then the reboot offer.
    frontend.answer(IDYES);
    frontend.answer(IDOK);
    frontend.answer(options.has("--reboot") ? IDYES : IDNO);
    frontend.add_step([&frontend] { frontend.click(IDC_FACTORY_RESTORE); });
    // Saving now would write back the registry the restore has just erased.
    frontend.close_with(false, false);
    return 0;
}

}  // namespace orva::app
