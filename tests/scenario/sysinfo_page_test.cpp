// The "System Config" page run through the real program: every field as
// shown, the device library calls in the event log, and the slot 1 module
// answering over a real pseudo-terminal (in the program, or served by
// orva-controller in a process of its own).
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <spawn.h>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

const int kFields[] = {IDC_SLOT1,       IDC_SERIAL_NUMBER, IDC_MAC1,        IDC_MAC2,           IDC_FLASH_SIZE,
                       IDC_EEPROM_SIZE, IDC_OS_VERSION,    IDC_SDK_VERSION, IDC_KERNEL_VERSION, IDC_IMAGE_SIZE};

const std::string kShowAll = [] {
    std::string s = "tab 2\n";
    for (int field : kFields) s += show(field);
    return s + "answer NO\ncancel\n";
}();

// The page's fields as the transcript shows them (escaped), by identifier.
std::map<int, std::string> shown(const RunResult& r) {
    std::map<int, std::string> fields;
    for (const std::string& line : lines(r.out)) {
        if (line.rfind("show ", 0) != 0) continue;
        size_t space = line.find(' ', 5);
        fields[std::stoi(line.substr(5, space - 5))] = line.substr(space + 2, line.size() - space - 3);
    }
    return fields;
}

std::map<int, std::string> show_page(const TempController& c, RunResult* out = nullptr) {
    RunResult r = c.run(kShowAll);
    EXPECT_EQ(r.exit_code, 0) << r.err << r.out;
    if (out) *out = r;
    return shown(r);
}

// The names of the device library calls in the event log, in order.
std::vector<std::string> calls(const TempController& c) {
    std::vector<std::string> names;
    for (const std::string& line : c.log()) names.push_back(line.substr(0, line.find(" -> ")));
    return names;
}

int count(const std::vector<std::string>& items, const std::string& item) {
    return int(std::count(items.begin(), items.end(), item));
}

TEST(SystemConfig, ShowsEveryFieldInOrderFromTheLibraryAndTheModule) {
    TempController c;
    RunResult r;
    auto f = show_page(c, &r);
    EXPECT_EQ(f[IDC_SLOT1], "R-OR5DI");
    EXPECT_EQ(f[IDC_SERIAL_NUMBER], "01  23  45  67  89  AB  CD  EF");
    EXPECT_EQ(f[IDC_MAC1], "02 : 00 : 00 : 00 : 00 : 01");
    EXPECT_EQ(f[IDC_MAC2], "02 : 00 : 00 : 00 : 00 : 02");
    EXPECT_EQ(f[IDC_FLASH_SIZE], "32M bytes");
    EXPECT_EQ(f[IDC_EEPROM_SIZE], "128K bytes");
    EXPECT_EQ(f[IDC_OS_VERSION], "Windows CE 4.20 (Build 1088)");
    EXPECT_EQ(f[IDC_SDK_VERSION], "OrvaSDK 1.07");
    EXPECT_EQ(f[IDC_KERNEL_VERSION], "Orva Kernel K1.0.3");
    EXPECT_EQ(f[IDC_IMAGE_SIZE], "29360128 bytes");
    EXPECT_EQ(r.out.find("debug "), std::string::npos);
    EXPECT_EQ(calls(c), (std::vector<std::string>{"GetNameOfModule(1)", "ChangeSlotToVex(1)", "GetSystemSerialNumber()",
                                                  "ReadMAC(0)", "ReadMAC(1)", "GetFlashSize_Img()", "GetOSversion()",
                                                  "GetSDKversion()", "GetKernelVersion()"}));
}

