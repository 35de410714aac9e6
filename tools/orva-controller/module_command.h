// orva-controller module: the simulated I/O module of a controller, served
// on a pseudo-terminal of its own.
#pragma once

#include <ostream>

#include "simulator/sim_controller.h"

namespace orva::tool {

// `module serve`: starts the module configured in the controller's [module]
// (and closes the controller, which the module does not need), prints the path
// of its pseudo-terminal's slave side on `out` (one line, flushed at once)
// and answers on it until SIGTERM or SIGINT. Returns the exit code.
int module_serve(sim::SimController& controller, std::ostream& out, std::ostream& err);

}  // namespace orva::tool
