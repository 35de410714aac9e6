// CreateProcessW, ResumeThread and Sleep on a real controller's file system:
// programs start only when resumed, with no shell, no inherited descriptors
// and no zombie left behind; failures carry Windows errors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/handles.h"
#include "platform/wince.h"
#include "simulator/sim_controller.h"
#include "tests/platform/controller_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Process : public orva::test::ControllerTest {
protected:
    // A program at fs/Windows/NAME with `body`, mode `mode`.
    void program(const std::string& name, const std::string& body, mode_t mode = 0755) {
        const fs::path p = fs_root / "Windows" / name;
        std::ofstream(p) << body;
        ::chmod(p.c_str(), mode);
    }
    // Waits up to five seconds for fs/Temp/NAME and returns its text.
    std::string wait_for(const std::string& name) {
        const fs::path p = fs_root / "Temp" / name;
        for (int i = 0; i < 100 && !fs::exists(p); ++i) std::this_thread::sleep_for(50ms);
        std::this_thread::sleep_for(50ms);
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

// The script writes its marker with a temporary name first, so a marker
// that exists is whole.
const char* const kMarker =
    "#!/bin/sh\ncd \"$(dirname \"$0\")/../Temp\" || exit 1\n"
    "text=\"args $# [$1]\n$(readlink /proc/$$/fd/0)\n$(readlink /proc/$$/fd/1)\n$(readlink /proc/$$/fd/2)\"\n"
    "for fd in /proc/$$/fd/*; do\n"
    "  [ \"${fd##*/}\" -gt 2 ] && [ \"$(readlink \"$fd\")\" = \"$LEAK\" ] && text=\"$text\nleak\"\n"
    "done\n"
    "printf '%b\\n' \"$text\" > marker.new; mv marker.new marker\n";

TEST_F(Process, ASuspendedProgramStartsOnlyWhenItsThreadIdIsResumed) {
    program("Marker.exe", kMarker);
    const size_t handles = orva::platform::open_handle_count();
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessW(u"\\windows\\marker.exe", nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, nullptr, &pi))
        << GetLastError();
    EXPECT_NE(pi.hProcess, pi.hThread);
    EXPECT_EQ(pi.dwThreadId, pi.dwProcessId);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(fs::exists(fs_root / "Temp" / "marker")) << "ran before ResumeThread";
    EXPECT_EQ(ResumeThread(reinterpret_cast<HANDLE>(uintptr_t(pi.dwThreadId))), 1u);
    EXPECT_EQ(ResumeThread(pi.hThread), 0u);
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_EQ(orva::platform::open_handle_count(), handles);
    EXPECT_EQ(wait_for("marker"), "args 0 []\n/dev/null\n/dev/null\n/dev/null\n");
    SetLastError(0);
    EXPECT_EQ(ResumeThread(reinterpret_cast<HANDLE>(uintptr_t(pi.dwThreadId))), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(Process, TheProgramInheritsNoDescriptorAndGetsTheCommandLineAsOneArgument) {
    program("Marker.exe", kMarker);
    const fs::path leaked = root / "leaked-file";
    int fd = ::open(leaked.c_str(), O_CREAT | O_WRONLY, 0644);  // no O_CLOEXEC on purpose
    ASSERT_GE(fd, 0);
    ::setenv("LEAK", leaked.c_str(), 1);
    PROCESS_INFORMATION pi;
    char16_t args[] = u"two words";
    ASSERT_TRUE(
        CreateProcessW(u"\\Windows\\Marker.exe", args, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_EQ(ResumeThread(pi.hThread), 0u) << "a program started without CREATE_SUSPENDED runs at once";
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(wait_for("marker"), "args 1 [two words]\n/dev/null\n/dev/null\n/dev/null\n");
    ::close(fd);
    ::unsetenv("LEAK");
}

// The program is no child of the caller: nothing is left to reap, not even
// when both handles are closed without resuming (the program then never runs).
TEST_F(Process, NoZombieIsLeftAndAnUnresumedProgramNeverRuns) {
    program("Marker.exe", kMarker);
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessW(u"\\Windows\\Marker.exe", nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, nullptr, &pi));
    const pid_t pid = pid_t(pi.dwProcessId);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        gone = line.empty() || line.find(") Z ") != std::string::npos;
        if (!gone) std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(gone) << "the waiting program did not end";
    EXPECT_FALSE(fs::exists(fs_root / "Temp" / "marker"));
    int status = 0;
    errno = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    ASSERT_TRUE(
        CreateProcessW(u"\\Windows\\Marker.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    wait_for("marker");
    std::this_thread::sleep_for(100ms);
    errno = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(Process, ProgramsThatCannotStartFailWithWindowsErrors) {
    program("Text.exe", "just text\n");
    program("NoExec.exe", "#!/bin/sh\nexit 0\n", 0644);
    fs::create_directories(fs_root / "Windows" / "Folder.exe");
    struct Row {
        const char16_t* path;
        DWORD error;
    };
    const Row rows[] = {
        {u"\\Windows\\Missing.exe", ERROR_FILE_NOT_FOUND},
        {u"\\Nowhere\\RegView.exe", ERROR_PATH_NOT_FOUND},
        {u"", ERROR_PATH_NOT_FOUND},
        {u"\\Windows\\Folder.exe", ERROR_ACCESS_DENIED},
        {u"\\Windows\\NoExec.exe", ERROR_ACCESS_DENIED},
        {u"\\..\\..\\..\\bin\\true", ERROR_ACCESS_DENIED},
        {u"\\Windows\\Text.exe", ERROR_BAD_EXE_FORMAT},
    };
    const size_t handles = orva::platform::open_handle_count();
    for (const Row& row : rows) {
        PROCESS_INFORMATION pi;
        std::memset(&pi, 0xEF, sizeof pi);
        SetLastError(0);
        EXPECT_FALSE(CreateProcessW(row.path, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                                    nullptr, &pi));
        EXPECT_EQ(GetLastError(), row.error) << row.error;
        EXPECT_EQ(reinterpret_cast<const BYTE*>(&pi)[0], 0xEF);
    }
    EXPECT_EQ(orva::platform::open_handle_count(), handles);
}

TEST_F(Process, AnExecThatFailsIsReportedByCreateOrByResume) {
    program("BadInterp.exe", "#!/nonexistent/interpreter\n");
    PROCESS_INFORMATION pi;
    SetLastError(0);
    EXPECT_FALSE(CreateProcessW(u"\\Windows\\BadInterp.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                nullptr, &pi));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(CreateProcessW(u"\\Windows\\BadInterp.exe", nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, nullptr, &pi));
    EXPECT_EQ(ResumeThread(pi.hThread), 1u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

TEST(Sleep, WaitsAtLeastTheTimeAsked) {
    auto start = std::chrono::steady_clock::now();
    Sleep(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
}

}  // namespace
