// Running a one-shot command, and what the commands share.
#include "app/commands.h"

#include <charconv>
#include <cstdio>

#include "app/check_controller.h"
#include "app/session.h"
#include "common/diagnostics.h"
#include "platform/debug_output.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace orva::app {

namespace {

// The code of the table's commands, in the table's order.
struct CommandCode {
    std::string (*check)(const Options&);
    bool (*writes)(const Options&);
    int (*plan)(const Options&, ctl::Controller&, CommandFrontend&, Report&);
};
constexpr CommandCode kCode[] = {
#define ORVA_OPTION(...)
#define ORVA_COMMAND(code, ...) {commands::code::check, commands::code::writes, commands::code::plan},
#include "app/command_line.def"
#undef ORVA_OPTION
#undef ORVA_COMMAND
};

}  // namespace

std::string utf8(const std::u16string& text) { return platform::to_utf8(text); }

std::string usage_of(const Options& options, const std::string& what) { return options.command + ": " + what; }

std::string check_saving(const Options& options, bool changes) {
    if (options.has("--reboot") && !changes)
        return usage_of(options, "--reboot needs a change to save; nothing offers a reboot here");
    if (options.has("--reboot") && options.has("--no-save"))
        return usage_of(options, "--reboot and --no-save: nothing is saved, so nothing offers a reboot");
    return "";
}

void plan_close(const Options& options, CommandFrontend& frontend, bool changes) {
    frontend.close_with(changes && !options.has("--no-save"), options.has("--reboot"));
}

namespace {

// What keeps one of the values of `key` from being read from the live
// registry, "KEY NAME cannot be read: WHY"; "" when all of them can be.
std::string unreadable(ctl::Controller& controller, const std::string& key, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const ctl::RegResult r = controller.reg_get(key, name, nullptr);
        if (r == ctl::RegResult::Ok) continue;
        const std::string why = r == ctl::RegResult::NoKey ? "there is no such key"
                                : r == ctl::RegResult::NoValue
                                    ? "there is no such value"
                                    : "the live registry cannot be read (see the warning above)";
        return key + " " + name + " cannot be read: " + why;
    }
    return "";
}

}  // namespace

bool values_readable(ctl::Controller& controller, const std::string& key, const std::vector<std::string>& names) {
    return unreadable(controller, key, names).empty();
}

bool shown_values_readable(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                           const std::string& key, const std::vector<std::string>& names) {
    const std::string why = unreadable(controller, key, names);
    if (!why.empty()) frontend.fail(usage_of(options, why));
    return why.empty();
}

std::string unprintable_in(const std::string& what, const std::string& text) {
    const std::u16string wide = platform::to_utf16(text);
    for (size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) continue;
        char code[8];
        std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
        const std::string name = c == u'\n'   ? "a line feed"
                                 : c == u'\r' ? "a carriage return"
                                 : c == u'\t' ? "a tab"
                                              : "the control character";
        return what + " holds " + name + " (" + code + ") at character " + std::to_string(i + 1) +
               "; the page keeps a single line of printable text";
    }
    return "";
}

Settled settle(const Options& options, CommandFrontend& frontend, bool same, bool saved) {
    Settled out;
    out.write = !same;
    out.save = !options.has("--no-save") && (out.write || !saved);
    const bool check = options.has("--check");
    frontend.close_with(out.save && !check, out.save && !check && options.has("--reboot"));
    return out;
}

bool values_saved(ctl::Controller& controller, std::string_view key, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names)
        if (controller.reg_value_saved(key, name) != true) return false;
    return true;
}

bool parse_int(const std::string& text, long lo, long hi, long* out) {
    long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

int run_command(const Options& options) {
    CommandFrontend frontend([](int code) { end_process(code); });
    Report report(options.has("--json"), [&frontend](const std::string& line) { frontend.print(line); });
    // With --json the one object goes to standard output whatever ends the
    // command: a failure, the end of the program, or a reboot.
    frontend.on_end([&](int code) {
        if (report.json()) std::puts(report.object(code != 0, frontend.failure()).c_str());
    });
    auto end_now = [&](const std::string& what, int code) {
        frontend.fail(what, code);
        frontend.finish();
        return code;
    };
    auto usage = [&](const std::string& what) { return end_now(what, 2); };
    const auto& commands = options.table->commands;
    size_t row = 0;
    while (row < commands.size() && options.command != commands[row].words) ++row;
    if (row == commands.size() || options.table != &command_table())
        return usage("unknown command " + options.command + " (see --help)");
    const CommandCode& command = kCode[row];
    std::string error = command.check(options);
    if (!error.empty()) return usage(error);

    const Access access{command.writes(options) ? lock::Use::Write : lock::Use::Read, options.wait()};
    int failed = 2;
    auto controller = open_chosen(options.value("--controller"), options.value("--board"), access, &error, &failed);
    if (!controller) return end_now(error, failed);
    for (const std::string& warning : controller->warnings()) report.note(warning);
    for (const std::string& problem : controller->registry_problems()) report.note(problem);
    // --check: the program runs on a controller that writes nothing.
    CheckController checked(*controller);
    ctl::Controller& target = options.has("--check") ? static_cast<ctl::Controller&>(checked) : *controller;
    ctl::set_current(&target);
    // Standard error carries the command's failures and progress only; what
    // the controller says of a failure goes under the failure's box.
    platform::set_debug_echo(false);
    catch_reports([&frontend](const std::string& line) { frontend.reason(line); });
    // The sheet opens on its first page; a command of another page starts by
    // choosing that page's tab.
    if (const int page = commands[row].page; page != PAGE_SAVE_REGISTRY)
        frontend.add_step([&frontend, page] { frontend.select_page(page); });
    int code = command.plan(options, target, frontend, report);
    if (code == 0) {
        run_program(frontend, [&frontend] { return frontend.exit_code(); });
        code = frontend.exit_code();
    }
    catch_reports(nullptr);
    frontend.finish();
    std::fflush(stdout);
    ctl::set_current(controller.get());
    close_controller(controller);
    return code;
}

}  // namespace orva::app
