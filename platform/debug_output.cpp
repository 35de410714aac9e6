// The kernel debug output, the controller's debug port: each call's text is
// appended to the controller's debug.log, written to standard error unless a
// frontend draws on the terminal that standard error goes to (or the echo is
// turned off), each line starting with the program's name there, and handed
// to the frontend (the script frontend writes it into its transcript).
#include "platform/debug_output.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "common/diagnostics.h"
#include "platform/frontend.h"
#include "platform/text.h"
#include "controller/controller.h"

namespace {
bool g_echo = true;
bool g_line_open = false;  // the echo ended inside a line

// The text on standard error: each line after the program's name, carriage
// returns left out.
void echo(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (!g_line_open) out += orva::program_name() + ": ";
        out += c;
        g_line_open = c != '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}
}  // namespace

void orva::platform::set_debug_echo(bool to_stderr) { g_echo = to_stderr; }

void NKDbgPrintfW(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = orva::platform::format_wide(format, args);
    va_end(args);
    std::string utf8 = orva::platform::to_utf8(text);
    if (auto* controller = orva::ctl::current()) controller->debug_output(utf8);
    orva::platform::Frontend& frontend = orva::platform::frontend();
    if (g_echo && (!frontend.draws_on_terminal() || !::isatty(STDERR_FILENO))) echo(utf8);
    frontend.debug_output(text);
}
