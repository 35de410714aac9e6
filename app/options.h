// The command line of orva-utility: options anywhere, then either a one-shot
// command with its arguments or a script for the script frontend.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orva::app {

struct Options {
    bool help = false;
    bool version = false;                   // --version
    std::optional<std::string> controller;  // --controller DIR, -C DIR
    std::string frontend;                   // --frontend NAME ("" when not given)
    bool trace = false;                     // --trace
    std::string script;                     // SCRIPT ("" when none; "-" is standard input)
    std::string command;                    // a command word ("" when none)
    std::vector<std::string> args;          // the command's arguments
    bool no_save = false;                   // --no-save
    bool reboot = false;                    // --reboot
    bool json = false;                      // --json
    std::optional<std::string> sha256;      // --sha256 HEX
    std::optional<std::string> listen;      // --listen ADDR:PORT (web frontend)
    std::string tls_cert, tls_key;          // --tls-cert FILE, --tls-key FILE (web frontend)
};

// Whether `word` names a one-shot command (info, display, ...).
bool is_command_word(std::string_view word);

// Parses the arguments after the program name. Options may stand before or
// after the command and its arguments; "--" ends them. The first other word
// is a command when it is a command word, otherwise the SCRIPT. nullopt and
// a one-line message on a bad command line.
std::optional<Options> parse_options(const std::vector<std::string>& argv, std::string* error);

// The text of --help.
extern const char* const kUsage;

}  // namespace orva::app
