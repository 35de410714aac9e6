// "Save and Reboot" (RegFlushKey) with a fault at each call that SQLite and
// the controller make to one registry copy's files in turn: the saved copy
// that the flush replaces (and its journal), or the live copy it reads.
// Afterwards the saved copy, opened afresh, passes its check and is wholly
// the old copy or wholly the new one; the new one only when no failure was
// reported, and "RegFlushKey failed" is shown whenever it is the old one.
// Also a controller whose files may be read but not written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/syscalls.h"
#include "resources/resource.h"
#include "tests/fault/fault_injector.h"
#include "tests/fault/program_run.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

const std::string kProceed =
    "Save Registry|It would take 10-15 seconds to store your settings into internal non-volatile memory. Proceed ?|4";
const std::string kFlushFailed = "Save Registry|RegFlushKey failed|48";
const std::string kOfferReboot =
    "System Reboot|All settings you changed will take effect after system reboot, reboot now ?|36";
const std::string kSaveAsk = "Save Registry|Save your settings to registry ?|36";

// One generation of the key "Campaign": 300 values that all carry its name,
// enough for the copy to span several database pages.
std::vector<sim::RegChange> generation(const std::string& name) {
    std::vector<sim::RegChange> out(1);
    out[0].kind = sim::RegChange::Kind::CreateKey;
    out[0].key = "Campaign";
    for (int i = 0; i < 300; ++i) {
        sim::RegChange c;
        c.kind = sim::RegChange::Kind::SetValue;
        c.key = "Campaign";
        c.value.name = "Value" + std::to_string(i);
        c.value.type = sim::kRegBinary;
        const std::string text = name + " generation, value " + std::to_string(i) + std::string(24, '.');
        c.value.data.assign(text.begin(), text.end());
        out.push_back(c);
    }
    return out;
}

// The saved copy as a restarted controller finds it: its export, or "" when
// it fails its check.
std::string saved_copy_text(const ProgramRun& p) {
    std::string error;
    auto copy = sim::RegistryCopy::open(p.dir() / sim::kSavedCopyFile, &error);
    if (!copy) return "";
    std::vector<sim::RegKeyDump> keys;
    if (!copy->dump("", &keys)) ADD_FAILURE() << copy->last_error();
    return sim::format_reg_text(keys);
}

// The exports of the saved copy before a flush (`old_text`) and after it.
struct Generations {
    std::string old_text, new_text;
};

// Puts the old generation into the live copy, saves it, then the new
// generation, and saves that: what the saved copy holds before and after
// "Save and Reboot". The live copy keeps the new generation.
Generations make_generations(ProgramRun& program) {
    Generations g;
    sim::RegistryStore& store = *program.controller().registry();
    EXPECT_TRUE(store.apply(sim::Hive::Live, generation("old"))) << store.last_error();
    EXPECT_TRUE(store.copy(sim::Hive::Live, sim::Hive::Saved)) << store.last_error();
    g.old_text = saved_copy_text(program);
    EXPECT_TRUE(store.apply(sim::Hive::Live, generation("new"))) << store.last_error();
    EXPECT_TRUE(store.copy(sim::Hive::Live, sim::Hive::Saved)) << store.last_error();
    g.new_text = saved_copy_text(program);
    EXPECT_NE(g.old_text, g.new_text);
    EXPECT_NE(g.old_text, "");
    return g;
}

// The boxes of one "Save and Reboot": the question, then the failure or the
// reboot offer. true when it reported success.
bool flush_succeeded(const std::vector<std::string>& boxes, const std::string& where) {
    EXPECT_EQ(boxes.size(), 2u) << where;
    if (boxes.size() != 2) return false;
    EXPECT_EQ(boxes[0], kProceed) << where;
    EXPECT_TRUE(boxes[1] == kOfferReboot || boxes[1] == kFlushFailed) << where << ": " << boxes[1];
    EXPECT_TRUE(boxes[1] == kOfferReboot || !where.empty()) << "the flush without a fault failed";
    return boxes[1] == kOfferReboot;
}

struct FlushRow {
    const char* file;  // the copy whose files take the faults
    const Fault* fault;
    int least_calls;  // how many calls the fault can hit, at least
};

std::string row_name(const ::testing::TestParamInfo<FlushRow>& info) {
    const std::string file = info.param.file == std::string(sim::kSavedCopyFile) ? "Saved" : "Live";
    const int e = info.param.fault->error;
    return file + (e == EIO ? "EIO" : e == ENOSPC ? "ENOSPC" : "Short");
}

class FlushUnderFaults : public ::testing::TestWithParam<FlushRow> {};

// The saved copy is replaced in place, in one transaction.
TEST_P(FlushUnderFaults, LeavesTheSavedCopyWhollyOldOrNewAndSaysWhenItFailed) {
    const Fault& fault = *GetParam().fault;
    ProgramRun program;
    program.open();
    const Generations g = make_generations(program);
    FaultInjector injector;
    injector.watch(GetParam().file);  // the copy and its journal

    FaultCampaign c;
    c.prepare = [&](TestFrontend& frontend) {
        // The saved copy holds the old generation again.
        sim::RegistryStore& store = *program.controller().registry();
        ASSERT_TRUE(store.apply(sim::Hive::Saved, generation("old"))) << store.last_error();
        frontend.answers = {IDYES};
    };
    c.start = [] { click(IDC_SAVE_AND_REBOOT); };
    c.check = [&](const std::vector<std::string>& boxes, const std::string& where) {
        const bool succeeded = flush_succeeded(boxes, where);
        const std::string saved = saved_copy_text(program);
        EXPECT_TRUE(saved == g.new_text || (saved == g.old_text && !succeeded))
            << where
            << (saved == g.old_text ? ": the old copy, and success was reported"
                : saved.empty()     ? ": a copy that fails its check"
                                    : ": a mixed copy");
    };
    EXPECT_GE(run_fault_campaign(program, injector, fault, c), GetParam().least_calls);
}

