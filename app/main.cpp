// orva-utility: the Linux side of the program. It takes the options, opens
// the controller, installs a frontend and calls WinMain, which itself takes
// no arguments.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "frontends/frontends.h"
#include "frontends/script/script_frontend.h"
#include "platform/frontend.h"
#include "platform/handles.h"
#include "platform/window_model.h"
#include "platform/module.h"
#include "simulator/controller.h"

namespace {

constexpr const char* kUsage =
    "usage: orva-utility [--controller DIR] [--frontend qt|terminal|script] [--trace] [SCRIPT]\n"
    "  --controller DIR  the controller to run on (default: $ORVA_CONTROLLER, else the one in\n"
    "                    $XDG_STATE_HOME/orva-utility/controller, created on first use)\n"
    "  --frontend NAME   qt (a window), terminal (ncurses) or script (SCRIPT, '-' for standard input)\n"
    "  --trace           with the script frontend: also every change the program makes to a control\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "orva-utility: %s\n", message.c_str());
    return 2;
}

std::unique_ptr<orva::sim::Controller> g_controller;
std::unique_ptr<orva::platform::Frontend> g_frontend;

// Ends the program from anywhere (a reboot, a script error): the transcript
// is flushed and the controller closed before the process goes.
[[noreturn]] void end_program(int code) {
    std::fflush(stdout);
    if (g_controller) g_controller->close();
    std::fflush(stderr);
    std::_Exit(code);
}

}  // namespace

int main(int argc, char** argv) {
    std::string controller_dir, frontend_name, script_path;
    bool trace = false;
    bool have_controller = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--controller" || arg == "--frontend") {
            if (i + 1 >= argc) return usage_error(arg + " needs a value");
            (arg == "--controller" ? controller_dir : frontend_name) = argv[++i];
            if (arg == "--controller") have_controller = true;
        } else if (arg.rfind("--controller=", 0) == 0) {
            controller_dir = arg.substr(13);
            have_controller = true;
        } else if (arg.rfind("--frontend=", 0) == 0) {
            frontend_name = arg.substr(11);
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return usage_error("unknown option " + arg + " (see --help)");
        } else if (script_path.empty()) {
            script_path = arg;
        } else {
            return usage_error("more than one script given: " + script_path + " and " + arg);
        }
    }
    if (!frontend_name.empty() && frontend_name != "qt" && frontend_name != "terminal" && frontend_name != "script")
        return usage_error("unknown frontend \"" + frontend_name + "\" (qt, terminal or script)");
    if (frontend_name.empty()) {
        if (!script_path.empty()) frontend_name = "script";
        else if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) frontend_name = "qt";
        else if (isatty(STDIN_FILENO)) frontend_name = "terminal";
        else
            return usage_error(
                "no display and no terminal to run on: pass --frontend script SCRIPT (or run it in a terminal)");
    }
    if (frontend_name == "script" && script_path.empty()) return usage_error("the script frontend needs a SCRIPT");
    if (frontend_name != "script" && !script_path.empty())
        return usage_error("a SCRIPT is run only by the script frontend (--frontend script)");
    if (trace && frontend_name != "script") return usage_error("--trace needs the script frontend");

    // The script is read and parsed before anything else, so that a bad one
    // never opens a window.
    std::vector<orva::script::Command> commands;
    if (frontend_name == "script") {
        std::string source;
        if (script_path == "-") {
            std::ostringstream buf;
            buf << std::cin.rdbuf();
            source = buf.str();
        } else {
            std::ifstream in(script_path, std::ios::binary);
            if (!in) return usage_error("cannot read the script " + script_path + ": " + std::strerror(errno));
            std::ostringstream buf;
            buf << in.rdbuf();
            if (in.bad()) return usage_error("cannot read the script " + script_path);
            source = buf.str();
        }
        std::string error;
        if (!orva::script::parse_script(source, &commands, &error))
            return usage_error(script_path + ":" + error);
    }

    std::filesystem::path dir = have_controller ? std::filesystem::path(controller_dir) : orva::sim::default_controller_dir();
    if (!have_controller && !std::filesystem::exists(dir)) {
        std::string error;
        if (!orva::sim::init_controller(dir, 262144, false, &error))
            return usage_error("cannot create the controller in " + dir.string() + ": " + error);
    }
    std::string error;
    g_controller = orva::sim::Controller::open(dir, &error);
    if (!g_controller) return usage_error(error);
    orva::sim::set_current(g_controller.get());

    if (frontend_name == "script") {
        g_frontend = std::make_unique<orva::script::ScriptFrontend>(std::move(commands), script_path, stdout, trace,
                                                                    [] { end_program(2); });
    } else if (frontend_name == "qt") {
        g_frontend = orva::make_qt_frontend(argc, argv, &error);
    } else {
        g_frontend = orva::make_terminal_frontend(&error);
    }
    if (!g_frontend) return usage_error(error);
    orva::platform::set_frontend(g_frontend.get());
    orva::platform::set_resource_section(&g_resourceSection);

    // A reboot ends the program as a restart of the controller would.
    orva::sim::set_reboot_handler([] {
        g_frontend->rebooting();
        g_frontend->program_ending(0);
        end_program(0);
    });

    int code = WinMain(reinterpret_cast<HINSTANCE>(uintptr_t(0x00400000)), nullptr, const_cast<LPWSTR>(u""), SW_SHOW);
    g_frontend->program_ending(code);
    // Every window and kernel object the program made is gone by now; say so
    // when one is not (the tests look for this line).
    size_t windows = orva::platform::live_window_count(), handles = orva::platform::open_handle_count();
    if (windows || handles)
        std::fprintf(stderr, "orva-utility: %zu windows and %zu handles were left open\n", windows, handles);
    orva::platform::set_frontend(nullptr);
    g_frontend.reset();
    g_controller->close();
    orva::sim::set_current(nullptr);
    g_controller.reset();
    return code;
}
