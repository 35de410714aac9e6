// The simulated I/O module that answers on "COM0:" when controller.toml maps
// the port to "module": it sits on the master side of a pseudo-terminal and
// answers the name request "$00M\r".
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace orva::sim {

struct ModuleConfig {
    std::string name = "OR5DI";        // the five characters the module answers with
    std::optional<std::string> reply;  // if set: the exact bytes it answers with instead
    int delay_ms = 0;                  // wait before answering
    bool silent = false;               // never answer
};

// The bytes the module answers a name request with: `reply` when set, else
// "!", its bus address "00", the name and a carriage return.
std::string module_reply(const ModuleConfig& config);

// A module serving one pseudo-terminal on a thread of its own, from start()
// until it is destroyed. It answers each "$00M" line ended by a carriage
// return (after delay_ms, unless silent) and ignores every other byte. It
// keeps the slave side open itself, so the terminal lives on while no port
// has it open.
class SimulatedModule {
public:
    // nullptr and a message when no pseudo-terminal can be had.
    static std::unique_ptr<SimulatedModule> start(const ModuleConfig& config, std::string* error);
    ~SimulatedModule();
    SimulatedModule(const SimulatedModule&) = delete;
    SimulatedModule& operator=(const SimulatedModule&) = delete;

    // The path of the slave side ("/dev/pts/N"): the device a port opens.
    const std::string& slave_path() const { return m_slave_path; }
    // How many name requests it has received so far.
    int requests() const { return m_requests.load(); }

private:
    SimulatedModule(ModuleConfig config, int master, int slave, int stop, std::string slave_path);
    void serve();
    bool answer();

    ModuleConfig m_config;
    int m_master;
    int m_slave;
    int m_stop;  // eventfd: written once to end the thread
    std::string m_slave_path;
    std::atomic<int> m_requests{0};
    std::thread m_thread;
};

// Starts a module that lives until the process ends and returns the path of
// its slave side; nullopt when it cannot be started.
std::optional<std::string> start_simulated_module(const ModuleConfig& config);

}  // namespace orva::sim
