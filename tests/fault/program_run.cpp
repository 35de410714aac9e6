// Running the program in-process on a temporary controller.
#include "tests/fault/program_run.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/debug_output.h"
#include "platform/module.h"
#include "platform/operator.h"
#include "platform/window_model.h"
#include "shell/shell.h"

namespace orva::test {

namespace fs = std::filesystem;

ProgramRun::ProgramRun(uint32_t segment_size) {
    char tmpl[] = "/tmp/orva-fault-XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    if (!made) {
        ADD_FAILURE() << "no temporary directory";
        return;
    }
    m_root = made;
    m_dir = m_root / "c";
    std::string error;
    if (!sim::init_controller(m_dir, segment_size, false, &error)) ADD_FAILURE() << error;
}

ProgramRun::~ProgramRun() {
    close();
    std::error_code ec;
    if (!m_root.empty()) fs::remove_all(m_root, ec);
}

void ProgramRun::open() {
    std::string error;
    m_controller = sim::SimController::open_dir(m_dir, &error);
    ASSERT_TRUE(m_controller) << error;
    sim::set_current(m_controller.get());
}

void ProgramRun::close() {
    if (!m_controller) return;
    if (sim::current() == m_controller.get()) sim::set_current(nullptr);
    m_controller->close();
    m_controller.reset();
}

int ProgramRun::run(TestFrontend& frontend) { return run_winmain(frontend); }

int run_winmain(TestFrontend& frontend) {
    (void)frontend;  // installed by its constructor
    platform::set_resource_section(&g_resourceSection);
    sim::set_reboot_handler([] { ADD_FAILURE() << "the program asked for a reboot"; });
    g_hwndMain = nullptr;
    g_hwndCommandBar = nullptr;
    platform::set_debug_echo(false);  // the frontend records it
    const int code = platform::start_program();
    sim::set_reboot_handler(nullptr);
    platform::set_debug_echo(true);
    return code;
}

int run_fault_campaign(ProgramRun& program, FaultInjector& injector, const Fault& fault, const FaultCampaign& c) {
    (void)program;  // current since it was opened
    return run_fault_campaign(injector, fault, c);
}

int run_fault_campaign(FaultInjector& injector, const Fault& fault, const FaultCampaign& c) {
    TestFrontend frontend;
    int nth = 0, met = 0;
    size_t first_box = 0;
    std::function<void()> next;
    next = [&] {
        injector.disarm();
        if (nth > 0) {
            const std::vector<std::string> boxes(frontend.boxes.begin() + std::ptrdiff_t(first_box),
                                                 frontend.boxes.end());
            const bool faulted = injector.fired();
            if (std::getenv("ORVA_FAULT_TRACE"))
                std::printf("%s %d %s -> %s\n", fault.name.c_str(), nth, injector.hit().c_str(),
                            boxes.empty() ? "" : boxes.back().c_str());
            c.check(boxes, faulted ? fault.name + " at call " + std::to_string(nth) + " (" + injector.hit() + ")" : "");
            if (!faulted || ::testing::Test::HasFatalFailure()) {
                cancel_sheet();
                return;
            }
            ++met;
        }
        ++nth;
        c.prepare(frontend);
        if (::testing::Test::HasFatalFailure()) {
            cancel_sheet();
            return;
        }
        first_box = frontend.boxes.size();
        injector.arm(fault, nth);
        c.start();
        frontend.actions.push_back(next);
    };
    frontend.actions = {c.open_page ? c.open_page : std::function<void()>([] {}), next};
    EXPECT_EQ(run_winmain(frontend), 0);
    EXPECT_FALSE(frontend.ran_out);
    return met;
}

void select_tab(int index) { platform::select_page(platform::active_sheet(), index); }

void type_into(int control, const std::u16string& text) {
    HWND edit = platform::find_control(platform::active_dialog(), control);
    ASSERT_NE(edit, nullptr) << "no control " << control;
    platform::type_text(edit, text);
}

void click(int control) {
    HWND button = platform::find_control(platform::active_dialog(), control);
    ASSERT_NE(button, nullptr) << "no control " << control;
    platform::press_button(button);
}

void cancel_sheet() { platform::press_sheet_cancel(platform::active_sheet()); }

}  // namespace orva::test
