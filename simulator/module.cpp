// Stand-in for the simulated I/O module until the pseudo-terminal module lands:
// the module cannot be started, so "COM0:" mapped to "module" is not available.
#include "simulator/module.h"

namespace orva::sim {

std::optional<std::string> start_simulated_module(const ModuleConfig&) {
    return std::nullopt;
}

}  // namespace orva::sim
