// The whole program in this process, on a controller of its own in a
// temporary directory, driven through the recording test frontend as an
// operator would drive it: the tests that inject faults into its system
// calls run it so.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/wince.h"
#include "simulator/sim_controller.h"
#include "tests/fault/fault_injector.h"
#include "tests/platform/test_frontend.h"
#include "tests/support/image_bytes.h"

namespace orva::test {

class ProgramRun {
public:
    // A new controller with flash segments of `segment_size` bytes.
    explicit ProgramRun(uint32_t segment_size = 262144);
    ~ProgramRun();  // closes the controller and removes it
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Opens the controller and makes it current: its files are opened now,
    // so a test that must see those calls replaces the table's entries first.
    void open();
    void close();
    sim::SimController& controller() { return *m_controller; }
    const std::filesystem::path& dir() const { return m_dir; }
    std::filesystem::path fs() const { return m_dir / "fs"; }

    // Runs WinMain until the program ends, the operator's actions and the
    // box answers taken from `frontend`; WinMain's result. A reboot fails
    // the test (the program keeps running, as if it had been refused).
    int run(TestFrontend& frontend);

private:
    std::filesystem::path m_root;
    std::filesystem::path m_dir;
    std::unique_ptr<sim::SimController> m_controller;
};

// Runs WinMain on the current controller until the program ends, the
// operator's actions and the box answers taken from `frontend`; WinMain's
// result. A reboot fails the test.
int run_winmain(TestFrontend& frontend);

// One operation of the program repeated with a fault at each call it can hit
// in turn (N = 1, 2, ...), all in one run of the program, until the
// operation meets no fault.
struct FaultCampaign {
    std::function<void()> open_page;             // once, before the first operation
    std::function<void(TestFrontend&)> prepare;  // before each operation: the scene and the answers
    std::function<void()> start;                 // what the operator does, with the fault armed
    // After each operation, with the boxes it showed; `where` names the
    // fault and the call it hit ("" when it met none).
    std::function<void(const std::vector<std::string>& boxes, const std::string& where)> check;
};

// Runs the campaign; how many operations met their fault. The program ends
// with Cancel on the sheet and No to the exit prompt. With ORVA_FAULT_TRACE
// set, each operation's fault and last box are printed.
int run_fault_campaign(ProgramRun& program, FaultInjector& injector, const Fault& fault, const FaultCampaign& c);
// The same on whatever controller is current.
int run_fault_campaign(FaultInjector& injector, const Fault& fault, const FaultCampaign& c);

// What the operator does on the page the sheet shows.
void select_tab(int index);
void type_into(int control, const std::u16string& text);
void click(int control);
void cancel_sheet();

}  // namespace orva::test
