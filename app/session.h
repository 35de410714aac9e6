// One run of the program on a controller: the controller opened (or created
// on first use), a frontend installed, WinMain called, and everything closed
// again, also when a reboot or a script error ends the process early.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/use_lock.h"
#include "controller/controller.h"
#include "platform/frontend.h"

namespace orva::app {

// How a run uses the controller: whether it may change it (any frontend, a
// command that sets something) or only reads it, and how long it waits for
// another program that has it.
struct Access {
    lock::Use use = lock::Use::Write;
    std::chrono::milliseconds wait = lock::kDefaultWait;
};

// Takes the controller's lock for `access`, then opens the controller in
// `dir`, or the default one (created with factory settings when it does not
// exist yet), makes it current for the device library and prints the
// warnings of its controller.toml, and the registry copies that fail their
// check, on standard error. The lock is held until close_controller, or
// until the process ends. nullptr and a message otherwise, with `*code` 1
// when another program kept the controller longer than the wait, 2 when
// there is no usable controller.
std::unique_ptr<ctl::Controller> open_controller(const std::optional<std::string>& dir, const Access& access,
                                                 std::string* error, int* code);

// Opens the Linux board this program runs on, as board.toml describes it
// (`file`, or /etc/orva-utility/board.toml when it is empty), the same way:
// its lock (in its state directory) taken for `access`, current for the
// device library, its warnings on standard error. The programs it starts
// find the board in $ORVA_BOARD.
std::unique_ptr<ctl::Controller> open_board(const std::string& file, const Access& access, std::string* error,
                                            int* code);

// The board when --board was given (`board`), else the simulated controller
// (`dir`, as --controller gives it).
std::unique_ptr<ctl::Controller> open_chosen(const std::optional<std::string>& dir,
                                             const std::optional<std::string>& board, const Access& access,
                                             std::string* error, int* code);

// Closes the controller that open_controller opened, cleanly, forgets it and
// releases its lock.
void close_controller(std::unique_ptr<ctl::Controller>& controller);

// Installs `frontend` and runs WinMain on the current controller. When the
// device library reboots the controller, the process ends there with
// `exit_code()`; on a stop signal (app/stop_signals.h), at the program's next
// wait for the operator, by that signal. Returns WinMain's result once the program has ended and the
// frontend is uninstalled; the controller stays open.
int run_program(platform::Frontend& frontend, const std::function<int()>& exit_code);

// Ends the process at once with `code`: standard output flushed, the current
// controller closed cleanly. For a reboot or an error deep inside the
// program's modal loops.
[[noreturn]] void end_process(int code);
// The same for a stop by `signal` (SIGINT, SIGTERM, SIGHUP): the controller
// closed, a line on standard error that says so, then the process ends by
// the signal.
[[noreturn]] void end_process_by_signal(int signal);

}  // namespace orva::app
