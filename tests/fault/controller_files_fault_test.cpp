// The work that makes, renames or removes the controller's own files, with a
// fault at each call it makes to open, make, rename or remove a file or a
// folder in turn: making a controller, making a new flash, rewriting
// factory.reg with a change of the factory registry, and placing a file in
// fs/. Afterwards the controller is what it was or what the work makes of
// it, the new state only when no failure was reported, and never something
// in between that opens as if it were sound. And the event log read with
// each of its reads failing in turn: never printed in part as if whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/paths.h"
#include "tools/orva-controller/cli.h"
#include "tests/fault/fault_injector.h"
#include "tests/fault/program_run.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSegment = 262144;
const uint8_t kNew[4] = {0x20, 3, 0, 0};

// EIO from each call that opens, makes, renames or removes a file or a
// folder; ENOSPC from each of them that needs room.
const Fault kFileError{"EIO", EIO, {"open", "openat", "mkdir", "rmdir", "rename", "renameat", "unlink", "unlinkat"}};
const Fault kFileFull{"ENOSPC", ENOSPC, {"open", "openat", "mkdir", "rename", "renameat"}};

// The old image of segment 0, and how many of its bytes are not 0xFF.
const std::string kImage = pattern(1000, 3);
const int64_t kImageBytes = 1000 - int64_t(std::count(kImage.begin(), kImage.end(), '\xFF'));

std::string file_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The CxScreen value of the factory copy of a store opened afresh; 0 when
// the store reports a problem.
int factory_width(const fs::path& dir) {
    std::string error;
    auto store = sim::RegistryStore::open(dir, false, &error);
    if (!store) return 0;
    for (const std::string& p : store->problems()) ADD_FAILURE() << p;
    if (!store->problems().empty()) return 0;
    sim::RegValue v;
    if (store->get(sim::Hive::Factory, "Drivers\\Display\\MQ200", "CxScreen", &v) != sim::RegResult::Ok) return 0;
    return v.data[0] | v.data[1] << 8;
}

struct Row {
    const char* name;
    // Before each attempt: the controller as the work finds it.
    void (*prepare)(ProgramRun&);
    // The work, with the fault armed; false (and why) when it failed.
    bool (*work)(ProgramRun&, std::string* error);
    // After it: what must hold, given whether it reported success.
    void (*check)(ProgramRun&, bool ok, const std::string& where);
};

