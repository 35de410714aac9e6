// Running a one-shot command, and what the commands share.
#include "app/commands.h"

#include <charconv>
#include <cstdio>

#include "app/session.h"
#include "platform/debug_output.h"
#include "platform/text.h"

namespace orva::app {

const CommandDef* find_command(const std::string& name) {
    for (const CommandDef* command : {&kInfoCommand, &kDisplayCommand, &kFtpDirCommand, &kHttpDirCommand,
                                      &kAutorunCommand, &kUpdateCommand, &kSaveCommand, &kFactoryResetCommand})
        if (name == command->name) return command;
    return nullptr;
}

std::string utf8(const std::u16string& text) { return platform::to_utf8(text); }

std::string usage_of(const Options& options, const std::string& what) { return options.command + ": " + what; }

std::string check_saving(const Options& options, bool changes) {
    if (options.reboot && !changes)
        return usage_of(options, "--reboot needs a change to save; nothing offers a reboot here");
    if (options.reboot && options.no_save)
        return usage_of(options, "--reboot and --no-save: nothing is saved, so nothing offers a reboot");
    return "";
}

void plan_close(const Options& options, CommandFrontend& frontend, bool changes) {
    frontend.close_with(changes && !options.no_save, options.reboot);
}

bool parse_int(const std::string& text, long lo, long hi, long* out) {
    long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

int run_command(const Options& options) {
    auto usage = [](const std::string& what) {
        std::fprintf(stderr, "orva-utility: %s\n", what.c_str());
        return 2;
    };
    const CommandDef* command = find_command(options.command);
    if (!command) return usage("unknown command " + options.command + " (see --help)");
    if (options.json && command != &kInfoCommand) return usage(usage_of(options, "--json is an option of info only"));
    if (options.sha256 && command != &kUpdateCommand)
        return usage(usage_of(options, "--sha256 is an option of update only"));
    std::string error = command->check(options);
    if (!error.empty()) return usage(error);

    auto controller = open_controller(options.controller, &error);
    if (!controller) return usage(error);
    CommandFrontend frontend([](int code) { end_process(code); });
    // Standard error carries the command's failures and progress only.
    platform::set_debug_echo(false);
    int code = command->plan(options, *controller, frontend);
    if (code == 0) {
        run_program(frontend, [&frontend] { return frontend.exit_code(); });
        code = frontend.exit_code();
    }
    std::fflush(stdout);
    close_controller(controller);
    return code;
}

}  // namespace orva::app
