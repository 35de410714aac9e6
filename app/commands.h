// The one-shot commands of orva-utility: each checks its arguments, opens the
// controller, plans its work on the pages through a CommandFrontend and runs
// the program once.
#pragma once

#include <string>

#include "frontends/command/command_frontend.h"
#include "app/options.h"
#include "controller/controller.h"

namespace orva::app {

using command::CommandFrontend;

// Runs options.command and returns the process's exit code: 0 success, 1 the
// operation failed, 2 a bad argument or no controller.
int run_command(const Options& options);

// What one command is made of. `check` looks at the arguments before the
// controller is opened and returns a usage error, or "" when they are fine.
// `plan` adds the steps and answers to the frontend once the controller is
// open; it returns 0 to run the program, or an exit code to end with at once
// (having printed why).
struct CommandDef {
    const char* name;
    std::string (*check)(const Options&);
    int (*plan)(const Options&, ctl::Controller&, CommandFrontend&);
};

// The command of a command word; nullptr for any other word.
const CommandDef* find_command(const std::string& name);

// Per area.
extern const CommandDef kInfoCommand;
extern const CommandDef kDisplayCommand;
extern const CommandDef kFtpDirCommand;
extern const CommandDef kHttpDirCommand;
extern const CommandDef kAutorunCommand;
extern const CommandDef kUpdateCommand;
extern const CommandDef kSaveCommand;
extern const CommandDef kFactoryResetCommand;

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

}  // namespace orva::app
