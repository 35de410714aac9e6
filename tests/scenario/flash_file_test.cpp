// The controller's flash file as the real programs meet it: one that is
// missing, is not a usable file or has lost its map fails the flash and
// nothing else, and is never made anew behind the operator's back; one cut
// short is padded and said so; and an image update killed with SIGKILL at any point leaves
// every segment old, erased or new, in the order the update goes.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/scenario/harness.h"

extern char** environ;

namespace orva::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t k256K = 262144;
constexpr size_t kHeader = 4096;  // the flash file's header

// The script of an update from "\Storage Card\NAME", its reboot offer and
// the exit prompt answered No.
std::string update_of(const std::string& name) {
    return "tab 4\n" + type(IDC_IMAGE_PATH, "\\Storage Card\\" + name) + "answer OK NO NO\n" + click(IDC_WRITE_FLASH) +
           "cancel\n";
}

const std::string kUpdate = update_of("nk.bin");

std::string pattern(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    uint32_t x = seed * 2654435761u + 12345u;
    for (auto& ch : out) {
        x = x * 1103515245u + 12345u;
        ch = char(x >> 23);
    }
    return out;
}

void write_image(const TempController& c, const std::string& bytes) {
    std::ofstream(c.fs() / "Storage Card" / "nk.bin", std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> flash_calls(const TempController& c) {
    std::vector<std::string> out;
    for (auto& line : c.log())
        if (line.rfind("Flash", 0) == 0 || line.rfind("GetFlashSize_Img", 0) == 0) out.push_back(line);
    return out;
}

struct BrokenRow {
    const char* name;
    std::function<void(const fs::path&)> make;  // given the flash file
    const char* file;                           // the file the message names
    const char* says;
};

void PrintTo(const BrokenRow& row, std::ostream* os) { *os << row.name; }

class BrokenFlashFile : public ::testing::TestWithParam<BrokenRow> {};

TEST_P(BrokenFlashFile, FailsTheFlashOnlyAndTheRegistryStaysReachable) {
    TempController c;
    const fs::path flash = c.dir() / "flash.img";
    GetParam().make(flash);
    const std::string why = (c.dir() / GetParam().file).string() + ": " + GetParam().says;

    RunResult saved = c.tool({"reg", "--saved", "export", "--utf8"});
    EXPECT_EQ(saved.exit_code, 0) << saved.err;
    EXPECT_NE(saved.out.find("[HKEY_LOCAL_MACHINE\\Drivers\\Display\\MQ200]"), std::string::npos) << saved.out;
    RunResult state = c.tool({"flash", "state"});
    EXPECT_EQ(state.exit_code, 1);
    EXPECT_EQ(state.err, "orva-controller: " + why + "\n");

    // The update stops before erasing anything, the registry area included;
    // System Config shows no flash sizes; the reason is given once.
    write_image(c, pattern(1000, 1));
    c.clear_log();
    RunResult r = c.run("tab 2\n" + show(IDC_FLASH_SIZE) + show(IDC_IMAGE_SIZE) + kUpdate);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("show " + id(IDC_FLASH_SIZE) + " \"Unknown\"\nshow " + id(IDC_IMAGE_SIZE) + " \"0 bytes\"\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"Write File to Flash\" \"Flash Size Unknown\" 0x30 -> OK\n"
                         "box \"Version Update\" \"OS image update\" \"FlashWriteFile failed\" 0x30 -> OK\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.err, "orva-utility: " + why + "\n");
    EXPECT_EQ(flash_calls(c), (std::vector<std::string>{"GetFlashSize_Img() -> 0", "GetFlashSize_Img() -> 0"}));
    EXPECT_EQ(c.reg_get("Drivers\\Display\\MQ200", "CxScreen"), "REG_DWORD 4 640");
    // Nothing made a new flash file in its place.
    EXPECT_EQ(fs::exists(fs::symlink_status(flash)), GetParam().name != std::string("Missing"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenFlashFile,
    ::testing::Values(
        BrokenRow{"Missing", [](const fs::path& p) { fs::remove(p); }, "flash.img",
                  "cannot open the flash file: No such file or directory (orva-controller flash reset makes a new, "
                  "erased flash)"},
        BrokenRow{"Directory",
                  [](const fs::path& p) {
                      fs::remove(p);
                      fs::create_directory(p);
                  },
                  "flash.img", "cannot open the flash file: is a directory"},
        BrokenRow{"Fifo",
                  [](const fs::path& p) {
                      fs::remove(p);
                      ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0);
                  },
                  "flash.img", "cannot open the flash file: is a FIFO"},
        BrokenRow{"SymbolicLinkLoop",
                  [](const fs::path& p) {
                      fs::remove(p);
                      fs::create_symlink(p.filename(), p);
                  },
                  "flash.img", "cannot open the flash file: Too many levels of symbolic links"},
        BrokenRow{"MapMissing", [](const fs::path& p) { fs::remove(p.string() + ".map"); }, "flash.img.map",
                  "missing: the flash file cannot be read without it (orva-controller flash reset makes a new, erased "
                  "flash)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShortFlashFile, IsPaddedAsErasedAndSaysSoOnceWithTheSizes) {
    TempController c;
    const std::string image = pattern(2 * k256K, 2);
    write_image(c, image);
    ASSERT_EQ(c.run(kUpdate).exit_code, 0);
    c.clear_log();
    fs::resize_file(c.dir() / "flash.img", kHeader + 300000);

    const std::string notice = (c.dir() / "flash.img").string() +
                               ": 300000 bytes, shorter than the image area of 29360128 bytes: the missing 29060128 "
                               "bytes were added as erased";
    RunResult r = c.run("answer NO\ncancel\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "orva-utility: " + notice + "\n");
    RunResult read = c.tool({"flash", "read", "0", "2"});
    EXPECT_EQ(read.err, "");
    EXPECT_TRUE(read.out == image.substr(0, 300000) + std::string(2 * k256K - 300000, '\xFF'));
    EXPECT_EQ(c.log(), std::vector<std::string>{notice});
    EXPECT_EQ(fs::file_size(c.dir() / "flash.img"), kHeader + 29360128u);
}

// Starts orva-utility on the update script; stdout and stderr are dropped.
pid_t start_update(const TempController& c, const fs::path& script) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> argv{utility_path(), "--controller", c.dir().string(),
                                  "--frontend",   "script",       script.string()};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Each segment's state: O old, E erased, N new, ? anything else.
std::string segment_states(const TempController& c, const std::string& old_image, const std::string& image, size_t n) {
    RunResult r = c.tool({"flash", "read", "0", std::to_string(n)});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::string out;
    for (size_t s = 0; s < n && r.out.size() == n * k256K; ++s) {
        const std::string seg = r.out.substr(s * k256K, k256K);
        out += seg == old_image.substr(s * k256K, k256K) ? 'O'
               : seg == std::string(k256K, '\xFF')       ? 'E'
               : seg == image.substr(s * k256K, k256K)   ? 'N'
                                                         : '?';
    }
    return out;
}

// How many image segments the event log shows erased and written so far.
size_t image_calls(const fs::path& log) {
    std::ifstream in(log);
    size_t n = 0;
    for (std::string line; std::getline(in, line);)
        n += line.rfind("FlashErase_Img", 0) == 0 || line.rfind("FlashWriteString_Img", 0) == 0;
    return n;
}

TEST(KilledUpdate, LeavesEverySegmentOldErasedOrNewInTheOrderOfTheUpdate) {
    constexpr size_t n = 32;
    TempController c;
    const std::string old_image = pattern(n * k256K, 3), image = pattern(n * k256K, 4);
    std::ofstream(c.fs() / "Storage Card" / "old.bin", std::ios::binary) << old_image;
    write_image(c, image);
    const fs::path old_script = c.dir().parent_path() / "old.script", script = c.dir().parent_path() / "new.script";
    std::ofstream(old_script) << update_of("old.bin");
    std::ofstream(script) << update_of("nk.bin");
    auto run_whole = [&](const fs::path& which) {
        pid_t pid = start_update(c, which);
        int status = 0;
        ASSERT_GT(pid, 0);
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    };
    // Killed as soon as the event log shows the k-th of the 2n image calls
    // (the program runs on a little before the kill lands).
    int inside = 0;
    for (size_t k : {size_t(1), n - 1, n + 1, n + n / 2, 2 * n - 1}) {
        run_whole(old_script);
        ASSERT_EQ(segment_states(c, old_image, image, n), std::string(n, 'O'));
        c.clear_log();
        pid_t pid = start_update(c, script);
        ASSERT_GT(pid, 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (image_calls(c.dir() / "events.log") < k && std::chrono::steady_clock::now() < deadline) {}
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        const std::string states = segment_states(c, old_image, image, n);
        // The erase pass goes first, then the write pass, segment by segment.
        const size_t erased = states.find_first_not_of('E');
        const bool erasing =
            states.find_first_not_of('O', erased == std::string::npos ? n : erased) == std::string::npos;
        const size_t written = states.find_first_not_of('N');
        const bool writing =
            written == std::string::npos || states.find_first_not_of('E', written) == std::string::npos;
        EXPECT_TRUE(erasing || writing) << "killed after " << k << " image calls: " << states;
        inside += states != std::string(n, 'N');
    }
    EXPECT_GT(inside, 0);
    // And the next update writes the whole image.
    run_whole(script);
    EXPECT_EQ(segment_states(c, old_image, image, n), std::string(n, 'N'));
}

}  // namespace
}  // namespace orva::test
