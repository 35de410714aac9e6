// The rows of app/command_line.def as data: what parses orva-utility's
// command line, writes --help and the bash completion reads them here.
#pragma once

#include <span>
#include <string_view>

namespace orva::app {

// How an option's value is given.
enum class OptionKind {
    Flag,      // no value
    Required,  // the next word, or after "=" in the same one
    NonEmpty,  // as Required, and not ""
    Optional,  // only after "=": "--name=VALUE"; "--name" alone has none
    TomlFile,  // as Optional, and also the next word when it ends in ".toml"
};

// Where an option may stand.
enum class OptionScope {
    Everywhere,  // with a command or without
    Program,     // only without a command: the window, or a script
    Commands,    // with every command; offered by those that list it
    Listed,      // only with the commands that list it
};

struct OptionSpec {
    const char* name;   // "--controller"
    const char* alias;  // "-C", or nullptr
    const char* value;  // what --help calls its value ("DIR"), or nullptr for a flag
    OptionKind kind;
    const char* needs;     // "a directory": the error when the value is missing
    OptionScope scope;     //
    const char* complete;  // "" nothing, "<dir>", "<file>", or the words it takes
    const char* help;      // --help lines; "" shares the entry above; nullptr: said by its commands
};

struct CommandSpec {
    const char* words;     // "info", or two words
    const char* args;      // "[N [PATH]]"
    const char* options;   // its options of scope Commands and Listed, space separated
    int page;              // the SheetPage it acts on
    const char* complete;  // what completes its arguments, as for an option
    const char* summary;   // --help lines
};

// The table as it is built into the program.
struct CommandTable {
    std::span<const OptionSpec> options;
    std::span<const CommandSpec> commands;
};
const CommandTable& command_table();

// The option called `name` or `alias`; nullptr when the table has none.
const OptionSpec* find_option(const CommandTable& table, std::string_view name);

// Whether `command` lists the option `name` among its options.
bool lists_option(const CommandSpec& command, std::string_view name);

}  // namespace orva::app
