// Parsing the command line of orva-utility, and its --help text, both from
// the table of options and commands.
#include "app/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/help_text.h"
#include "common/use_lock.h"

namespace orva::app {

namespace {

using enum OptionKind;
using enum OptionScope;

const OptionSpec& known_option(const CommandTable& table, std::string_view name) {
    const OptionSpec* option = find_option(table, name);
    if (!option) {
        std::fprintf(stderr, "orva-utility: the program asked for the option %.*s, which it does not have\n",
                     int(name.size()), name.data());
        std::abort();
    }
    return *option;
}

// The option an argument that starts with "-" gives, with the name it was
// spelled by and its value when the same argument holds it ("--name=VALUE",
// or "-CVALUE" for a one-letter alias).
struct Spelled {
    const OptionSpec* option = nullptr;
    std::string name;
    std::optional<std::string> value;
};

Spelled spelled_option(const CommandTable& table, const std::string& arg) {
    if (const OptionSpec* option = find_option(table, arg)) return {option, arg, std::nullopt};
    for (const OptionSpec& option : table.options) {
        if (option.kind == Flag) continue;
        const std::string name = option.name;
        if (arg.compare(0, name.size() + 1, name + "=") == 0) return {&option, name, arg.substr(name.size() + 1)};
        if (option.alias && std::strlen(option.alias) == 2 && arg.size() > 2 && arg.compare(0, 2, option.alias) == 0)
            return {&option, option.alias, arg.substr(2)};
    }
    return {};
}

// The command that `words` begin with, and how many words name it; a
// command of two words is taken only whole.
const CommandSpec* match_command(const CommandTable& table, const std::vector<std::string>& words, size_t* taken) {
    for (const CommandSpec& command : table.commands) {
        const std::string_view name = command.words;
        const size_t space = name.find(' ');
        if (space == std::string_view::npos) {
            if (!words.empty() && words[0] == name) return *taken = 1, &command;
        } else if (words.size() >= 2 && words[0] == name.substr(0, space) && words[1] == name.substr(space + 1)) {
            return *taken = 2, &command;
        }
    }
    return nullptr;
}

// Whether `word` is the first of the words of a command of two words.
bool begins_command(const CommandTable& table, const std::string& word) {
    for (const CommandSpec& command : table.commands) {
        const std::string_view name = command.words;
        if (name.size() > word.size() && name.substr(0, word.size()) == word && name[word.size()] == ' ') return true;
    }
    return false;
}

// "info", "info and update", "info, save and update": the commands that list `option`.
std::string commands_listing(const CommandTable& table, std::string_view option) {
    std::vector<std::string> names;
    for (const CommandSpec& command : table.commands)
        if (lists_option(command, option)) names.push_back(command.words);
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) out += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return out;
}

}  // namespace

bool Options::has(std::string_view name) const { return given.count(known_option(*table, name).name) > 0; }

std::optional<std::string> Options::value(std::string_view name) const {
    auto it = given.find(known_option(*table, name).name);
    if (it == given.end()) return std::nullopt;
    return it->second;
}

std::chrono::milliseconds Options::wait() const {
    const auto seconds = value("--wait");
    return seconds ? lock::parse_wait(*seconds).value_or(lock::kDefaultWait) : lock::kDefaultWait;
}

std::optional<Options> parse_options(const std::vector<std::string>& argv, std::string* error,
                                     const CommandTable& table) {
    Options o;
    o.table = &table;
    auto bad = [&](const std::string& what) {
        *error = what;
        return std::nullopt;
    };
    std::vector<std::string> words;
    bool options = true;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (!options || a == "-" || a.empty() || a[0] != '-') {
            words.push_back(a);
            continue;
        }
        if (a == "--") {
            options = false;
            continue;
        }
        Spelled s = spelled_option(table, a);
        if (!s.option) return bad("unknown option " + a + " (see --help)");
        const OptionSpec& option = *s.option;
        if (option.kind == TomlFile && !s.value && i + 1 < argv.size() && argv[i + 1].size() > 5 &&
            argv[i + 1].compare(argv[i + 1].size() - 5, 5, ".toml") == 0)
            s.value = argv[++i];
        if (option.kind != Flag && option.kind != Optional && option.kind != TomlFile && !s.value) {
            if (i + 1 >= argv.size()) return bad(s.name + " needs " + option.needs);
            s.value = argv[++i];
        }
        if (option.kind == NonEmpty && s.value->empty()) return bad(s.name + " needs " + option.needs);
        o.given[option.name] = s.value.value_or("");
    }
    auto given = [&](const char* name) { return o.given.count(name) > 0; };
    if (given("--help") || given("--version")) return o;

    if (given("--board") && given("--controller"))
        return bad("--board and --controller each choose the controller: give one");
    // The web frontend's options need it, and its certificate and key go together.
    const auto frontend = o.given.find("--frontend");
    for (const char* name : {"--listen", "--tls-cert", "--tls-key"})
        if (given(name) && (frontend == o.given.end() || frontend->second != "web"))
            return bad(std::string(name) + " needs the web frontend (--frontend web)");
    if (given("--tls-cert") != given("--tls-key")) return bad("--tls-cert and --tls-key go together");
    if (given("--wait") && !lock::parse_wait(o.given["--wait"]))
        return bad("--wait needs a number of seconds, not \"" + o.given["--wait"] + "\"");

    size_t taken = 0;
    if (const CommandSpec* command = match_command(table, words, &taken)) {
        o.command = command->words;
        o.args.assign(words.begin() + ptrdiff_t(taken), words.end());
        for (const OptionSpec& option : table.options) {
            auto it = o.given.find(option.name);
            if (it == o.given.end()) continue;
            // An empty value chooses nothing ("--frontend=" leaves the choice to the program).
            if (option.scope == Program && (option.kind == Flag || !it->second.empty()))
                return bad(std::string(option.name) + " is not used by the command " + o.command);
            if (option.scope == Listed && !lists_option(*command, option.name))
                return bad(o.command + ": " + option.name + " is an option of " + commands_listing(table, option.name) +
                           " only");
        }
        return o;
    }
    if (!words.empty() && begins_command(table, words[0])) {
        if (words.size() == 1) return bad(words[0] + " needs a second command word (see --help)");
        return bad("unknown command " + words[0] + " " + words[1] + " (see --help)");
    }
    if (words.size() > 1) {
        std::error_code ec;
        if (words[0] == "-" || std::filesystem::exists(words[0], ec))
            return bad("more than one script given: " + words[0] + " and " + words[1]);
        return bad("unknown command " + words[0] + " (see --help)");
    }
    if (!words.empty()) o.script = words[0];
    for (const OptionSpec& option : table.options)
        if ((option.scope == Commands || option.scope == Listed) && given(option.name))
            return bad(std::string(option.name) + " is an option of the commands (see --help)");
    return o;
}

