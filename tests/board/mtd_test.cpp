// The board's image area on an MTD partition, against the MTD device double:
// an image written through the Version Update page on NOR and on NAND with a
// bad block, read back as the device holds it; each refusal before anything
// is erased; an uncorrectable read-back; and the image write with a fault at
// each call it makes to the device in turn.
#include <gtest/gtest.h>

#include "board/board_controller.h"
#include "resources/resource.h"
#include "tests/board/test_board.h"
#include "tests/fault/fault_injector.h"
#include "tests/fault/program_run.h"
#include "tests/support/image_bytes.h"
#include "tests/support/mtd_double.h"

namespace orva::test {
namespace {

constexpr int kIndex = 57;  // /dev/mtd57: a number no machine running the tests has

struct Geometry {
    const char* name;
    MtdGeometry mtd;
    uint32_t segment;
};

void PrintTo(const Geometry& g, std::ostream* os) { *os << g.name; }

const Geometry kNor{"Nor", {3, 8 << 20, 65536, 1, true, {}}, 262144};
// 128 KiB blocks of 2 KiB pages; block 1 bad, so segment 23579 lies on
// block 2.
const Geometry kNand{"NandWithABadBlock", {4, 16 << 20, 131072, 2048, true, {1}}, 131072};

// The device's bytes that segment `k` of the image area lies on.
std::string segment_on_device(const std::vector<uint8_t>& device, const Geometry& g, int k) {
    std::vector<uint32_t> good;
    for (uint32_t b = 0; b < g.mtd.size / g.mtd.erasesize; ++b)
        if (!g.mtd.bad_blocks.count(b)) good.push_back(b);
    std::string out;
    const uint32_t per = g.segment / g.mtd.erasesize;
    for (uint32_t i = 0; i < per; ++i) {
        const size_t at = size_t(good[size_t(k) * per + i]) * g.mtd.erasesize;
        out.append(device.begin() + std::ptrdiff_t(at), device.begin() + std::ptrdiff_t(at + g.mtd.erasesize));
    }
    return out;
}

std::string segment_of(const std::string& image, uint32_t segment, int k) {
    std::string out = image.substr(std::min(image.size(), size_t(k) * segment), segment);
    out.resize(segment, '\xFF');
    return out;
}

struct MtdBoard {
    explicit MtdBoard(const Geometry& g, const std::string& device = "mtd:orva-image")
        : board(device, g.segment), mtd(kIndex, "orva-image", g.mtd, board.dir() / "mtd57.flash") {}
    TestBoard board;
    MtdDouble mtd;
};

class MtdImageWrite : public ::testing::TestWithParam<Geometry> {};

TEST_P(MtdImageWrite, WritesEachSegmentOnItsBlocksAndLeavesTheRestAlone) {
    const Geometry& g = GetParam();
    MtdBoard b(g);
    board::BoardController& c = b.board.open();
    // An older image of four segments, as an earlier update left it.
    const std::string old_image = pattern(4 * g.segment, 7);
    board::ImageArea* area = c.area();
    ASSERT_NE(area, nullptr) << c.flash_error();
    for (int k = 0; k < 4; ++k) {
        const int64_t s = area->first_segment() + k;
        ASSERT_TRUE(
            area->erase(s) &&
            area->program(s, 0, reinterpret_cast<const uint8_t*>(old_image.data()) + size_t(k) * g.segment, g.segment))
            << area->last_error();
    }
    b.board.clear_events();
    const std::string image = pattern(2 * g.segment + g.segment / 2 + 3, 8);

    EXPECT_EQ(write_image_through_page(b.board, image),
              (std::vector<std::string>{kUpdatePrompt, kUpdateSucceeded, kSaveAsk}));
    const std::vector<uint8_t> device = b.mtd.contents();
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(segment_on_device(device, g, k) == segment_of(image, g.segment, k)) << "segment " << k;
    EXPECT_TRUE(segment_on_device(device, g, 3) == segment_of(old_image, g.segment, 3)) << "beyond the image";
    // The device calls, in the simulated controller's words.
    const int first = g.segment == 131072 ? 23578 : 0;
    std::vector<std::string> expected{"GetFlashSize_Img() -> " + std::to_string(area->area_bytes())};
    for (int k = 0; k < 16; ++k) expected.push_back("FlashErase_Reg(" + std::to_string(k) + ") -> 1");
    for (int k = 0; k < 3; ++k) expected.push_back("FlashErase_Img(" + std::to_string(first + k) + ") -> 1");
    for (int k = 0; k < 3; ++k)
        expected.push_back("FlashWriteString_Img(" + std::to_string(first + k) + ", 0, " +
                           std::to_string(k < 2 ? g.segment : g.segment / 2 + 3) + ") -> 1");
    EXPECT_EQ(b.board.events(), expected);
}

INSTANTIATE_TEST_SUITE_P(Geometries, MtdImageWrite, ::testing::Values(kNor, kNand),
                         [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
    const char* name;
    const char* mountinfo;  // served for /proc/self/mountinfo ("" for the real one)
    const char* renamed;    // what /proc/mtd then calls the device ("" for no change)
    const char* text;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class MtdRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(MtdRefusal, IsABoxNamingTheDeviceBeforeAnythingIsErased) {
    const Refusal& r = GetParam();
    MtdBoard b(kNor);
    board::BoardController& c = b.board.open();
    if (*r.mountinfo) b.mtd.set_mountinfo(std::string(r.mountinfo));
    if (*r.renamed) b.mtd.rename(r.renamed);
    EXPECT_EQ(write_image_through_page(b.board, pattern(300000, 9)),
              (std::vector<std::string>{kUpdatePrompt, std::string("Write File to Flash|") + r.text + "|48",
                                        kUpdateFailed, kSaveAsk}));
    EXPECT_EQ(b.mtd.erases(), 0);
    EXPECT_EQ(b.mtd.writes(), 0);
    EXPECT_TRUE(c.registry()->saved_valid()) << "the registry area was erased";
}

INSTANTIATE_TEST_SUITE_P(
    EachCheck, MtdRefusal,
    ::testing::Values(
        Refusal{"MountedThroughItsBlockDevice", "30 1 31:57 / /mnt/image rw - jffs2 /dev/mtdblock57 rw\n", "",
                "/dev/mtd57 is mounted on /mnt/image; nothing was erased"},
        Refusal{"MountedByName", "30 1 0:40 / /mnt/image rw - jffs2 mtd:orva-image rw\n", "",
                "/dev/mtd57 is mounted on /mnt/image; nothing was erased"},
        Refusal{"HoldingTheRootFilesystem", "1 0 31:57 / / rw - jffs2 /dev/mtdblock57 rw\n", "",
                "/dev/mtd57 holds the running root filesystem; nothing was erased"},
        Refusal{"RenamedSinceItWasOpened", "", "spare",
                "/dev/mtd57 is not the device board.toml names: /proc/mtd names no MTD device \"orva-image\"; "
                "nothing was erased"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MtdGeometryChecks, EraseBlocksLargerThanASegmentGiveNoFlashSize) {
    Geometry g = kNand;
    g.mtd.erasesize = 262144;  // a segment of 128 KiB would be half a block
    MtdBoard b(g);
    board::BoardController& c = b.board.open();
    EXPECT_EQ(c.area(), nullptr);
    EXPECT_NE(c.flash_error().find("its erase blocks do not divide a segment (erase blocks of 262144 bytes"),
              std::string::npos)
        << c.flash_error();
    EXPECT_EQ(write_image_through_page(b.board, pattern(1000, 1)),
              (std::vector<std::string>{kUpdatePrompt, "Write File to Flash|Flash Size Unknown|48", kUpdateFailed,
                                        kSaveAsk}));
    EXPECT_EQ(b.mtd.erases(), 0);
}

// The image area is the partition: an image larger than it is refused by
// the page before anything is erased.
TEST(MtdGeometryChecks, APartitionSmallerThanTheImageIsRefusedBeforeAnyErase) {
    MtdBoard b(kNor);
    board::BoardController& c = b.board.open();
    EXPECT_EQ(write_image_through_page(b.board, pattern((8 << 20) + 1, 4)),
              (std::vector<std::string>{kUpdatePrompt, "Write File to Flash|Image file is larger than flash|48",
                                        kUpdateFailed, kSaveAsk}));
    EXPECT_EQ(b.mtd.erases(), 0);
    EXPECT_TRUE(c.registry()->saved_valid()) << "the registry area was erased";
}

TEST(MtdReadBack, AnUncorrectableErrorFailsTheWrite) {
    MtdBoard b(kNand);
    b.board.open();
    b.mtd.fail_ecc(2);  // the block the second segment lies on
    EXPECT_EQ(write_image_through_page(b.board, pattern(2 * kNand.segment, 3)),
              (std::vector<std::string>{kUpdatePrompt, kUpdateFailed, kSaveAsk}));
    EXPECT_EQ(b.board.events().back(), "FlashWriteString_Img(23579, 0, 131072) -> 0");
}

// The image write with EIO (MTD ioctls included) or a short transfer at each
// call to the device and the image file in turn: success only with the whole
// image on the device, otherwise "FlashWriteFile failed".
class MtdUnderFaults : public ::testing::TestWithParam<const Fault*> {};

TEST_P(MtdUnderFaults, SucceedsOnlyWithTheWholeImageOnTheDevice) {
    Fault fault = *GetParam();
    if (fault.error == EIO) fault.calls.insert("ioctl");
    MtdBoard b(kNor);
    board::BoardController& c = b.board.open();
    const std::string image = pattern(2 * kNor.segment + 1000, 4);
    write_host_file(b.board.fs() / "Storage Card" / "nk.bin", image);
    FaultInjector injector;
    for (const char* part : {"nk.bin", "mtd57"}) injector.watch(part);

    FaultCampaign campaign;
    campaign.open_page = [] { select_tab(3); };
    campaign.prepare = [&](TestFrontend& frontend) {
        // Old data everywhere the image goes: a write that does not reach a
        // segment leaves it different from the image.
        board::ImageArea* area = c.area();
        const std::string old_image = pattern(3 * kNor.segment, 5);
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(area->erase(k) &&
                        area->program(k, 0,
                                      reinterpret_cast<const uint8_t*>(old_image.data()) + size_t(k) * kNor.segment,
                                      kNor.segment))
                << area->last_error();
        frontend.answers = {IDOK, IDNO};
        type_into(IDC_IMAGE_PATH, u"\\Storage Card\\nk.bin");
    };
    campaign.start = [] { click(IDC_WRITE_FLASH); };
    campaign.check = [&](const std::vector<std::string>& boxes, const std::string& where) {
        ASSERT_FALSE(boxes.empty()) << where;
        const bool succeeded = boxes.back() == kUpdateSucceeded;
        EXPECT_TRUE(succeeded || boxes.back() == kUpdateFailed) << where << ": " << boxes.back();
        EXPECT_TRUE(succeeded || !where.empty()) << "the run without a fault failed";
        if (!succeeded) return;
        const std::vector<uint8_t> device = b.mtd.contents();
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(segment_on_device(device, kNor, k) == segment_of(image, kNor.segment, k))
                << where << ": segment " << k << " reported written";
    };
    EXPECT_GE(run_fault_campaign(injector, fault, campaign), 6);
}

INSTANTIATE_TEST_SUITE_P(EachCall, MtdUnderFaults, ::testing::Values(&io_error(), &short_transfer()),
                         [](const auto& info) { return info.param->error == EIO ? "EIO" : "Short"; });

}  // namespace
}  // namespace orva::test
