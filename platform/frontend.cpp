// The installed frontend, and the one used when none is installed.
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

Frontend* g_frontend = nullptr;

}  // namespace

void set_frontend(Frontend* frontend) { g_frontend = frontend; }

Frontend& frontend() {
    static NoFrontend none;
    return g_frontend ? *g_frontend : none;
}

}  // namespace orva::platform