INSTANTIATE_TEST_SUITE_P(EachCall, FlushUnderFaults,
                         ::testing::Values(FlushRow{sim::kSavedCopyFile, &io_error(), 40},
                                           FlushRow{sim::kSavedCopyFile, &disk_full(), 30},
                                           FlushRow{sim::kSavedCopyFile, &short_transfer(), 30},
                                           FlushRow{sim::kLiveCopyFile, &io_error(), 4},
                                           FlushRow{sim::kLiveCopyFile, &short_transfer(), 1}),
                         row_name);

class NewSavedCopyUnderFaults : public ::testing::TestWithParam<const Fault*> {};

// A saved copy that fails its check is written anew beside it and renamed
// over it: afterwards it is the damaged file still, or the whole new copy.
TEST_P(NewSavedCopyUnderFaults, LeavesTheDamagedCopyOrTheWholeNewOne) {
    const Fault& fault = *GetParam();
    ProgramRun program;
    program.open();
    const Generations g = make_generations(program);
    FaultInjector injector;
    injector.watch(sim::kSavedCopyFile);  // the copy, its journal and its new file

    FaultCampaign c;
    c.prepare = [&](TestFrontend& frontend) {
        // A saved copy that fails its check, found when the controller opens.
        program.close();
        write_host_file(program.dir() / sim::kSavedCopyFile, "not a registry copy");
        program.open();
        ASSERT_FALSE(program.controller().registry()->usable(sim::Hive::Saved));
        frontend.answers = {IDYES};
    };
    c.start = [] { click(IDC_SAVE_AND_REBOOT); };
    c.check = [&](const std::vector<std::string>& boxes, const std::string& where) {
        const bool succeeded = flush_succeeded(boxes, where);
        const std::string saved = saved_copy_text(program);
        EXPECT_TRUE(saved == g.new_text || (saved.empty() && !succeeded))
            << where << (saved.empty() ? ": the damaged copy, and success was reported" : ": another copy");
    };
    EXPECT_GE(run_fault_campaign(program, injector, fault, c), fault.error == 0 ? 10 : 15);
}

INSTANTIATE_TEST_SUITE_P(EachCall, NewSavedCopyUnderFaults,
                         ::testing::Values(&io_error(), &disk_full(), &short_transfer()), [](const auto& info) {
                             const int e = info.param->error;
                             return std::string(e == EIO ? "EIO" : e == ENOSPC ? "ENOSPC" : "Short");
                         });

// The controller directory that ReadOnlyController's calls may not change.
std::string g_read_only_dir;

bool in_read_only_dir(const char* path) { return std::string(path).rfind(g_read_only_dir, 0) == 0; }

int refuse(int error) {
    errno = error;
    return -1;
}

// A controller the operator may read but not write (one owned by another
// user): every call that would change a file in it is refused, as the file
// system refuses it. The controller still opens; a factory restore says that
// it erased nothing, the flush fails with its box and the program still ends.
TEST(ReadOnlyController, FailsTheFlushAndTheProgramStillEnds) {
    struct RealCallsAfterwards {
        ~RealCallsAfterwards() { sys::restore_all(); }
    } restore;
    ProgramRun program;
    g_read_only_dir = program.dir().string() + "/";
    sys::table().open.set([](const char* path, int flags, mode_t mode) -> int {
        if (in_read_only_dir(path) && (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC))) return refuse(EACCES);
        return sys::table().open.real(path, flags, mode);
    });
    sys::table().openat.set([](int dir, const char* path, int flags, mode_t mode) -> int {
        if (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) return refuse(EACCES);  // only paths.cpp, in fs/
        return sys::table().openat.real(dir, path, flags, mode);
    });
    sys::table().unlink.set([](const char* path) -> int {
        return in_read_only_dir(path) ? refuse(EACCES) : sys::table().unlink.real(path);
    });
    sys::table().rename.set([](const char* from, const char* to) -> int {
        return in_read_only_dir(from) ? refuse(EACCES) : sys::table().rename.real(from, to);
    });
    program.open();
    TestFrontend frontend;
    frontend.answers = {IDYES, IDOK, IDOK, IDNO, IDYES, IDYES};
    frontend.actions = {[] { click(IDC_FACTORY_RESTORE); }, [] { cancel_sheet(); }};
    EXPECT_EQ(program.run(frontend), 0);
    const std::string factory = "Factory Registry Settings|";
    EXPECT_EQ(frontend.boxes,
              (std::vector<std::string>{
                  factory + "It would recover all your settings to factory default settings, are you sure ?|4",
                  factory + "It would take few seconds to recover, please wait !|0",
                  "Recover to Factory Settings|the registry could not be erased: FlashErase_Reg failed for 16 of its "
                  "16 segments|48",
                  factory + "All settings you changed will take effect after system reboot, reboot now ?|36", kSaveAsk,
                  kProceed, kFlushFailed}));
}

}  // namespace
}  // namespace orva::test
