// orva-controller-completion FILE: writes orva-controller's bash completion,
// made from its table of options and commands, into FILE. Run by the build.
#include <cstdio>
#include <fstream>

#include "tools/orva-controller/cli.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "orva-controller-completion: usage: orva-controller-completion FILE\n");
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << orva::tool::tool_bash_completion();
    out.close();
    if (!out) {
        std::fprintf(stderr, "orva-controller-completion: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
