// orva-utility: the Linux side of the program. It takes the options, opens
// the controller, and either runs a one-shot command or installs a frontend
// and calls WinMain, which itself takes no arguments.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "app/options.h"
#include "app/report.h"
#include "app/session.h"
#include "app/stop_signals.h"
#include "common/diagnostics.h"
#include "common/host_files.h"
#include "frontends/frontends.h"
#include "frontends/script/script_frontend.h"

namespace {

int usage_error(const std::string& message, int code = 2) {
    std::fprintf(stderr, "orva-utility: %s\n", message.c_str());
    return code;
}

// Reads and parses the script before anything else, so that a bad one never
// opens a window. false with the message on failure.
bool read_script(const std::string& path, std::vector<orva::script::Command>* commands, std::string* error) {
    std::string source;
    if (path == "-") {
        std::ostringstream buf;
        buf << std::cin.rdbuf();
        source = buf.str();
    } else {
        if (!orva::files::read_pieces(path, [&](std::string_view piece) { source.append(piece); })) {
            if (errno == ENOENT && path.find('/') == std::string::npos)
                *error = "unknown command " + path + ", and no script file of that name (see --help)";
            else *error = "cannot read the script " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    if (orva::script::parse_script(source, commands, error)) return true;
    *error = path + ":" + *error;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any other thread starts (Qt's, the web server's).
    orva::app::catch_stop_signals();
    orva::set_program_name("orva-utility");
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = orva::app::parse_options(args, &error);
    if (!parsed) {
        // A program that asked for JSON gets its failure as JSON too.
        if (std::find(args.begin(), args.end(), "--json") != args.end())
            std::puts(orva::app::Report(true, nullptr).object(true, error).c_str());
        return usage_error(error);
    }
    const orva::app::Options& options = *parsed;
    if (options.has("--help")) {
        std::fputs(orva::app::usage_text().c_str(), stdout);
        return 0;
    }
    if (options.has("--version")) {
        std::puts("orva-utility " ORVA_VERSION);
        return 0;
    }
    if (!options.command.empty()) return orva::app::run_command(options);

    std::string frontend_name = options.value("--frontend").value_or("");
    const std::string& script_path = options.script;
    if (!frontend_name.empty() && frontend_name != "qt" && frontend_name != "terminal" && frontend_name != "script" &&
        frontend_name != "web")
        return usage_error("unknown frontend \"" + frontend_name + "\" (qt, terminal, script or web)");
    if (frontend_name.empty()) {
        if (!script_path.empty()) frontend_name = "script";
        else if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) frontend_name = "qt";
        else if (isatty(STDIN_FILENO)) frontend_name = "terminal";
        else
            return usage_error(
                "no display and no terminal to run on: pass a command, or --frontend script SCRIPT (see --help)");
    }
    if (frontend_name == "script" && script_path.empty()) return usage_error("the script frontend needs a SCRIPT");
    if (frontend_name != "script" && !script_path.empty())
        return usage_error("a SCRIPT is run only by the script frontend (--frontend script)");
    const bool trace = options.has("--trace");
    if (trace && frontend_name != "script") return usage_error("--trace needs the script frontend");

    std::vector<orva::script::Command> commands;
    if (frontend_name == "script" && !read_script(script_path, &commands, &error)) return usage_error(error);

    // Every frontend lets the operator change the controller: it is had
    // alone for the whole run.
    int failed = 2;
    auto controller = orva::app::open_chosen(options.value("--controller"), options.value("--board"),
                                             {orva::lock::Use::Write, options.wait()}, &error, &failed);
    if (!controller) return usage_error(error, failed);
    for (const std::string& path : orva::remove_leftover_uploads(controller->fs_root()))
        std::fprintf(stderr, "orva-utility: removed %s, an upload left unfinished by an earlier run\n", path.c_str());

    std::unique_ptr<orva::platform::Frontend> frontend;
    if (frontend_name == "script") {
        frontend = std::make_unique<orva::script::ScriptFrontend>(std::move(commands), script_path, stdout, trace,
                                                                  [] { orva::app::end_process(2); });
    } else if (frontend_name == "qt") {
        frontend = orva::make_qt_frontend(argc, argv, &error);
    } else if (frontend_name == "web") {
        orva::WebFrontendOptions web;
        if (auto listen = options.value("--listen")) web.listen = *listen;
        web.tls_cert = options.value("--tls-cert").value_or("");
        web.tls_key = options.value("--tls-key").value_or("");
        // The certificate made on first use stays with the controller; an
        // upload may hold no more than the image area.
        web.keep_dir = controller->dir();
        web.upload_limit = controller->image_area_bytes();
        frontend = orva::make_web_frontend(web, &error);
    } else {
        frontend = orva::make_terminal_frontend(&error);
    }
    if (!frontend) return usage_error(error);
    int code = orva::app::run_program(*frontend, [] { return 0; });
    frontend.reset();
    orva::app::close_controller(controller);
    return code;
}
