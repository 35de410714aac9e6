// One run of the program on a controller: the controller opened (or created
// on first use), a frontend installed, WinMain called, and everything closed
// again, also when a reboot or a script error ends the process early.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/frontend.h"
#include "controller/controller.h"

namespace orva::app {

// Opens the controller in `dir`, or the default one (created with factory
// settings when it does not exist yet), makes it current for the device
// library and prints the warnings of its controller.toml, and the registry
// copies that fail their check, on standard error.
// nullptr and a message when there is no usable controller.
std::unique_ptr<ctl::Controller> open_controller(const std::optional<std::string>& dir, std::string* error);

// Closes the controller that open_controller opened, cleanly, and forgets it.
void close_controller(std::unique_ptr<ctl::Controller>& controller);

// Installs `frontend` and runs WinMain on the current controller. When the
// device library reboots the controller, the process ends there with
// `exit_code()`. Returns WinMain's result once the program has ended and the
// frontend is uninstalled; the controller stays open.
int run_program(platform::Frontend& frontend, const std::function<int()>& exit_code);

// Ends the process at once with `code`: standard output flushed, the current
// controller closed cleanly. For a reboot or an error deep inside the
// program's modal loops.
[[noreturn]] void end_process(int code);

}  // namespace orva::app
