// The simulated I/O module on the master side of a pseudo-terminal: it reads
// what the port sends and answers the name request "$00M\r".
#include "simulator/module.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/syscalls.h"

namespace orva::sim {

namespace {

constexpr const char* kRequest = "$00M";
constexpr size_t kLongestLine = 64;  // bytes kept of a line that never ends

std::string errno_text(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

std::string module_reply(const ModuleConfig& config) {
    if (config.reply) return *config.reply;
    return "!00" + config.name + "\r";
}

std::unique_ptr<SimulatedModule> SimulatedModule::start(const ModuleConfig& config, std::string* error) {
    auto failed = [&](const std::string& what, std::initializer_list<int> fds) {
        if (error) *error = what;
        for (int fd : fds)
            if (fd >= 0) sys::close(fd);
        return std::unique_ptr<SimulatedModule>();
    };
    int master = sys::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return failed(errno_text("posix_openpt"), {});
    char name[128];
    if (sys::grantpt(master) != 0 || sys::unlockpt(master) != 0 || sys::ptsname_r(master, name, sizeof name) != 0)
        return failed(errno_text("pseudo-terminal"), {master});
    int slave = sys::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC, 0);
    if (slave < 0) return failed(errno_text(name), {master});
    termios tio{};
    if (sys::tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        sys::tcsetattr(slave, TCSANOW, &tio);
    }
    const int flags = sys::fcntl(master, F_GETFL, 0);
    if (flags < 0 || sys::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0)
        return failed(errno_text("pseudo-terminal"), {master, slave});
    int stop = sys::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop < 0) return failed(errno_text("eventfd"), {master, slave});
    std::unique_ptr<SimulatedModule> module(new SimulatedModule(config, master, slave, stop, name));
    module->m_thread = std::thread([m = module.get()] { m->serve(); });
    return module;
}

SimulatedModule::SimulatedModule(ModuleConfig config, int master, int slave, int stop, std::string slave_path)
    : m_config(std::move(config)),
      m_master(master),
      m_slave(slave),
      m_stop(stop),
      m_slave_path(std::move(slave_path)) {}

SimulatedModule::~SimulatedModule() {
    uint64_t one = 1;
    if (sys::write(m_stop, &one, sizeof one) < 0) {
        // An eventfd write only fails when its counter is full: it is set already.
    }
    if (m_thread.joinable()) m_thread.join();
    sys::close(m_stop);
    sys::close(m_slave);
    sys::close(m_master);
}

void SimulatedModule::serve() {
    std::string line;
    for (;;) {
        pollfd p[2] = {{m_master, POLLIN, 0}, {m_stop, POLLIN, 0}};
        int r = sys::poll(p, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        if (!(p[0].revents & POLLIN)) {
            // No slave side to read from for the moment: wait a little, or stop.
            pollfd s{m_stop, POLLIN, 0};
            if (sys::poll(&s, 1, 10) > 0) return;
            continue;
        }
        char buf[256];
        ssize_t n = sys::read(m_master, buf, sizeof buf);
        if (n <= 0) continue;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\r') {
                line += buf[i];
                if (line.size() > kLongestLine) line.erase(0, line.size() - kLongestLine);
                continue;
            }
            bool request = line == kRequest;
            line.clear();
            if (!request) continue;
            ++m_requests;
            if (!answer()) return;
        }
    }
}

// Waits delay_ms and writes the reply; false when told to stop meanwhile.
bool SimulatedModule::answer() {
    if (m_config.silent) return true;
    pollfd s{m_stop, POLLIN, 0};
    if (m_config.delay_ms > 0 && sys::poll(&s, 1, m_config.delay_ms) > 0) return false;
    const std::string reply = module_reply(m_config);
    size_t sent = 0;
    while (sent < reply.size()) {
        ssize_t n = sys::write(m_master, reply.data() + sent, reply.size() - sent);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN) return true;  // the reply is lost, as on a broken line
        pollfd p[2] = {{m_master, POLLOUT, 0}, {m_stop, POLLIN, 0}};
        if (sys::poll(p, 2, -1) < 0 && errno != EINTR) return true;
        if (p[1].revents) return false;
    }
    return true;
}

std::optional<std::string> start_simulated_module(const ModuleConfig& config) {
    static std::mutex lock;
    static std::vector<std::unique_ptr<SimulatedModule>> running;
    std::string error;
    auto module = SimulatedModule::start(config, &error);
    if (!module) return std::nullopt;
    std::string path = module->slave_path();
    std::lock_guard<std::mutex> guard(lock);
    running.push_back(std::move(module));
    return path;
}

}  // namespace orva::sim
