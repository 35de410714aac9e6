// NOR flash in a sparse file: erase to 0xFF, programming that only clears
// bits, read-back verification and the segment numbers of the image area.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "simulator/flash.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

constexpr uint32_t kSmall = 131072;
constexpr uint32_t kLarge = 262144;

std::unique_ptr<NorFlash> open_flash(const test::TempDir& dir, uint32_t seg, int32_t area) {
    std::string error;
    auto f = NorFlash::open(dir / "flash.img", seg, area, &error);
    EXPECT_TRUE(f) << error;
    return f;
}

TEST(Flash, SegmentNumbersOfTheImageArea) {
    test::TempDir dir;
    auto small = open_flash(dir, kSmall, 4 * kSmall + 5);
    EXPECT_EQ(small->first_segment(), 23578);
    EXPECT_EQ(small->segment_count(), 4);
    EXPECT_FALSE(small->valid_segment(23577));
    EXPECT_TRUE(small->valid_segment(23581));
    EXPECT_FALSE(small->valid_segment(23582));
    EXPECT_FALSE(small->erase(0));

    test::TempDir dir2;
    auto large = open_flash(dir2, kLarge, 2 * kLarge);
    EXPECT_TRUE(large->valid_segment(0));
    EXPECT_FALSE(large->valid_segment(2));
    EXPECT_FALSE(large->valid_segment(-1));
    std::vector<uint8_t> one(1, 0);
    EXPECT_FALSE(large->program(23578, 0, one.data(), 1));

    for (auto [seg, area] : {std::pair<uint32_t, int32_t>{65536, 1 << 24}, {0, 1 << 24}, {kLarge, -kLarge}, {kLarge, 0}}) {
        test::TempDir d;
        auto f = open_flash(d, seg, area);
        EXPECT_EQ(f->segment_count(), 0) << seg << " " << area;
        EXPECT_FALSE(f->valid_segment(0));
        EXPECT_FALSE(f->erase(23578));
    }
}

TEST(Flash, ProgrammingClearsBitsAndVerifies) {
    test::TempDir dir;
    auto f = open_flash(dir, kSmall, 2 * kSmall);
    std::vector<uint8_t> seg;
    ASSERT_TRUE(f->read(23578, seg));
    EXPECT_EQ(seg, std::vector<uint8_t>(kSmall, 0xFF));

    const uint8_t first[] = {0xF0, 0x0F, 0x55};
    EXPECT_TRUE(f->program(23578, 10, first, 3));
    const uint8_t clears[] = {0x30, 0x0F};  // only clears bits: fine
    EXPECT_TRUE(f->program(23578, 10, clears, 2));
    const uint8_t sets[] = {0xFF};  // a 1 over a 0 cannot be programmed
    EXPECT_FALSE(f->program(23578, 12, sets, 1));
    ASSERT_TRUE(f->read(23578, seg));
    EXPECT_EQ(seg[9], 0xFF);
    EXPECT_EQ(seg[10], 0x30);
    EXPECT_EQ(seg[11], 0x0F);
    EXPECT_EQ(seg[12], 0x55);
    EXPECT_EQ(seg[13], 0xFF);

    std::vector<uint8_t> full(kSmall, 0xA5);
    EXPECT_FALSE(f->program(23579, 1, full.data(), kSmall));   // past the segment end
    EXPECT_FALSE(f->program(23579, kSmall + 1, full.data(), 0));
    EXPECT_TRUE(f->program(23579, 0, full.data(), kSmall));
    EXPECT_EQ(f->programmed_segments(), (std::vector<std::pair<int64_t, int64_t>>{{23578, 3}, {23579, kSmall}}));

    ASSERT_TRUE(f->erase(23578));
    ASSERT_TRUE(f->read(23578, seg));
    EXPECT_EQ(seg, std::vector<uint8_t>(kSmall, 0xFF));
    ASSERT_TRUE(f->read(23579, seg));
    EXPECT_EQ(seg, full);
    EXPECT_TRUE(f->program(23578, 12, sets, 1));  // erased again: programmable
    EXPECT_TRUE(f->sync());
}

TEST(Flash, EraseFreesTheFileAndContentsPersist) {
    test::TempDir dir;
    {
        auto f = open_flash(dir, kLarge, 8 * kLarge);
        std::vector<uint8_t> data(kLarge, 0x00);
        for (int s = 0; s < 8; ++s) ASSERT_TRUE(f->program(s, 0, data.data(), kLarge));
        for (int s = 0; s < 8; s += 2) ASSERT_TRUE(f->erase(s));
    }
    struct stat st {};
    ASSERT_EQ(::stat((dir / "flash.img").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 8 * kLarge);
    // Erased segments hold no data: the file system reports them as holes.
    int fd = ::open((dir / "flash.img").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    for (int s = 0; s < 8; s += 2) {
        off_t data = ::lseek(fd, off_t(s) * kLarge, SEEK_DATA);
        EXPECT_TRUE(data < 0 || data >= off_t(s + 1) * kLarge) << "segment " << s;
    }
    ::close(fd);
    auto f = open_flash(dir, kLarge, 8 * kLarge);
    std::vector<uint8_t> seg;
    ASSERT_TRUE(f->read(1, seg));
    EXPECT_EQ(seg, std::vector<uint8_t>(kLarge, 0));
    EXPECT_EQ(f->programmed_segments().size(), 4u);
}

}  // namespace
}  // namespace orva::sim
