// An image write through the Version Update page with a fault at each call
// it makes to the image file, the flash file and the flash's map in turn:
// EIO, ENOSPC, and a read or write that moves only part of its bytes. The
// run reports success only with the whole new image in flash, and otherwise
// ends with "FlashWriteFile failed". Also the page's answer to an image file
// it may not read and to one that reads short.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/syscalls.h"
#include "resources/resource.h"
#include "simulator/flash.h"
#include "tests/fault/fault_injector.h"
#include "tests/fault/program_run.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSegment = 262144;
constexpr int32_t kArea = 29360128;
const std::u16string kImagePath = u"\\Storage Card\\nk.bin";
const std::string kSucceeded = "Update OS image|Update OS image succeed, Reboot now ?|36";
const std::string kFailed = "OS image update|FlashWriteFile failed|48";
const std::string kPrompt =
    "Update OS image|Update OS image now ? It will take several minitues and the old OS image will be overwritten|1";

fs::path image_file(const ProgramRun& p) { return p.fs() / "Storage Card" / "nk.bin"; }

// The first `count` segments as a controller opened afresh reads them.
std::vector<std::string> flash_segments(const ProgramRun& p, int count) {
    std::string error;
    auto flash = sim::NorFlash::open(p.dir() / sim::kFlashFile, kSegment, kArea, &error);
    std::vector<std::string> out;
    if (!flash) {
        ADD_FAILURE() << error;
        return out;
    }
    for (int s = 0; s < count; ++s) {
        std::vector<uint8_t> bytes;
        if (!flash->read(s, bytes)) ADD_FAILURE() << flash->last_error();
        out.emplace_back(bytes.begin(), bytes.end());
    }
    return out;
}

// Segment `s` of `image` as the flash holds it: the bytes, then erased ones.
std::string segment_of(const std::string& image, int s) {
    std::string out = image.substr(std::min(image.size(), size_t(s) * kSegment), kSegment);
    out.resize(kSegment, '\xFF');
    return out;
}

// Puts `image` into the flash through the controller, as an earlier update
// would have.
void put_old_image(ProgramRun& p, const std::string& image, int segments) {
    sim::NorFlash* flash = p.controller().flash();
    ASSERT_NE(flash, nullptr);
    for (int s = 0; s < segments; ++s) {
        ASSERT_TRUE(flash->erase(s)) << flash->last_error();
        const std::string bytes = segment_of(image, s);
        ASSERT_TRUE(flash->program(s, 0, reinterpret_cast<const uint8_t*>(bytes.data()), kSegment))
            << flash->last_error();
    }
}

class ImageWriteUnderFaults : public ::testing::TestWithParam<const Fault*> {};

TEST_P(ImageWriteUnderFaults, SucceedsOnlyWithTheWholeImageInFlashAndOtherwiseSaysItFailed) {
    const Fault& fault = *GetParam();
    ProgramRun program;
    const std::string old_image = pattern(4 * kSegment, 1);
    const std::string new_image = pattern(2 * kSegment + kSegment / 2 + 17, 2);  // three segments, the last partly
    write_host_file(image_file(program), new_image);
    program.open();
    FaultInjector injector;
    for (const char* part : {"nk.bin", sim::kFlashFile}) injector.watch(part);  // flash.img and flash.img.map

    FaultCampaign c;
    c.open_page = [] { select_tab(3); };
    c.prepare = [&](TestFrontend& frontend) {
        put_old_image(program, old_image, 4);
        frontend.answers = {IDOK};
        type_into(IDC_IMAGE_PATH, kImagePath);
    };
    c.start = [] { click(IDC_WRITE_FLASH); };
    c.check = [&](const std::vector<std::string>& boxes, const std::string& where) {
        ASSERT_FALSE(boxes.empty()) << where;
        EXPECT_EQ(boxes.front(), kPrompt) << where;
        const bool succeeded = boxes.back() == kSucceeded;
        EXPECT_TRUE(succeeded || boxes.back() == kFailed) << where << ": " << boxes.back();
        EXPECT_TRUE(succeeded || !where.empty()) << "the run without a fault failed";
        const std::vector<std::string> segments = flash_segments(program, 4);
        ASSERT_EQ(segments.size(), 4u);
        for (int s = 0; succeeded && s < 3; ++s)
            EXPECT_TRUE(segments[size_t(s)] == segment_of(new_image, s)) << where << ": segment " << s;
        EXPECT_TRUE(segments[3] == segment_of(old_image, 3)) << where << ": beyond the image";
    };
    // Every call to the image, the flash and the map was reached.
    EXPECT_GE(run_fault_campaign(program, injector, fault, c), fault.error == ENOSPC ? 6 : 10);
}

