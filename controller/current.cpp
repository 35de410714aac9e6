// The current controller and the program's reboot handler.
#include "controller/controller.h"

namespace orva::ctl {

namespace {

Controller* g_current = nullptr;
std::function<void()> g_reboot_handler;

}  // namespace

void set_current(Controller* controller) { g_current = controller; }
Controller* current() { return g_current; }

void set_reboot_handler(std::function<void()> handler) { g_reboot_handler = std::move(handler); }
const std::function<void()>& reboot_handler() { return g_reboot_handler; }

}  // namespace orva::ctl
