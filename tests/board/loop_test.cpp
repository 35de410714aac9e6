// The board's image area on a real block device, a loop device over a file
// of the test's: an image written through the Version Update page and read
// back from the device; a mounted device refused before anything is erased;
// a failed sync reported as a failed write; and the write killed at random
// points, after which every write the event log reports done is on the
// device.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "common/syscalls.h"
#include "platform/debug_output.h"
#include "tests/board/test_board.h"
#include "tests/fault/program_run.h"
#include "tests/support/image_bytes.h"
#include "tests/support/loop_device.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kDeviceSize = 29360128;  // the image area of a 256 KiB-segment controller

// `image`'s segment `k` as the device holds it: the bytes, then erased ones.
std::string segment_of(const std::string& image, uint32_t segment, size_t k) {
    std::string out = image.substr(std::min(image.size(), k * segment), segment);
    out.resize(segment, '\xFF');
    return out;
}

class BlockImageWrite : public ::testing::TestWithParam<uint32_t> {};

TEST_P(BlockImageWrite, PutsTheImageOnTheDeviceAsTheSimulatedFlashHoldsIt) {
    const uint32_t segment = GetParam();
    ORVA_NEEDS_LOOP_DEVICES();
    TempDir dir_holder;
    LoopDevice loop(dir_holder.path() / "device", kDeviceSize);
    ASSERT_FALSE(loop.path().empty());
    TestBoard b(loop.path(), segment);
    board::BoardController& c = b.open();
    ASSERT_NE(c.area(), nullptr) << c.flash_error();
    const int32_t area = c.area()->area_bytes();
    EXPECT_EQ(area, 29360128);
    const std::string image = pattern(5 * segment + 12345, 11);

    EXPECT_EQ(write_image_through_page(b, image),
              (std::vector<std::string>{kUpdatePrompt, kUpdateSucceeded, kSaveAsk}));
    for (size_t k = 0; k < 6; ++k)
        EXPECT_TRUE(loop.read(k * segment, segment) == segment_of(image, segment, k)) << "segment " << k;
    EXPECT_EQ(loop.read(6 * uint64_t(segment), 4096), std::string(4096, '\0')) << "beyond the image";
    const int first = segment == 131072 ? 23578 : 0;
    const std::vector<std::string> events = b.events();
    ASSERT_EQ(events.size(), 1u + 16 + 6 + 6);
    EXPECT_EQ(events.front(), "GetFlashSize_Img() -> " + std::to_string(area));
    EXPECT_EQ(events.back(), "FlashWriteString_Img(" + std::to_string(first + 5) + ", 0, 12345) -> 1");
}

INSTANTIATE_TEST_SUITE_P(Segments, BlockImageWrite, ::testing::Values(131072u, 262144u));

TEST(BlockRefusal, AMountedDeviceIsRefusedBeforeAnythingIsErased) {
    ORVA_NEEDS_LOOP_DEVICES();
    TempDir dir_holder;
    LoopDevice loop(dir_holder.path() / "device", kDeviceSize);
    ASSERT_FALSE(loop.path().empty());
    const fs::path mount_point = dir_holder.path() / "mounted";
    ASSERT_TRUE(loop.mount_ext2(mount_point));
    ASSERT_TRUE(run_shell("sync"));
    const std::string before = loop.read(0, kDeviceSize);
    TestBoard b(loop.path());
    board::BoardController& c = b.open();
    ASSERT_NE(c.area(), nullptr) << c.flash_error();

    EXPECT_EQ(write_image_through_page(b, pattern(300000, 2)),
              (std::vector<std::string>{kUpdatePrompt,
                                        "Write File to Flash|" + loop.path() + " is mounted on " +
                                            mount_point.string() + "; nothing was erased|48",
                                        kUpdateFailed, kSaveAsk}));
    EXPECT_TRUE(c.registry()->saved_valid()) << "the registry area was erased";
    EXPECT_TRUE(loop.read(0, kDeviceSize) == before) << "the mounted device was written";
    const std::vector<std::string> events = b.events();
    EXPECT_EQ(events[1], "FlashErase_Reg(0) -> 0");
    EXPECT_EQ(events.back(), "FlashWriteString_Img(0, 0, 262144) -> 0");
}

TEST(BlockFaults, AFailedSyncIsAFailedWrite) {
    ORVA_NEEDS_LOOP_DEVICES();
    TempDir dir_holder;
    LoopDevice loop(dir_holder.path() / "device", kDeviceSize);
    ASSERT_FALSE(loop.path().empty());
    TestBoard b(loop.path());
    b.open();
    sys::table().fdatasync.set([](int) {
        errno = EIO;
        return -1;
    });
    EXPECT_EQ(write_image_through_page(b, pattern(600000, 3)),
              (std::vector<std::string>{kUpdatePrompt, kUpdateFailed, kSaveAsk}));
    sys::table().fdatasync.restore();
    EXPECT_EQ(b.events().back(), "FlashWriteString_Img(2, 0, 75712) -> 0");
}

// The page's write in a child process, killed after `delay` unless it has
// ended by then.
void write_and_kill(TestBoard& b, const std::string& image, std::chrono::microseconds delay) {
    write_host_file(b.fs() / "Storage Card" / "nk.bin", image);
    const pid_t pid = ::fork();
    if (pid == 0) {
        platform::set_debug_echo(false);
        b.open();
        write_image_through_page(b, image);
        ::_exit(0);
    }
    const auto deadline = std::chrono::steady_clock::now() + delay;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

TEST(BlockKills, LeaveEveryWriteReportedDoneOnTheDevice) {
    ORVA_NEEDS_LOOP_DEVICES();
    TempDir dir_holder;
    LoopDevice loop(dir_holder.path() / "device", kDeviceSize);
    ASSERT_FALSE(loop.path().empty());
    TestBoard b(loop.path());
    // How long a whole write takes here, to spread the kills over it.
    const auto start = std::chrono::steady_clock::now();
    write_and_kill(b, pattern(20 * 262144 + 777, 5), std::chrono::seconds(60));
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    std::mt19937 rng(20240611);
    int reported = 0;
    for (int round = 0; round < 8; ++round) {
        b.clear_events();
        const std::string written = pattern(20 * 262144 + 777, 100 + round);
        write_and_kill(b, written, std::chrono::microseconds(rng() % std::max<int64_t>(1, whole.count())));
        for (const std::string& line : b.events()) {
            int s = 0;
            unsigned n = 0;
            if (std::sscanf(line.c_str(), "FlashWriteString_Img(%d, 0, %u) -> 1", &s, &n) != 2) continue;
            ++reported;
            EXPECT_TRUE(loop.read(uint64_t(s) * 262144, 262144) == segment_of(written, 262144, size_t(s)))
                << "round " << round << ": segment " << s << " reported written";
        }
    }
    EXPECT_GT(reported, 0);
}

}  // namespace
}  // namespace orva::test