const Row kRows[] = {
    {"MakingAController", [](ProgramRun& p) { fs::remove_all(p.dir().parent_path() / "new"); },
     [](ProgramRun& p, std::string* error) {
         return sim::init_controller(p.dir().parent_path() / "new", kSegment, false, error);
     },
     [](ProgramRun& p, bool ok, const std::string& where) {
         // A controller that opens is a whole one; a failed one does not open.
         std::string error;
         auto c = sim::SimController::open_dir(p.dir().parent_path() / "new", &error);
         EXPECT_EQ(bool(c), ok) << where << ": " << error;
         if (!c) return;
         EXPECT_TRUE(c->registry_problems().empty()) << where << ": " << c->registry_problems()[0];
         EXPECT_TRUE(c->flash()) << where << ": " << c->flash_error();
     }},
    {"MakingANewFlash",
     [](ProgramRun& p) {
         // An old image in segment 0 of a sound flash.
         ASSERT_TRUE(p.controller().reset_flash(nullptr));
         const auto* bytes = reinterpret_cast<const uint8_t*>(kImage.data());
         ASSERT_TRUE(p.controller().flash()->program(0, 0, bytes, uint32_t(kImage.size())));
     },
     [](ProgramRun& p, std::string* error) { return p.controller().reset_flash(error); },
     [](ProgramRun& p, bool ok, const std::string& where) {
         // The old flash, the new one, or a flash that says it is damaged.
         std::string error;
         auto flash = sim::NorFlash::open(p.dir() / sim::kFlashFile, kSegment, 29360128, &error);
         if (!flash) {
             EXPECT_FALSE(ok) << where << ": reported made, but does not open: " << error;
             return;
         }
         const int64_t programmed = flash->programmed_bytes(0);
         EXPECT_TRUE(programmed == 0 || (!ok && programmed == kImageBytes)) << where << ": " << programmed;
         EXPECT_EQ(flash->programmed_segments().size(), programmed == 0 ? 0u : 1u) << where;
     }},
    {"ChangingTheFactoryRegistry",
     [](ProgramRun& p) {
         const uint8_t old[4] = {0x80, 2, 0, 0};
         sim::RegistryStore& store = *p.controller().registry();
         ASSERT_EQ(store.set(sim::Hive::Factory, "Drivers\\Display\\MQ200", "CxScreen", sim::kRegDword, old, 4),
                   sim::RegResult::Ok)
             << store.last_error();
     },
     [](ProgramRun& p, std::string* error) {
         sim::RegistryStore& store = *p.controller().registry();
         const bool ok = store.set(sim::Hive::Factory, "Drivers\\Display\\MQ200", "CxScreen", sim::kRegDword, kNew,
                                   4) == sim::RegResult::Ok;
         if (!ok) *error = store.last_error();
         return ok;
     },
     [](ProgramRun& p, bool ok, const std::string& where) {
         // factory.reg and the copy agree, on the old value or on the new.
         const int width = factory_width(p.dir());
         EXPECT_TRUE(width == 800 || (!ok && width == 640)) << where << ": " << width;
     }},
    {"PlacingAFile", [](ProgramRun& p) { write_host_file(p.fs() / "Temp" / "out.txt", std::string(5000, 'o')); },
     [](ProgramRun& p, std::string* error) {
         return sim::write_controller_file(p.fs(), "\\Temp\\out.txt", std::string(7000, 'n'), error);
     },
     [](ProgramRun& p, bool ok, const std::string& where) {
         const std::string text = file_text(p.fs() / "Temp" / "out.txt");
         EXPECT_TRUE(text == std::string(7000, 'n') || (!ok && text == std::string(5000, 'o')))
             << where << ": " << text.size() << " bytes";
         for (auto& e : fs::directory_iterator(p.fs() / "Temp"))
             EXPECT_NE(e.path().filename().string().rfind(".out.txt.", 0), 0u)
                 << where << ": a temporary file was left";
     }},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class ControllerFilesUnderFaults : public ::testing::TestWithParam<Row> {};

TEST_P(ControllerFilesUnderFaults, LeaveTheOldStateOrTheNewOneAndSayWhenItFailed) {
    const Row& row = GetParam();
    for (const Fault* fault : {&kFileError, &kFileFull}) {
        ProgramRun program(kSegment);
        program.open();
        FaultInjector injector;
        injector.watch(program.dir().parent_path().string() + "/");
        int met = 0;
        for (int nth = 1;; ++nth) {
            row.prepare(program);
            injector.arm(*fault, nth);
            std::string error;
            const bool ok = row.work(program, &error);
            injector.disarm();
            const std::string where = fault->name + " at call " + std::to_string(nth) + " (" + injector.hit() + ")";
            if (!ok) {
                EXPECT_FALSE(error.empty()) << where << ": a failure without a reason";
            }
            row.check(program, ok, where);
            if (!injector.fired()) {
                EXPECT_TRUE(ok) << error;
                break;
            }
            ++met;
        }
        EXPECT_GE(met, 2) << fault->name;  // placing a file: its new file and its rename
    }
}

TEST(LogUnderFaults, AReadThatFailsFailsTheCommand) {
    ProgramRun program(kSegment);
    program.open();
    std::string whole;
    for (int i = 0; i < 4000; ++i) {
        const std::string line = "FlashErase_Img(" + std::to_string(i) + ") -> 1";
        program.controller().event_log().append(line);
        whole += line + "\n";
    }
    program.close();
    const Fault reads{"EIO", EIO, {"open", "read"}};
    FaultInjector injector;
    injector.watch(sim::kEventLogFile);
    int met = 0;
    for (int nth = 1;; ++nth) {
        std::ostringstream out, err;
        injector.arm(reads, nth);
        const int code = tool::run_controller_tool({"-C", program.dir().string(), "log"}, out, err);
        injector.disarm();
        if (!injector.fired()) {
            EXPECT_EQ(code, 0) << err.str();
            EXPECT_TRUE(out.str() == whole);
            break;
        }
        EXPECT_EQ(code, 1) << "read " << nth << " failed (" << injector.hit() << ")";
        EXPECT_NE(err.str().find("events.log: cannot be read: Input/output error"), std::string::npos) << err.str();
        ++met;
    }
    EXPECT_GE(met, 3);  // the open and two reads at least
}

INSTANTIATE_TEST_SUITE_P(EachCall, ControllerFilesUnderFaults, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orva::test
