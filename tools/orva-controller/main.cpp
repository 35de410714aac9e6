// orva-controller: entry point.
#include <unistd.h>

#include <iostream>

#include "common/diagnostics.h"
#include "tools/orva-controller/cli.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    orva::set_program_name("orva-controller");
    std::vector<std::string> args(argv + 1, argv + argc);
    int rc = orva::tool::run_controller_tool(args, std::cout, std::cerr, isatty(STDOUT_FILENO) == 1);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "orva-controller: cannot write the output\n";
        return 1;
    }
    return rc;
}