TEST(SystemConfig, SlotFieldFromWhatTheModuleAnswers) {
    struct Row {
        const char* what;
        std::vector<std::pair<std::string, std::string>> module;  // [module] keys, TOML values
        std::string slot;                                         // escaped as in the transcript
    };
    const Row rows[] = {
        {"no module answers", {{"silent", "true"}}, ""},
        {"a nine-byte reply", {{"reply", R"("!00ABCDE\r")"}}, "R-ABCDE"},
        {"a six-byte reply", {{"reply", R"("!00AB\r")"}}, R"(R-AB\r  )"},
        {"more than nine bytes waiting", {{"reply", R"("!00ABCDEFGHIJ\r")"}}, "R-ABCDE"},
        {"a wrong first byte", {{"reply", R"("?00ABCDE\r")"}}, ""},
        {"a zero byte at position 3", {{"reply", R"("!00\u0000BCDE\r")"}}, ""},
        {"a zero byte at position 4", {{"reply", R"("!00A\u0000CDE\r")"}}, ""},
        {"a zero byte at position 5", {{"reply", R"("!00AB\u0000DE\r")"}}, "R-A    "},
        {"a name of five spaces", {{"name", R"("     ")"}}, ""},
        {"trailing spaces are kept", {{"name", R"("AB   ")"}}, "R-AB   "},
        {"a reply within the bounded wait is heard", {{"delay_ms", "40"}}, "R-OR5DI"},
        {"a reply later than the bounded wait is not", {{"delay_ms", "400"}}, ""},
    };
    for (const Row& row : rows) {
        TempController c;
        for (const auto& [key, value] : row.module) c.set_config("module", key, value);
        auto f = show_page(c);
        EXPECT_EQ(f[IDC_SLOT1], row.slot) << row.what;
        EXPECT_EQ(count(calls(c), "ChangeSlotToVex(1)"), 1) << row.what;
    }
}

TEST(SystemConfig, OnlyTheExactNameFiveThousandAsksTheModule) {
    struct Row {
        std::string model, name, slot;
    };
    for (const Row& row : {Row{"5012", R"("SX12")", "R-5012"}, Row{"5000", R"("50000")", "R-5000"},
                           Row{"5000", R"("500")", "R-5000"}, Row{"4990", R"("5000")", "R-OR5DI"}}) {
        TempController c;
        c.set_config("slot1", "model", row.model);
        c.set_config("slot1", "name", row.name);
        auto f = show_page(c);
        EXPECT_EQ(f[IDC_SLOT1], row.slot) << row.name;
        EXPECT_EQ(count(calls(c), "ChangeSlotToVex(1)"), row.slot == "R-OR5DI" ? 1 : 0) << row.name;
    }
}

TEST(SystemConfig, AnUnopenablePortStillSwitchesTheSlotOnce) {
    TempController c;
    c.set_config("serial", "COM0", R"("/nonexistent/ttyS9")");
    auto f = show_page(c);
    EXPECT_EQ(f[IDC_SLOT1], "");
    EXPECT_EQ(count(calls(c), "ChangeSlotToVex(1)"), 1);
    EXPECT_EQ(f[IDC_SERIAL_NUMBER], "01  23  45  67  89  AB  CD  EF");
}

