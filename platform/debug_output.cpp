// The kernel debug output: each call's text goes to standard error and to
// the frontend (the script frontend writes it into its transcript).
#include "platform/debug_output.h"

#include <cstdarg>
#include <cstdio>

#include "platform/frontend.h"
#include "platform/text.h"

namespace {
bool g_echo = true;
}  // namespace

void orva::platform::set_debug_echo(bool to_stderr) { g_echo = to_stderr; }

void NKDbgPrintfW(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = orva::platform::format_wide(format, args);
    va_end(args);
    if (g_echo) {
        std::string utf8 = orva::platform::to_utf8(text);
        std::fwrite(utf8.data(), 1, utf8.size(), stderr);
        std::fflush(stderr);
    }
    orva::platform::frontend().debug_output(text);
}
