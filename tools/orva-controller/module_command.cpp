// orva-controller module serve: runs the simulated I/O module in its own
// process, so that a port opened by another process talks to it.
#include "tools/orva-controller/module_command.h"

#include <signal.h>

#include "simulator/module.h"

namespace orva::tool {

int module_serve(sim::SimController& controller, std::ostream& out, std::ostream& err) {
    const sim::ModuleConfig config = controller.config().module;
    controller.close();
    // The signals are waited for, not handled: blocked before the module's
    // thread starts, so that thread inherits the mask and never takes them.
    sigset_t stop_signals, previous;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_signals, &previous);
    std::string error;
    auto module = sim::SimulatedModule::start(config, &error);
    if (!module) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        err << "orva-controller: the module cannot be started: " << error << "\n";
        return 1;
    }
    out << module->slave_path() << "\n";
    out.flush();
    int signal = 0;
    while (sigwait(&stop_signals, &signal) != 0) {}
    module.reset();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return 0;
}

}  // namespace orva::tool
