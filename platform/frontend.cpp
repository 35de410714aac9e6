// The installed frontend, and the one used when none is installed.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/frontend.h"

#include "platform/message_box_style.h"

namespace orva::platform {
namespace {

// Without a frontend nobody can answer: boxes get the answer of Esc
// (Cancel, else No, else the first button) and waiting for input ends the program.
class NoFrontend : public Frontend {
public:
    void wait_for_input() override {
        std::fputs("orva-utility: no frontend to take the operator's input\n", stderr);
        std::exit(2);
    }
    int message_box(HWND owner, std::u16string_view, std::u16string_view, UINT flags) override {
        return message_box_style(owner, flags).escape;
    }
    bool open_file(HWND, const OpenFileRequest&, std::u16string*) override { return false; }
};

// Read by request_stop on another thread.
std::atomic<Frontend*> g_frontend = nullptr;
std::atomic<int> g_stop = 0;
std::function<void(int)> g_stop_handler;

}  // namespace

void set_frontend(Frontend* frontend) { g_frontend = frontend; }

Frontend& frontend() {
    static NoFrontend none;
    Frontend* f = g_frontend;
    return f ? *f : none;
}

void request_stop(int signal) {
    int none = 0;
    g_stop.compare_exchange_strong(none, signal);
    if (Frontend* f = g_frontend) f->interrupt();
}

int stop_requested() { return g_stop; }

void set_stop_handler(std::function<void(int)> handler) { g_stop_handler = std::move(handler); }

void stop_if_requested() {
    if (const int signal = g_stop; signal && g_stop_handler) g_stop_handler(signal);
}

}  // namespace orva::platform