INSTANTIATE_TEST_SUITE_P(EachCall, ImageWriteUnderFaults,
                         ::testing::Values(&io_error(), &disk_full(), &short_transfer()), [](const auto& info) {
                             return info.param->error == EIO      ? std::string("EIO")
                                    : info.param->error == ENOSPC ? std::string("ENOSPC")
                                                                  : std::string("Short");
                         });

// The table's entries replaced by a test itself, put back when it ends.
struct RealCallsAfterwards {
    ~RealCallsAfterwards() { sys::restore_all(); }
};

bool is_image(const char* path) {
    const size_t n = std::strlen(path);
    return n >= 7 && std::strcmp(path + n - 7, "/nk.bin") == 0;
}

bool is_image_fd(int fd) {
    char buf[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return false;
    buf[n] = 0;
    return is_image(buf);
}

// The event log's lines.
std::vector<std::string> events(const ProgramRun& p) {
    std::ifstream in(p.dir() / sim::kEventLogFile);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Runs "Write to Flash now" on the image, confirmed; the boxes shown.
std::vector<std::string> write_image(ProgramRun& program, TestFrontend& frontend) {
    frontend.answers = {IDOK};
    frontend.actions = {[] { select_tab(3); },
                        [] {
                            type_into(IDC_IMAGE_PATH, kImagePath);
                            click(IDC_WRITE_FLASH);
                        },
                        [] { cancel_sheet(); }};
    EXPECT_EQ(program.run(frontend), 0);
    EXPECT_FALSE(frontend.ran_out);
    return frontend.boxes;
}

const std::string kSaveAsk = "Save Registry|Save your settings to registry ?|36";

// An image file the operator may not read (as a file of another user's with
// mode 600 is): the open fails, nothing touches the flash.
TEST(ImageFileFaults, AFileThatMayNotBeReadCannotBeOpened) {
    RealCallsAfterwards restore;
    ProgramRun program;
    write_host_file(image_file(program), pattern(1000, 3));
    program.open();
    sys::table().open.set([](const char* path, int flags, mode_t mode) -> int {
        if (is_image(path)) {
            errno = EACCES;
            return -1;
        }
        return sys::table().open.real(path, flags, mode);
    });
    TestFrontend frontend;
    EXPECT_EQ(write_image(program, frontend),
              (std::vector<std::string>{kPrompt, "Write File to Flash|OpenFile error|48", kFailed, kSaveAsk}));
    EXPECT_TRUE(events(program).empty());
}

// A file whose reads bring less than its size promised (one that shrank, or
// a sysfs attribute, which reports 4096 bytes and holds fewer): the run ends
// as a failed write does, after the erase, with nothing written.
TEST(ImageFileFaults, AShortReadEndsTheRunAsAFailedWrite) {
    RealCallsAfterwards restore;
    ProgramRun program;
    write_host_file(image_file(program), pattern(4096, 4));
    program.open();
    put_old_image(program, pattern(kSegment, 5), 1);
    sim::EventLog(program.dir() / sim::kEventLogFile).clear();
    // The file reads as if it ended after 100 bytes.
    sys::table().read.set([](int fd, void* buf, size_t n) -> ssize_t {
        if (!is_image_fd(fd)) return sys::table().read.real(fd, buf, n);
        const off_t at = sys::table().lseek.real(fd, 0, SEEK_CUR);
        if (at < 0 || at >= 100) return 0;
        return sys::table().read.real(fd, buf, std::min(n, size_t(100 - at)));
    });
    TestFrontend frontend;
    EXPECT_EQ(write_image(program, frontend), (std::vector<std::string>{kPrompt, kFailed, kSaveAsk}));
    EXPECT_EQ(frontend.debug, (std::vector<std::u16string>{u"intStartSegNo=0\n\r", u"intEndSegNo=1\n\r"}));
    std::vector<std::string> expected{"GetFlashSize_Img() -> 29360128"};
    for (int i = 0; i < 16; ++i) expected.push_back("FlashErase_Reg(" + std::to_string(i) + ") -> 1");
    expected.push_back("FlashErase_Img(0) -> 1");
    EXPECT_EQ(events(program), expected);
    EXPECT_TRUE(flash_segments(program, 1)[0] == std::string(kSegment, '\xFF'));
}

}  // namespace
}  // namespace orva::test
