// The orva-controller command line: prepares and inspects a simulated
// controller. Kept apart from main() so that tests can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orva::tool {

// Runs one orva-controller command (args without the program name). Output
// goes to `out`, one-line error messages and warnings to `err`. Returns the
// exit code: 0 on success, 1 when the operation failed, 2 for a bad command
// line or a directory that holds no usable controller. Binary output is
// refused when `out_is_terminal`, unless the command says --force.
int run_controller_tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                        bool out_is_terminal = false);

}  // namespace orva::tool
