// The one-shot commands of orva-utility: each checks its arguments, opens the
// controller, plans its work on its page through a CommandFrontend and runs
// the program once. The commands are the rows of app/command_line.def.
#pragma once

#include <string>
#include <vector>

#include "app/options.h"
#include "app/report.h"
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
//          the program, or an exit code to end with at once (having failed
//          through the frontend). With --check the controller is one that
//          writes nothing (app/check_controller.h). What the command shows
//          or changes goes into the report.
namespace commands {
#define ORVA_OPTION(...)
#define ORVA_COMMAND(code, ...)                                                                               \
    namespace code {                                                                                          \
    std::string check(const Options& options);                                                                \
    bool writes(const Options& options);                                                                      \
    int plan(const Options& options, ctl::Controller& controller, CommandFrontend& frontend, Report& report); \
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
// For a command that sets a value, once a step has read whether the value is
// already so (`same`) and whether the saved copy holds it (`saved`): it
// writes only a value that is not so, and saves when it writes or when the
// value is not saved yet, unless --no-save; --reboot follows a save only;
// with --check nothing is saved. Closes the sheet accordingly and says what
// it decided. `saved` after the command: the save, or the value as it was.
struct Settled {
    bool write = false;
    bool save = false;
    bool changed() const { return write || save; }
    bool saved_after(bool saved_before) const { return save || (!write && saved_before); }
};
Settled settle(const Options& options, CommandFrontend& frontend, bool same, bool saved);
// Whether the saved copy holds each named value of `key` as the live
// registry does; false when it cannot be told.
bool values_saved(ctl::Controller& controller, std::string_view key, std::initializer_list<std::string_view> names);
// A whole decimal number in [lo, hi], or false.
bool parse_int(const std::string& text, long lo, long hi, long* out);
// Whether the values of `key` that a page shows can be read from the live
// registry. When one cannot (the live copy is unusable, the key or the value
// is missing), the page shows a value it made up: the command fails (exit 1)
// naming it, and prints nothing.
bool shown_values_readable(const Options& options, ctl::Controller& controller, CommandFrontend& frontend,
                           const std::string& key, const std::vector<std::string>& names);
// The same without failing: a command that sets such a value takes one it
// cannot read for one it does not know (null in its "before").
bool values_readable(ctl::Controller& controller, const std::string& key, const std::vector<std::string>& names);
// Whether `text` is a single line of printable text, as every value the
// pages keep is; "" when it is, else what is wrong, for a usage error.
std::string unprintable_in(const std::string& what, const std::string& text);

}  // namespace orva::app
