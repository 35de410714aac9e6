// The thread that waits for SIGINT, SIGTERM and SIGHUP.
#include "app/stop_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/frontend.h"

namespace orva::app {
namespace {

enum class Delivery { Early, Deliver, Ending };

std::mutex g_mutex;
Delivery g_delivery = Delivery::Early;

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
    return set;
}

void wait_for_signals(sigset_t set) {
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        std::lock_guard lock(g_mutex);
        if (platform::stop_requested() || g_delivery == Delivery::Early) end_by_signal(signal);
        if (g_delivery == Delivery::Deliver) platform::request_stop(signal);
    }
}

}  // namespace

void catch_stop_signals() {
    const sigset_t set = stop_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(wait_for_signals, set).detach();
}

void stop_signals_deliver(bool deliver) {
    std::lock_guard lock(g_mutex);
    g_delivery = deliver ? Delivery::Deliver : Delivery::Ending;
}

void end_by_signal(int signal) {
    ::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    std::_Exit(128 + signal);
}

}  // namespace orva::app