// `orva-controller -C DIR module serve` in the background, stopped with SIGTERM.
class ServedModule {
public:
    explicit ServedModule(const TempController& module_controller) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string tool = controller_tool_path(), dir = module_controller.dir().string();
        std::vector<char*> argv = {
            tool.data(), const_cast<char*>("-C"), dir.data(), const_cast<char*>("module"), const_cast<char*>("serve"),
            nullptr};
        if (posix_spawn(&m_pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        char ch;
        while (read(out[0], &ch, 1) == 1 && ch != '\n') m_path += ch;
        close(out[0]);
    }
    ~ServedModule() {
        if (m_pid > 0) stop();
    }
    // SIGTERM, then the exit status.
    int stop() {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    const std::string& path() const { return m_path; }

private:
    pid_t m_pid = -1;
    std::string m_path;
};

TEST(SystemConfig, TalksToAModuleServedByAnotherProcess) {
    TempController module_dir;
    module_dir.set_config("module", "name", R"("XY123")");
    ServedModule served(module_dir);
    ASSERT_EQ(served.path().rfind("/dev/", 0), 0u) << served.path();
    TempController c;
    c.set_config("serial", "COM0", "\"" + served.path() + "\"");
    EXPECT_EQ(show_page(c)[IDC_SLOT1], "R-XY123");
    EXPECT_EQ(show_page(c)[IDC_SLOT1], "R-XY123") << "the port was not given back";
    EXPECT_EQ(served.stop(), 0);
}

TEST(SystemConfig, APortHeldByAnotherProcessLeavesTheSlotEmpty) {
    TempController module_dir;
    ServedModule served(module_dir);
    ASSERT_FALSE(served.path().empty());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open(served.path().c_str(), O_RDWR | O_NOCTTY);
        if (fd >= 0 && flock(fd, LOCK_EX) == 0 && write(ready[1], "x", 1) == 1) pause();
        _exit(1);
    }
    close(ready[1]);
    char ch = 0;
    ASSERT_EQ(read(ready[0], &ch, 1), 1);
    close(ready[0]);
    TempController c;
    c.set_config("serial", "COM0", "\"" + served.path() + "\"");
    auto f = show_page(c);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(f[IDC_SLOT1], "");
    EXPECT_EQ(count(calls(c), "ChangeSlotToVex(1)"), 1);
}

TEST(SystemConfig, SerialNumberRetriesAtMostTenTimes) {
    struct Row {
        const char* failures;
        int calls, lines;
        std::string field;
    };
    for (const Row& row :
         {Row{"0", 1, 0, "01  23  45  67  89  AB  CD  EF"}, Row{"1", 3, 1, "01  23  45  67  89  AB  CD  EF"},
          Row{"2", 3, 1, "01  23  45  67  89  AB  CD  EF"}, Row{"3", 5, 2, "01  23  45  67  89  AB  CD  EF"},
          Row{"1000", 21, 10, "00  00  00  00  00  00  00  00"}}) {
        TempController c;
        c.set_config("faults", "serial_number_failures", row.failures);
        RunResult r;
        auto f = show_page(c, &r);
        EXPECT_EQ(f[IDC_SERIAL_NUMBER], row.field) << row.failures;
        EXPECT_EQ(count(calls(c), "GetSystemSerialNumber()"), row.calls) << row.failures;
        EXPECT_EQ(count(lines(r.out), R"(debug "Serial Number Error\r\n")"), row.lines) << row.failures;
        // The kernel version follows in the same buffer; it is unaffected.
        EXPECT_EQ(f[IDC_KERNEL_VERSION], "Orva Kernel K1.0.3") << row.failures;
    }
}

TEST(SystemConfig, MacValuesAboveTwoFiftyFiveShowAllTheirDigits) {
    TempController c;
    c.set_config("identity", "mac", "[[256, 1, 2, 3, 4, 4095], [0, 0, 0, 0, 0, 4294967295]]");
    auto f = show_page(c);
    EXPECT_EQ(f[IDC_MAC1], "100 : 01 : 02 : 03 : 04 : FFF");
    EXPECT_EQ(f[IDC_MAC2], "00 : 00 : 00 : 00 : 00 : FFFFFFFF");
}

TEST(SystemConfig, FlashSizeFollowsTheSegmentSizeAndTheImageSizeIsSigned) {
    struct Row {
        const char* segment;
        const char* image;
        std::string flash, image_text;
    };
    for (const Row& row :
         {Row{"131072", "14680064", "16M bytes", "14680064 bytes"},
          Row{"262144", "29360128", "32M bytes", "29360128 bytes"}, Row{"0", "-5", "Unknown", "-5 bytes"},
          Row{"65536", "-2147483648", "Unknown", "-2147483648 bytes"}}) {
        TempController c;
        c.set_config("flash", "segment_size", row.segment);
        c.set_config("flash", "image_area_size", row.image);
        auto f = show_page(c);
        EXPECT_EQ(f[IDC_FLASH_SIZE], row.flash) << row.segment;
        EXPECT_EQ(f[IDC_IMAGE_SIZE], row.image_text) << row.image;
        EXPECT_EQ(f[IDC_EEPROM_SIZE], "128K bytes");
    }
}

TEST(SystemConfig, KernelVersionBytesShowAsTheCharactersOfTheSameCode) {
    TempController c;
    c.set_config("identity", "kernel_version", R"("\u00e9\u00ff1.0 ")");
    EXPECT_EQ(show_page(c)[IDC_KERNEL_VERSION],
              "Orva Kernel \xC3\xA9\xC3\xBF"
              "1.0 ");
}

}  // namespace
}  // namespace orva::test
