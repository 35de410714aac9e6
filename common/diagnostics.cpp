// The program's name and its lines on standard error.
#include "common/diagnostics.h"

#include <errno.h>

#include <cstdio>

namespace orva {

namespace {

std::string& name() {
    static std::string n = program_invocation_short_name;
    return n;
}

std::function<void(const std::string&)>& catcher() {
    static std::function<void(const std::string&)> c;
    return c;
}

}  // namespace

void set_program_name(std::string_view n) { name() = n; }
const std::string& program_name() { return name(); }

void report(std::string_view line) {
    if (catcher()) return catcher()(std::string(line));
    std::fprintf(stderr, "%s: %.*s\n", name().c_str(), int(line.size()), line.data());
    std::fflush(stderr);
}

void catch_reports(std::function<void(const std::string&)> c) { catcher() = std::move(c); }

}  // namespace orva
