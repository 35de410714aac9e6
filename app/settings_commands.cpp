// The other commands of the Save Registry page: `ftp-dir [PATH]` and
// `http-dir [PATH]` (the server directories), `save` (the exit prompt
// answered Yes), `factory-reset` ("Recover to Factory Settings") and
// `reboot` (a restart without a save).
#include <memory>
#include <optional>

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
    const char* key;  // where the page keeps it
    const char* value;
};
constexpr DirectoryRow kFtp{IDC_FTP_DIR, IDC_FTP_CHANGE, "Comm\\FTPD", "DefaultDir"};
constexpr DirectoryRow kHttp{IDC_HTTP_DIR, IDC_HTTP_CHANGE, "Comm\\HTTPD\\Websites\\Public\\VROOTS\\/", "Default"};

// A path (null: one that could not be read) and whether the saved copy holds it.
json::Object path_object(const std::optional<std::string>& path, bool saved) {
    return std::move(json::Object().add("path", json::string_or_null(path)).add("saved", json::boolean(saved)));
}

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
                   CommandFrontend& frontend, Report& report) {
    auto after = std::make_shared<std::string>();
    if (!options.args.empty()) {
        *after = options.args[0];
        // Typed into the edit and changed unless the edit shows it already.
        frontend.add_step([&options, row, &controller, &frontend, &report, after] {
            // A path that cannot be read is not known: the edit shows one made up.
            std::optional<std::string> before;
            if (values_readable(controller, row.key, {row.value})) before = utf8(frontend.text(row.edit));
            const bool saved = values_saved(controller, row.key, {row.value});
            const Settled settled = settle(options, frontend, before == *after, saved);
            report.set_change(path_object(before, saved), path_object(*after, settled.saved_after(saved)),
                              settled.changed());
            if (!settled.write) return;
            frontend.type(row.edit, platform::to_utf16(*after));
            frontend.click(row.change);
        });
    } else {
        plan_close(options, frontend, false);
    }
    // After a change the edit shows again what the registry holds; with
    // --check the path shown is the one it would hold, which needs no value
    // read.
    frontend.add_step([&options, row, &controller, &frontend, &report, after] {
        const bool predicted = options.has("--check") && !options.args.empty();
        if (!predicted && !shown_values_readable(options, controller, frontend, row.key, {row.value})) return;
        const std::string path = predicted ? *after : utf8(frontend.text(row.edit));
        report.line(path);
        if (options.args.empty())
            report.shown().add_all(path_object(path, values_saved(controller, row.key, {row.value})));
    });
    return 0;
}

}  // namespace

std::string commands::ftp_dir::check(const Options& options) { return check_directory(options); }

bool commands::ftp_dir::writes(const Options& options) { return !options.args.empty() && !options.has("--check"); }

int commands::ftp_dir::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                            Report& report) {
    return plan_directory(options, kFtp, controller, frontend, report);
}

std::string commands::http_dir::check(const Options& options) { return check_directory(options); }

bool commands::http_dir::writes(const Options& options) { return !options.args.empty() && !options.has("--check"); }

int commands::http_dir::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                             Report& report) {
    return plan_directory(options, kHttp, controller, frontend, report);
}

std::string commands::save::check(const Options& options) {
    if (!options.args.empty()) return usage_of(options, "takes no arguments");
    if (options.has("--no-save")) return usage_of(options, "--no-save leaves nothing to do");
    return "";
}

bool commands::save::writes(const Options& options) { return !options.has("--check"); }

int commands::save::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                         Report& report) {
    // The exit prompt answered Yes and Yes flushes the registry; it is
    // answered No when the saved copy holds the live registry already,
    // unless a reboot is asked for, which only a save offers.
    frontend.add_step([&options, &controller, &frontend, &report] {
        const bool saved = controller.registry_saved() == true;
        const bool save = !saved || options.has("--reboot");
        auto state = [](bool s) { return std::move(json::Object().add("saved", json::boolean(s))); };
        report.set_change(state(saved), state(true), save);
        frontend.close_with(save && !options.has("--check"), options.has("--reboot") && !options.has("--check"));
    });
    return 0;
}

std::string commands::factory_reset::check(const Options& options) {
    if (!options.args.empty()) return usage_of(options, "takes no arguments");
    return "";
}

bool commands::factory_reset::writes(const Options& options) { return !options.has("--check"); }

int commands::factory_reset::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                                  Report& report) {
    // "are you sure ?" Yes, the "please wait" notice, then the reboot offer.
    frontend.answer(IDYES);
    frontend.answer(IDOK);
    frontend.answer(options.has("--reboot") && !options.has("--check") ? IDYES : IDNO);
    frontend.add_step([&controller, &frontend, &report] {
        // The erase takes the saved copy: the next start loads the factory registry.
        auto state = [](bool s) { return std::move(json::Object().add("saved", json::boolean(s))); };
        report.set_change(state(controller.registry_saved() == true), state(false), true);
        frontend.click(IDC_FACTORY_RESTORE);
    });
    // Saving now would write back the registry the restore has just erased.
    frontend.close_with(false, false);
    return 0;
}

std::string commands::reboot::check(const Options& options) {
    if (!options.args.empty()) return usage_of(options, "takes no arguments");
    return "";
}

bool commands::reboot::writes(const Options& options) { return !options.has("--check"); }

int commands::reboot::plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                           Report& report) {
    frontend.add_step([&options, &controller, &frontend, &report] {
        // A restart loads the saved copy into the live registry.
        const bool saved = controller.registry_saved() == true;
        if (!saved) report.warn("the live registry holds changes that are not saved: the restart drops them");
        auto state = [](bool s) { return std::move(json::Object().add("saved", json::boolean(s))); };
        report.set_change(state(saved), state(true), true);
        frontend.close_with(false, false);
        if (!options.has("--check")) controller.device().reboot();
    });
    return 0;
}

}  // namespace orva::app