namespace {

// --help's parts around what the table gives.
constexpr const char* kHelpHead =
    "usage: orva-utility [-C DIR | --board [FILE]] COMMAND [ARGS] [--no-save] [--reboot] [--check]\n"
    "                    [--json]\n"
    "       orva-utility [-C DIR | --board [FILE]] [--frontend qt|terminal|script] [--trace] [SCRIPT]\n"
    "       orva-utility [-C DIR | --board [FILE]] --frontend web [--listen ADDR:PORT]\n"
    "                    [--tls-cert FILE --tls-key FILE]\n"
    "\n"
    "Without a command the program opens its window: Qt on a display, else ncurses in a\n"
    "terminal; with SCRIPT ('-' for standard input) the script frontend runs it.\n"
    "\n"
    "Commands: each runs the program on the controller, does one task on its page as an\n"
    "operator would, closes it and exits.\n";
constexpr const char* kHelpSaving =
    "\n"
    "  A command that sets a value saves the registry as the exit prompt does (Yes, Yes)\n"
    "  and declines the reboot offer; a value that is so already is not written again and\n"
    "  is saved only when the saved copy does not hold it. update and factory-reset never\n"
    "  save (the registry they erased must not be written back), commands that only show\n"
    "  never save.\n";
constexpr const char* kHelpOptions =
    "  A failure box is printed as \"orva-utility: CAPTION: TEXT\" on standard error.\n"
    "\n"
    "Options (anywhere on the line; \"--\" ends them):\n";
constexpr const char* kHelpTail =
    "\n"
    "Script: one action a line: tab N, type ID \"TEXT\", select ID N, click ID,\n"
    "answer OK|CANCEL|YES|NO|ABORT|RETRY|IGNORE..., pick \"PATH\", pick cancel,\n"
    "show ID, ok, cancel.\n"
    "A box that asks (OK/Cancel, Yes/No) takes the next queued answer; a box with a\n"
    "single OK button is answered OK at once and takes nothing from the queue. Here\n"
    "the \"Directory Not exist\" box answers itself and NO goes to the exit prompt:\n"
    "  type 1061 \"\\\\Nowhere\"\n"
    "  answer NO\n"
    "  click 1062\n"
    "  cancel\n"
    "A script file named like a command is given as ./NAME.\n"
    "\n"
    "Exit status: 0 success; 1 the operation failed (a failure box, a refused flush);\n"
    "2 a bad command line (unknown command or option, bad argument) or no controller.\n"
    "SIGINT, SIGTERM and SIGHUP end the program at its next wait for the operator,\n"
    "after the device work in hand, without saving: the frontend is told (the script\n"
    "frontend writes \"signal SIGTERM\"), the controller is closed, and the process\n"
    "ends by the signal. A second signal ends it at once.\n";

// " DIR" after an option's name, or "[=FILE]" for a value it may go without.
std::string value_heading(const OptionSpec& option) {
    if (!option.value) return "";
    if (option.kind == TomlFile) return std::string(" [") + option.value + "]";
    return option.kind == Optional ? std::string("[=") + option.value + "]" : std::string(" ") + option.value;
}

// "-C DIR, --controller DIR".
std::string option_heading(const OptionSpec& option) {
    return (option.alias ? option.alias + value_heading(option) + ", " : "") + option.name + value_heading(option);
}

// The entries of the options of `scope` that have a text of their own, each
// with the options that share it.
std::string option_entries(const CommandTable& table, OptionScope scope_a, OptionScope scope_b) {
    std::string out, heading, text;
    for (const OptionSpec& option : table.options) {
        if ((option.scope != scope_a && option.scope != scope_b) || !option.help) continue;
        if (*option.help == '\0' && !heading.empty()) {
            heading += ", " + option_heading(option);
            continue;
        }
        if (!heading.empty()) out += help_entry(heading, text);
        heading = option_heading(option);
        text = option.help;
    }
    if (!heading.empty()) out += help_entry(heading, text);
    return out;
}

}  // namespace

std::string usage_text(const CommandTable& table) {
    std::string out = kHelpHead;
    for (const CommandSpec& command : table.commands) {
        std::string heading = std::string(command.words) + (*command.args ? " " : "") + command.args;
        for (const OptionSpec& option : table.options)
            if (option.scope == Listed && lists_option(command, option.name))
                heading += std::string(" [") + option.name + value_heading(option) + "]";
        out += help_entry(heading, command.summary);
    }
    out += kHelpSaving;
    out += option_entries(table, Commands, Commands);
    out += kHelpOptions;
    out += option_entries(table, Everywhere, Program);
    return out + kHelpTail;
}

}  // namespace orva::app
