// The command line of orva-utility: options anywhere, then either a one-shot
// command with its arguments or a script for the script frontend. Which
// options and commands there are is the table of app/command_line.def.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_table.h"

namespace orva::app {

struct Options {
    std::string command;            // the command's words ("" when none)
    std::vector<std::string> args;  // the command's arguments
    std::string script;             // SCRIPT ("" when none; "-" is standard input)
    // The options given, by name ("--json"), with their values ("" for a
    // flag); a repeated option keeps its last value.
    std::map<std::string, std::string, std::less<>> given;
    const CommandTable* table = &command_table();

    // Whether option `name` was given; its value when it was. `name` must be
    // an option of the table (anything else is a mistake of the program, and
    // ends it).
    bool has(std::string_view name) const;
    std::optional<std::string> value(std::string_view name) const;
    // How long to wait for a controller that another program has: --wait,
    // which parse_options has checked, or the default.
    std::chrono::milliseconds wait() const;
};

// Parses the arguments after the program name. Options may stand before or
// after the command and its arguments; "--" ends them. The first other word
// is a command when it is a command word, otherwise the SCRIPT. nullopt and
// a one-line message on a bad command line.
std::optional<Options> parse_options(const std::vector<std::string>& argv, std::string* error,
                                     const CommandTable& table = command_table());

// The text of --help.
std::string usage_text(const CommandTable& table = command_table());

}  // namespace orva::app
