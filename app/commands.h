// The one-shot commands of orva-utility: each checks its arguments, opens the
// controller, plans its work on its page through a CommandFrontend and runs
// the program once. The commands are the rows of app/command_line.def.
#pragma once

#include <string>
#include <vector>

#include "app/options.h"
#include "controller/controller.h"
#include "frontends/command/command_frontend.h"

namespace orva::app {

using command::CommandFrontend;

// Runs options.command and returns the process's exit code: 0 success, 1 the
// operation failed, 2 a bad argument or no controller.
int run_command(const Options& options);

// The code of each command, in namespace commands::CODE of its row:
//   check  looks at the arguments before the controller is opened and
//          returns a usage error, or "" when they are fine.
//   writes whether the command, so called, may change the controller: it
//          then holds the controller's lock alone, else shared with others
//          that only read.
//   plan   adds the steps and answers to the frontend once the controller is
//          open (the sheet starts on the command's page); it returns 0 to run
//          the program, or an exit code to end with at once (having printed why).
namespace commands {
#define ORVA_OPTION(...)
#define ORVA_COMMAND(code, ...)                                                               \
    namespace code {                                                                          \
    std::string check(const Options& options);                                                \
    bool writes(const Options& options);                                                      \
    int plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend); \
    }
#include "app/command_line.def"
#undef ORVA_OPTION
#undef ORVA_COMMAND
}  // namespace commands

// Shared by the commands: the page texts a command prints, as UTF-8.
std::string utf8(const std::u16string& text);
// The command's usage error, "COMMAND: what".
std::string usage_of(const Options& options, const std::string& what);
// For a command that changes a setting when `changes`: "" when --no-save and
// --reboot fit (--reboot needs the save that leads to the reboot offer), else
// the usage error. plan_close then closes the sheet accordingly.
std::string check_saving(const Options& options, bool changes);
void plan_close(const Options& options, CommandFrontend& frontend, bool changes);
// A whole decimal number in [lo, hi], or false.
bool parse_int(const std::string& text, long lo, long hi, long* out);
// Whether the values of `key` that a page shows can be read from the live
// registry. When one cannot (the live copy is unusable, the key or the value
// is missing), the page shows a value it made up: the command fails (exit 1)
// naming it, and prints nothing.
bool shown_values_readable(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                           const std::string& key, const std::vector<std::string>& names);
// Whether `text` is a single line of printable text, as every value the
// pages keep is; "" when it is, else what is wrong, for a usage error.
std::string unprintable_in(const std::string& what, const std::string& text);

}  // namespace orva::app
