// Running the program on a controller with a frontend.
#include "app/session.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/stop_signals.h"
#include "board/board_controller.h"
#include "common/diagnostics.h"
#include "common/host_files.h"
#include "platform/handles.h"
#include "platform/module.h"
#include "platform/text.h"
#include "platform/window_model.h"
#include "simulator/factory.h"
#include "simulator/sim_controller.h"

namespace orva::app {

namespace {

// The controller that end_process closes, and the lock it was opened under.
ctl::Controller* g_open = nullptr;
std::unique_ptr<lock::UseLock> g_lock;

// What the controller reported while a frontend drew on the terminal that
// standard error goes to: printed once the screen is given back.
std::vector<std::string> g_held;

void print_held() {
    catch_reports(nullptr);
    for (const std::string& line : g_held) report(line);
    g_held.clear();
}

// Prints the controller's warnings, makes it current and shows its notices
// as message boxes; a stop signal now ends the program cleanly.
void make_current(ctl::Controller& controller) {
    for (const std::string& warning : controller.warnings())
        std::fprintf(stderr, "orva-utility: warning: %s\n", warning.c_str());
    for (const std::string& problem : controller.registry_problems())
        std::fprintf(stderr, "orva-utility: warning: %s\n", problem.c_str());
    ctl::set_current(&controller);
    g_open = &controller;
    ctl::set_notice_handler([](const std::string& caption, const std::string& text) {
        MessageBoxW(nullptr, platform::to_utf16(text).c_str(), platform::to_utf16(caption).c_str(), MB_ICONEXCLAMATION);
    });
    // The registry viewer that the program may start runs the orva-controller
    // installed beside it.
    sim::export_controller_tool();
    stop_signals_deliver(true);
}

// Takes `place` for `use`; false, with the message and the exit code, when
// it cannot be had.
bool take_lock(const ctl::LockPlace& place, lock::Use use, const Access& access, std::string* error, int* code) {
    lock::UseLock::Failure failure{};
    g_lock = lock::UseLock::take(place.file, place.name, use, access.wait, error, &failure);
    if (!g_lock && failure == lock::UseLock::Failure::InUse) *code = 1;
    return g_lock != nullptr;
}

}  // namespace

std::unique_ptr<ctl::Controller> open_controller(const std::optional<std::string>& dir, const Access& access,
                                                 std::string* error, int* code) {
    namespace fs = std::filesystem;
    *code = 2;
    const fs::path path = dir ? fs::path(*dir) : sim::default_controller_dir();
    std::error_code ec;
    // The default controller is made on first use, under its lock, by
    // whichever program comes first; the others find it made.
    const bool first_use = !dir && !fs::exists(path, ec);
    if (first_use) fs::create_directories(path, ec);
    if (!take_lock(sim::lock_place(path), first_use ? lock::Use::Write : access.use, access, error, code))
        return nullptr;
    if (first_use && !fs::exists(path / sim::kConfigFile, ec)) {
        std::string why;
        if (!sim::init_controller(path, sim::kDefaultSegmentSize, false, &why, sim::random_identity())) {
            *error = "cannot create the controller in " + path.string() + ": " + why;
            g_lock.reset();
            return nullptr;
        }
    }
    std::unique_ptr<ctl::Controller> controller = sim::SimController::open_dir(path, error);
    if (!controller) {
        g_lock.reset();
        return nullptr;
    }
    make_current(*controller);
    return controller;
}

std::unique_ptr<ctl::Controller> open_board(const std::string& file, const Access& access, std::string* error,
                                            int* code) {
    namespace fs = std::filesystem;
    *code = 2;
    std::error_code ec;
    const fs::path path = fs::absolute(file.empty() ? board::kDefaultBoardFile : file, ec);
    // The lock lives in the state directory that board.toml names; the board
    // is opened (its state made on first use) only once it is had.
    auto cfg = board::load_board_config(path, error);
    if (!cfg) return nullptr;
    // A state directory that cannot be made is said when the board opens.
    files::make_folders(cfg->state_dir);
    if (!take_lock(board::lock_place(*cfg), board::opening_writes(*cfg) ? lock::Use::Write : access.use, access, error,
                   code))
        return nullptr;
    std::unique_ptr<ctl::Controller> controller = board::BoardController::open(path, error);
    if (!controller) {
        g_lock.reset();
        return nullptr;
    }
    ::setenv("ORVA_BOARD", path.c_str(), 1);
    make_current(*controller);
    return controller;
}

std::unique_ptr<ctl::Controller> open_chosen(const std::optional<std::string>& dir,
                                             const std::optional<std::string>& board, const Access& access,
                                             std::string* error, int* code) {
    return board ? open_board(*board, access, error, code) : open_controller(dir, access, error, code);
}

void close_controller(std::unique_ptr<ctl::Controller>& controller) {
    if (!controller) return;
    stop_signals_deliver(false);
    controller->close();
    ctl::set_notice_handler(nullptr);
    if (ctl::current() == controller.get()) ctl::set_current(nullptr);
    if (g_open == controller.get()) g_open = nullptr;
    controller.reset();
    g_lock.reset();
}

void end_process(int code) {
    catch_reports(nullptr);
    std::fflush(stdout);
    if (g_open) g_open->close();
    std::fflush(stderr);
    std::_Exit(code);
}

void end_process_by_signal(int signal) {
    catch_reports(nullptr);
    std::fflush(stdout);
    if (g_open) g_open->close();
    std::fprintf(stderr, "orva-utility: ended by SIG%s; the controller is closed\n", sigabbrev_np(signal));
    std::fflush(stderr);
    end_by_signal(signal);
}

int run_program(platform::Frontend& frontend, const std::function<int()>& exit_code) {
    platform::set_frontend(&frontend);
    platform::set_resource_section(&g_resourceSection);
    const bool hold = frontend.draws_on_terminal() && isatty(STDERR_FILENO);
    if (hold) catch_reports([](const std::string& line) { g_held.push_back(line); });
    // A reboot ends the program as a restart of the controller would.
    ctl::set_reboot_handler([&frontend, exit_code, hold] {
        frontend.rebooting();
        const int code = exit_code();
        frontend.program_ending(code);
        if (hold) print_held();
        end_process(code);
    });
    // SIGINT, SIGTERM and SIGHUP end the program at its next wait for the
    // operator, the frontend told as at any end.
    platform::set_stop_handler([&frontend, hold](int signal) {
        frontend.stopping(signal);
        frontend.program_ending(128 + signal);
        if (hold) print_held();
        end_process_by_signal(signal);
    });
    platform::stop_if_requested();
    int code = platform::start_program();
    frontend.program_ending(code);
    if (hold) print_held();
    // Every window and kernel object the program made is gone by now; say so
    // when one is not (the tests look for this line).
    size_t windows = platform::live_window_count(), handles = platform::open_handle_count();
    if (windows || handles)
        std::fprintf(stderr, "orva-utility: %zu windows and %zu handles were left open\n", windows, handles);
    // The program has ended by itself: a signal now changes nothing.
    stop_signals_deliver(false);
    platform::set_stop_handler(nullptr);
    ctl::set_reboot_handler(nullptr);
    platform::set_frontend(nullptr);
    return code;
}

}  // namespace orva::app
