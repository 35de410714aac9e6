// CreateProcessW with faults in its own calls: reads that bring part of what
// was asked still start the program; a failing call fails the start with an
// error and leaves no handle behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/handles.h"
#include "platform/wince.h"
#include "tests/fault/fault_injector.h"
#include "tests/platform/controller_fixture.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

class ProcessFaults : public ControllerTest {
protected:
    // An ELF program (the host's true) and a script, both doing nothing.
    void SetUp() override {
        ControllerTest::SetUp();
        fs::copy_file("/bin/true", fs_root / "Windows" / "True.exe");
        put(fs_root / "Windows" / "True.sh", "#!/bin/sh\nexit 0\n");
        fs::permissions(fs_root / "Windows" / "True.sh", fs::perms::owner_exec, fs::perm_options::add);
    }
    // Starts the program; its error, ERROR_SUCCESS when it started.
    DWORD start(const char16_t* path) {
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi))
            return GetLastError();
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return ERROR_SUCCESS;
    }
};

TEST_F(ProcessFaults, EveryReadCutShortStillStartsTheProgram) {
    FaultInjector injector;
    for (const char16_t* path : {u"\\Windows\\True.exe", u"\\Windows\\True.sh"}) {
        for (int nth = 1;; ++nth) {
            injector.arm(short_transfer(), nth);
            const DWORD error = start(path);
            injector.disarm();
            EXPECT_EQ(error, DWORD(ERROR_SUCCESS)) << "read " << nth << " cut short (" << injector.hit() << ")";
            if (!injector.fired()) break;
        }
    }
}

TEST_F(ProcessFaults, AFailingCallFailsTheStartAndLeavesNothingOpen) {
    FaultInjector injector;
    injector.watch("True.exe");
    int failed = 0;
    for (int nth = 1;; ++nth) {
        injector.arm(io_error(), nth);
        const DWORD error = start(u"\\Windows\\True.exe");
        injector.disarm();
        if (!injector.fired()) {
            EXPECT_EQ(error, DWORD(ERROR_SUCCESS));
            break;
        }
        if (error != ERROR_SUCCESS) ++failed;
        EXPECT_EQ(platform::open_handle_count(), 0u) << injector.hit();
    }
    EXPECT_GE(failed, 2);  // the execute check and the header's open and read
}

}  // namespace
}  // namespace orva::test
