// Running the program on a controller with a frontend.
#include "app/session.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "common/diagnostics.h"
#include "platform/handles.h"
#include "platform/module.h"
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
    const ctl::LockPlace place = sim::lock_place(path);
    lock::UseLock::Failure failure{};
    g_lock = lock::UseLock::take(place.file, place.name, first_use ? lock::Use::Write : access.use, access.wait, error,
                                 &failure);
    if (!g_lock) {
        if (failure == lock::UseLock::Failure::InUse) *code = 1;
        return nullptr;
    }
    if (first_use && !fs::exists(path / sim::kConfigFile, ec)) {
        std::string why;
        if (!sim::init_controller(path, sim::kDefaultSegmentSize, false, &why)) {
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
    for (const std::string& warning : controller->warnings())
        std::fprintf(stderr, "orva-utility: warning: %s\n", warning.c_str());
    for (const std::string& problem : controller->registry_problems())
        std::fprintf(stderr, "orva-utility: warning: %s\n", problem.c_str());
    ctl::set_current(controller.get());
    g_open = controller.get();
    // The registry viewer that the program may start runs the orva-controller
    // installed beside it.
    sim::export_controller_tool();
    return controller;
}

void close_controller(std::unique_ptr<ctl::Controller>& controller) {
    if (!controller) return;
    controller->close();
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
    int code = platform::start_program();
    frontend.program_ending(code);
    if (hold) print_held();
    // Every window and kernel object the program made is gone by now; say so
    // when one is not (the tests look for this line).
    size_t windows = platform::live_window_count(), handles = platform::open_handle_count();
    if (windows || handles)
        std::fprintf(stderr, "orva-utility: %zu windows and %zu handles were left open\n", windows, handles);
    ctl::set_reboot_handler(nullptr);
    platform::set_frontend(nullptr);
    return code;
}

}  // namespace orva::app
