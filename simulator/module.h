// The simulated I/O module that answers on "COM0:" when controller.toml maps
// the port to "module".
#pragma once

#include <optional>
#include <string>

namespace orva::sim {

struct ModuleConfig {
    std::string name = "OR5DI";          // the five characters the module answers with
    std::optional<std::string> reply;    // if set: the exact bytes it answers with instead
    int delay_ms = 0;                    // wait before answering
    bool silent = false;                 // never answer
};

// Starts the module on a pseudo-terminal and returns the path of its slave
// side; nullopt when it cannot be started.
std::optional<std::string> start_simulated_module(const ModuleConfig& config);

}  // namespace orva::sim
