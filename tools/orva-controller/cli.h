// The orva-controller command line: prepares and inspects a simulated
// controller. Kept apart from main() so that tests can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace orva::tool {

// Runs one orva-controller command (args without the program name). Output
// goes to `out`, one-line error messages to `err`. Returns the exit code:
// 0 on success, 1 on any error.
int run_controller_tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace orva::tool
