// The lines a program writes on standard error for its operator. Each starts
// with the program's name ("orva-utility: ..."), so that a script can grep
// them. What goes wrong underneath a call (why a flash file could not be
// written) is reported here; a program may catch those lines to print them
// under the failure they explain.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace orva {

// The name the lines start with; until it is set, the name the process was
// started by, without its folder.
void set_program_name(std::string_view name);
const std::string& program_name();

// "NAME: line" on standard error, or the line handed to the catcher in force.
void report(std::string_view line);

// Puts `catcher` in force for report(); an empty one puts standard error back.
void catch_reports(std::function<void(const std::string&)> catcher);

}  // namespace orva
