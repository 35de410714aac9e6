// The machinery that reads orva-utility's table of options and commands, run
// on a small table of its own: how values are given, where an option may
// stand, commands of two words, --help's entries, and the bash completion
// as bash runs it. The program's own command line is tested by running it
// (tests/scenario/command_line_test.cpp).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/completion.h"
#include "app/options.h"

namespace orva::app {
namespace {

using enum OptionKind;
using enum OptionScope;

constexpr OptionSpec kOptions[] = {
    {"--dir", "-D", "DIR", Required, "a directory", Everywhere, "<dir>", "the directory"},
    {"--mode", nullptr, "NAME", NonEmpty, "a mode", Program, "fast slow", "the mode"},
    {"--trace", nullptr, nullptr, Flag, "", Program, "", "traces"},
    {"--board", nullptr, "FILE", TomlFile, "", Everywhere, "<file>", "the board"},
    {"--json", nullptr, nullptr, Flag, "", Listed, "", nullptr},
    {"--quiet", nullptr, nullptr, Flag, "", Commands, "", "says less"},
};
constexpr CommandSpec kCommands[] = {
    {"show", "[KEY]", "--json", 0, "", "shows"},
    {"registry get", "KEY", "--json --quiet", 1, "", "gets"},
    {"registry set", "KEY DATA", "--quiet", 1, "<file>", "sets"},
};
const CommandTable kTable{kOptions, kCommands};

TEST(CommandTable, ParsesByTheRows) {
    struct Row {
        std::vector<std::string> argv;
        std::string parsed;  // "COMMAND|ARGS|NAME=VALUE ..." or "error: MESSAGE"
    } rows[] = {
        {{"-D", "d", "show", "k"}, "show|k|--dir=d"},
        {{"show", "-Dd", "--dir=e"}, "show||--dir=e"},
        {{"--dir=", "registry", "get", "k", "--json"}, "registry get|k|--dir= --json="},
        {{"registry", "set", "--", "-k", "--quiet"}, "registry set|-k --quiet|"},
        {{"--board", "show"}, "show||--board="},
        {{"--board=b.toml", "script"}, "|script|--board=b.toml"},
        {{"--board", "b.toml", "show"}, "show||--board=b.toml"},
        {{"--board", "script"}, "|script|--board="},
        {{"--mode", "fast", "--trace", "script"}, "|script|--mode=fast --trace="},
        {{"-D"}, "error: -D needs a directory"},
        {{"--mode="}, "error: --mode needs a mode"},
        {{"--trace=1"}, "error: unknown option --trace=1 (see --help)"},
        {{"show", "--mode", "fast"}, "error: --mode is not used by the command show"},
        {{"registry", "set", "k", "d", "--json"},
         "error: registry set: --json is an option of show and registry get only"},
        {{"--quiet", "script"}, "error: --quiet is an option of the commands (see --help)"},
        {{"registry"}, "error: registry needs a second command word (see --help)"},
        {{"registry", "list"}, "error: unknown command registry list (see --help)"},
    };
    for (const Row& row : rows) {
        std::string error;
        auto o = parse_options(row.argv, &error, kTable);
        std::string parsed = "error: " + error;
        if (o) {
            std::string args, given;
            for (const std::string& a : o->args) args += (args.empty() ? "" : " ") + a;
            for (auto& [name, value] : o->given) given += (given.empty() ? "" : " ") + name + "=" + value;
            parsed = o->command + "|" + (o->command.empty() ? o->script : args) + "|" + given;
        }
        EXPECT_EQ(parsed, row.parsed) << ::testing::PrintToString(row.argv);
    }
}

TEST(CommandTable, HelpHasAnEntryForEachCommandAndOption) {
    const std::string help = usage_text(kTable);
    for (const char* entry :
         {"\n  show [KEY] [--json]     shows\n", "\n  registry get KEY [--json]\n                          gets\n",
          "\n  --quiet                 says less\n", "\n  -D DIR, --dir DIR       the directory\n",
          "\n  --board [FILE]          the board\n"})
        EXPECT_NE(help.find(entry), std::string::npos) << entry << "\n" << help;
}

// Completes the words (the last one being typed) with the completion of the
// small table, as bash does on Tab; the replies sorted, on one line.
std::string complete(const std::vector<std::string>& words) {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("orva-completion-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::filesystem::create_directories(d / "empty");
        std::ofstream(d / "completion") << bash_completion(kTable);
        return d;
    }();
    std::string driver = ". '" + (dir / "completion").string() + "'\nCOMP_WORDS=(orva-utility";
    for (const std::string& w : words) driver += " '" + w + "'";
    driver += ")\nCOMP_CWORD=" + std::to_string(words.size()) +
              "\n_orva_utility\nprintf '%s\\n' \"${COMPREPLY[@]}\" | sort | paste -sd' '\n";
    std::ofstream(dir / "driver") << driver;
    std::string out;
    if (FILE* run = ::popen(("cd '" + (dir / "empty").string() + "' && bash ../driver").c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, run)) out += buf;
        ::pclose(run);
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

TEST(CommandTable, CompletionFollowsTheRows) {
    struct Row {
        std::vector<std::string> words;
        std::string replies;
    } rows[] = {
        {{""}, "registry show"},
        {{"registry", ""}, "get set"},
        {{"registry", "get", "-"}, "--board --dir --json --quiet -D"},
        {{"-D", "x", "show", "--"}, "--board --dir --json"},
        {{"--board", "b.toml", "show", "--"}, "--board --dir --json"},
        {{"script.txt", "--"}, "--board --dir --mode --trace"},
        {{"--mode", ""}, "fast slow"},
        {{"--mode", "=", "s"}, "slow"},
        {{"--board", "=", "/nonexistent/"}, ""},
    };
    for (const Row& row : rows) EXPECT_EQ(complete(row.words), row.replies) << ::testing::PrintToString(row.words);
}

}  // namespace
}  // namespace orva::app
