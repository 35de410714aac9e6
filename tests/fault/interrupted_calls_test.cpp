// Every system call interrupted once (EINTR) through a whole run of the
// program: every page opened, the slot module asked over the serial port,
// an image written, the registry saved. The run ends as an uninterrupted one
// does, with the same boxes, texts, device calls, flash and registry.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "simulator/flash.h"
#include "tests/fault/fault_injector.h"
#include "tests/fault/program_run.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSegment = 262144;

struct Outcome {
    std::vector<std::string> boxes, changes;
    std::vector<std::u16string> debug;
    std::string events, flash, live, saved;
};

std::string file_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string copy_text(const fs::path& file) {
    std::string error;
    auto copy = sim::RegistryCopy::open(file, &error);
    if (!copy) {
        ADD_FAILURE() << error;
        return "";
    }
    return sim::format_reg_text(copy->dump(""));
}

// Runs the program through every page and both long operations; what it
// showed and what it left in the controller.
Outcome run_everything(bool interrupted) {
    ProgramRun program;
    write_host_file(program.fs() / "Storage Card" / "nk.bin", pattern(2 * kSegment + 1000, 7));
    FaultInjector injector;
    injector.interrupt_every_call(interrupted);
    program.open();
    Outcome out;
    {
        TestFrontend frontend;
        frontend.answers = {IDOK, IDNO, IDYES, IDNO, IDNO};  // write, no reboot; save, no reboot; exit without saving
        frontend.actions = {
            [] { select_tab(1); },  // System Config: the slot module over the serial port
            [] { select_tab(2); },  // Auto-execute
            [] { select_tab(3); },
            [] {
                type_into(IDC_IMAGE_PATH, u"\\Storage Card\\nk.bin");
                click(IDC_WRITE_FLASH);
            },
            [] { select_tab(0); },
            [] { click(IDC_SAVE_AND_REBOOT); },
            [] { cancel_sheet(); },
        };
        EXPECT_EQ(program.run(frontend), 0);
        EXPECT_FALSE(frontend.ran_out);
        out.boxes = frontend.boxes;
        out.changes = frontend.changes;
        out.debug = frontend.debug;
    }
    program.close();
    if (interrupted) {
        EXPECT_GT(injector.interruptions(), 500);
    }
    injector.interrupt_every_call(false);
    out.events = file_text(program.dir() / sim::kEventLogFile);
    std::string error;
    auto flash = sim::NorFlash::open(program.dir() / sim::kFlashFile, kSegment, 29360128, &error);
    EXPECT_TRUE(flash) << error;
    for (int s = 0; flash && s < 4; ++s) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(flash->read(s, bytes));
        out.flash.append(bytes.begin(), bytes.end());
    }
    out.live = copy_text(program.dir() / sim::kLiveCopyFile);
    out.saved = copy_text(program.dir() / sim::kSavedCopyFile);
    return out;
}

TEST(InterruptedCalls, AreMadeAgainAndTheRunEndsAsAnUninterruptedOne) {
    const Outcome plain = run_everything(false);
    const Outcome interrupted = run_everything(true);
    ASSERT_EQ(plain.boxes.size(), 5u);
    EXPECT_EQ(plain.boxes[1], "Update OS image|Update OS image succeed, Reboot now ?|36");
    EXPECT_EQ(plain.boxes[3],
              "System Reboot|All settings you changed will take effect after system reboot, reboot now ?|36");
    EXPECT_FALSE(plain.saved.empty());
    EXPECT_EQ(interrupted.boxes, plain.boxes);
    EXPECT_EQ(interrupted.changes, plain.changes);
    EXPECT_EQ(interrupted.debug, plain.debug);
    EXPECT_EQ(interrupted.events, plain.events);
    EXPECT_TRUE(interrupted.flash == plain.flash);
    EXPECT_EQ(interrupted.live, plain.live);
    EXPECT_EQ(interrupted.saved, plain.saved);
    // The slot module answered over the serial port in both.
    EXPECT_NE(plain.events.find("ChangeSlotToVex(1) -> 1"), std::string::npos);
}

}  // namespace
}  // namespace orva::test
