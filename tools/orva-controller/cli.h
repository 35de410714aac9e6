// The orva-controller command line: prepares and inspects a simulated
// controller, or the board this program runs on (--board). Kept apart from main() so that tests can run it in-process.
// Its global options and commands are one table (tool_commands(), in
// cli.cpp), which drives the parsing, --help and the bash completion.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/use_lock.h"

namespace orva::tool {

// Runs one orva-controller command (args without the program name). Output
// goes to `out`, one-line error messages and warnings to `err`. Returns the
// exit code: 0 on success, 1 when the operation failed, 2 for a bad command
// line or a directory that holds no usable controller. Binary output is
// refused when `out_is_terminal`, unless the command says --force.
int run_controller_tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                        bool out_is_terminal = false);

// An option: global (anywhere on the line), of a command (anywhere after its
// words), or of a family of commands (between its two words, as in
// "reg --saved get").
struct ToolOption {
    std::string name{};      // "--segment-size"
    std::string alias{};     // "-f", or ""
    std::string value{};     // what --help calls its value ("BYTES"), or "" for a flag
    std::string complete{};  // what completes its value: "" nothing, "<dir>", "<file>", or the words it takes
    std::string needs{};     // a global option's error without its value: "NAME needs NEEDS"
    // A board.toml: the value follows "=", or is the next word when that ends
    // in ".toml"; without either the option has none (its default).
    bool toml = false;
};

// The words after a command's, as given: each an option of the command (or
// of its family) with its value, or an argument. A word that looks like an
// option but is none of the command's is an argument, which the command
// refuses as it sees fit.
struct Invocation {
    struct Item {
        std::string option;                // the option's name, "" for an argument
        std::optional<std::string> value;  // its value (nullopt when the line ended); the argument
    };
    std::vector<Item> family;  // the family's options before the command's second word
    std::vector<Item> items;   // the command's options and arguments, in order

    std::vector<std::string> args() const;
    // How often option `name` was given, here or before the second word.
    int count(const std::string& name) const;
};

class ToolRun;

// One row of the table: a command, or a family of commands of two words
// ("reg" for "reg get", "reg set", ...).
struct ToolCommand {
    std::string words{};  // "init", "reg get"; a family: its first word
    // Its --help entries: how it is written, and what it does ("" for none).
    std::vector<std::pair<std::string, std::string>> help{};
    std::vector<ToolOption> options{};  // a family: those before the second word
    std::vector<std::string> args{};    // what completes each argument, as for an option's value
    bool controller = true;             // works on a controller, which is opened first
    // How it holds the controller's lock from before it is opened: alone
    // (Write), shared with other readers (Read), or not at all (nullopt: a
    // command that never ends by itself, or one that only reads what is
    // only ever appended to). `writes_with` names an option that makes the
    // command write, and so take the lock whole.
    std::optional<lock::Use> lock = lock::Use::Write;
    std::string writes_with{};
    // Runs the command. A family's runs first, once the controller is open
    // (0 to go on), and may be nullptr.
    int (ToolRun::*run)(const Invocation&) = nullptr;
    // A family: the usage errors without a second word, and with one that is
    // none of its commands ("WORD" stands for the word given).
    std::string missing{}, unknown{};
};

// The table. To add a command, add its row here and its function to
// ToolRun (cli.cpp); to add an option to a command, add it to the row's
// options and read it from the Invocation. The manual page,
// docs/man/orva-controller.1.scd, must have an entry for each (a test holds
// it to the table).
const std::vector<ToolOption>& tool_global_options();
const std::vector<ToolCommand>& tool_commands();
// The text of --help.
std::string tool_usage();
// The bash completion, written from the table for the build to install.
std::string tool_bash_completion();

}  // namespace orva::tool
