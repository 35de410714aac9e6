// NOR flash in a file with its erased-segment map: erase to 0xFF, programming
// that only clears bits, read-back verification and the segment numbers of
// the image area, on a new flash file and on one made before the map
// (complemented bytes, no map); files that are short, damaged, missing or
// not files, and maps that are missing, damaged or another flash file's.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "simulator/flash.h"
#include "temp_dir.h"

namespace orva::sim {
namespace {

constexpr uint32_t kSmall = 131072;
constexpr uint32_t kLarge = 262144;
constexpr int64_t kHeader = 4096;  // the header of a new flash file
using Bytes = std::vector<uint8_t>;

// Opens the flash file of `dir`, made new when there is none.
std::unique_ptr<NorFlash> open_flash(const test::TempDir& dir, uint32_t seg, int32_t area) {
    std::string error;
    const std::filesystem::path file = dir / "flash.img";
    auto f = std::filesystem::exists(file) ? NorFlash::open(file, seg, area, &error)
                                           : NorFlash::create(file, seg, area, &error);
    EXPECT_TRUE(f) << error;
    return f;
}

Bytes pattern(size_t n, uint32_t seed) {
    Bytes out(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 23);
    }
    return out;
}

Bytes file_bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void put_file(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A flash file as the version before the map wrote it: the complement of
// every flash byte, no map beside it.
void put_old_flash(const test::TempDir& dir, const Bytes& flash) {
    Bytes stored(flash);
    for (auto& b : stored) b = uint8_t(~b);
    put_file(dir / "flash.img", stored);
}

Bytes read_all(NorFlash& f) {
    Bytes out, seg;
    for (int64_t s = f.first_segment(); s < f.first_segment() + f.segment_count(); ++s) {
        EXPECT_TRUE(f.read(s, seg)) << f.last_error();
        out.insert(out.end(), seg.begin(), seg.end());
    }
    return out;
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

    for (auto [seg, area] :
         {std::pair<uint32_t, int32_t>{65536, 1 << 24}, {0, 1 << 24}, {kLarge, -kLarge}, {kLarge, 0}}) {
        test::TempDir d;
        auto f = open_flash(d, seg, area);
        EXPECT_EQ(f->segment_count(), 0) << seg << " " << area;
        EXPECT_FALSE(f->valid_segment(0));
        EXPECT_FALSE(f->erase(23578));
    }
}

// How the flash file was made before the test: by this version (new), or by
// the version before the map, holding old data or erased throughout.
enum class Made { New, OldErased, OldHoldingData };

struct FormatRow {
    const char* name;
    Made made;
};

void PrintTo(const FormatRow& row, std::ostream* os) { *os << row.name; }

class FlashFormat : public ::testing::TestWithParam<FormatRow> {
protected:
    // Two 256 KiB segments (four stretches of the map); returns what they hold.
    Bytes make(const test::TempDir& dir) {
        Bytes flash(2 * kLarge, 0xFF);
        if (GetParam().made == Made::OldHoldingData) flash = pattern(flash.size(), 9);
        if (GetParam().made != Made::New) put_old_flash(dir, flash);
        return flash;
    }
};

TEST_P(FlashFormat, ProgrammingClearsBitsAndVerifies) {
    test::TempDir dir;
    make(dir);
    auto f = open_flash(dir, kLarge, 2 * kLarge);
    ASSERT_TRUE(f->erase(0));
    Bytes seg;
    ASSERT_TRUE(f->read(0, seg));
    EXPECT_EQ(seg, Bytes(kLarge, 0xFF));

    const uint8_t first[] = {0xF0, 0x0F, 0x55};
    EXPECT_TRUE(f->program(0, 10, first, 3));
    const uint8_t clears[] = {0x30, 0x0F};  // only clears bits: fine
    EXPECT_TRUE(f->program(0, 10, clears, 2));
    const uint8_t sets[] = {0xFF, 0x54};  // a 1 over a 0 cannot be programmed; the 0 is
    EXPECT_FALSE(f->program(0, 12, sets, 2));
    ASSERT_TRUE(f->read(0, seg));
    Bytes want(kLarge, 0xFF);
    want[10] = 0x30, want[11] = 0x0F, want[12] = 0x55, want[13] = 0x54;
    EXPECT_EQ(seg, want);  // a partly programmed segment: 0xFF around its bytes

    ASSERT_TRUE(f->erase(1));
    Bytes full = pattern(kLarge, 3);
    EXPECT_FALSE(f->program(1, 1, full.data(), kLarge));  // past the segment end
    EXPECT_FALSE(f->program(1, kLarge + 1, full.data(), 0));
    EXPECT_TRUE(f->program(1, 0, full.data(), kLarge));
    const int64_t programmed = kLarge - std::count(full.begin(), full.end(), 0xFF);
    EXPECT_EQ(f->programmed_segments(), (std::vector<std::pair<int64_t, int64_t>>{{0, 4}, {1, programmed}}));
    EXPECT_EQ(f->programmed_bytes(0), 4);

    ASSERT_TRUE(f->erase(0));
    ASSERT_TRUE(f->read(0, seg));
    EXPECT_EQ(seg, Bytes(kLarge, 0xFF));
    ASSERT_TRUE(f->read(1, seg));
    EXPECT_EQ(seg, full);
    EXPECT_TRUE(f->program(0, 12, sets, 1));  // erased again: programmable
    EXPECT_TRUE(f->sync());
}

TEST_P(FlashFormat, ErasedStretchesHideWhatTheFileHeldAndPersist) {
    test::TempDir dir;
    const Bytes before = make(dir);
    {
        auto f = open_flash(dir, kLarge, 2 * kLarge);
        EXPECT_EQ(read_all(*f), before);
        ASSERT_TRUE(f->erase(0));
        ASSERT_TRUE(f->erase(1));
        // Only the second half of segment 0 and the first bytes of segment 1:
        // everything around them reads erased, nothing of the old data.
        Bytes a = pattern(1000, 4), b = pattern(kSmall, 5);
        ASSERT_TRUE(f->program(0, kSmall + 500, a.data(), 1000));
        ASSERT_TRUE(f->program(1, 0, b.data(), kSmall));
    }
    auto f = open_flash(dir, kLarge, 2 * kLarge);
    Bytes want(2 * kLarge, 0xFF);
    Bytes a = pattern(1000, 4), b = pattern(kSmall, 5);
    std::copy(a.begin(), a.end(), want.begin() + kSmall + 500);
    std::copy(b.begin(), b.end(), want.begin() + kLarge);
    EXPECT_EQ(read_all(*f), want);
    // The first stretch of segment 0 is still erased: a whole new pattern goes in.
    Bytes c = pattern(kSmall, 6);
    EXPECT_TRUE(f->program(0, 0, c.data(), kSmall));
    std::copy(c.begin(), c.end(), want.begin());
    EXPECT_EQ(read_all(*f), want);
}

INSTANTIATE_TEST_SUITE_P(Files, FlashFormat,
                         ::testing::Values(FormatRow{"New", Made::New}, FormatRow{"OldErased", Made::OldErased},
                                           FormatRow{"OldHoldingData", Made::OldHoldingData}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Flash, AnEraseLeavesTheFlashFileAlone) {
    test::TempDir dir;
    auto f = open_flash(dir, kLarge, 4 * kLarge);
    Bytes data = pattern(kLarge, 2);
    for (int s = 0; s < 4; ++s) ASSERT_TRUE(f->program(s, 0, data.data(), kLarge));
    const Bytes file = file_bytes(dir / "flash.img");
    for (int s = 0; s < 4; ++s) ASSERT_TRUE(f->erase(s));
    EXPECT_EQ(file_bytes(dir / "flash.img"), file);
    EXPECT_TRUE(f->programmed_segments().empty());
    // A whole-segment program writes over the old bytes in place.
    ASSERT_TRUE(f->program(2, 0, data.data(), kLarge));
    const int64_t programmed = kLarge - std::count(data.begin(), data.end(), 0xFF);
    EXPECT_EQ(f->programmed_segments(), (std::vector<std::pair<int64_t, int64_t>>{{2, programmed}}));
}

TEST(Flash, AFileFromBeforeTheMapOpensUnchanged) {
    test::TempDir dir;
    Bytes flash = pattern(4 * kSmall, 7);
    std::fill(flash.begin() + kSmall, flash.begin() + 2 * kSmall, 0xFF);  // one erased segment
    put_old_flash(dir, flash);
    const Bytes file = file_bytes(dir / "flash.img");
    {
        auto f = open_flash(dir, kSmall, 4 * kSmall);
        EXPECT_EQ(read_all(*f), flash);
        auto state = f->programmed_segments();
        ASSERT_EQ(state.size(), 3u);
        EXPECT_EQ(state[1].first, 23580);
    }
    // Reading writes nothing: neither the flash file nor a map.
    EXPECT_EQ(file_bytes(dir / "flash.img"), file);
    EXPECT_FALSE(std::filesystem::exists(dir / "flash.img.map"));

    {
        auto f = open_flash(dir, kSmall, 4 * kSmall);
        ASSERT_TRUE(f->erase(23578));
        Bytes one = pattern(100, 8);
        ASSERT_TRUE(f->program(23579, 0, one.data(), 100));
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "flash.img.map"));
    auto f = open_flash(dir, kSmall, 4 * kSmall);
    std::fill(flash.begin(), flash.begin() + kSmall, 0xFF);
    std::copy_n(pattern(100, 8).begin(), 100, flash.begin() + kSmall);
    EXPECT_EQ(read_all(*f), flash);
}

// A file shorter than the image area: what it holds stays, the rest reads
// erased, and the notice gives both sizes.
TEST(Flash, AShortFileIsPaddedAsErasedAndSaysSo) {
    for (Made made : {Made::New, Made::OldHoldingData}) {
        test::TempDir dir;
        const Bytes data = pattern(2 * kLarge, 11);
        if (made == Made::OldHoldingData) {
            put_old_flash(dir, data);
        } else {
            auto f = open_flash(dir, kLarge, 2 * kLarge);
            ASSERT_TRUE(f->program(0, 0, data.data(), kLarge));
            ASSERT_TRUE(f->program(1, 0, data.data() + kLarge, kLarge));
            EXPECT_EQ(f->notice(), "");
        }
        const int64_t header = made == Made::New ? kHeader : 0;
        ASSERT_EQ(::truncate((dir / "flash.img").c_str(), header + 300000), 0);
        {
            auto f = open_flash(dir, kLarge, 2 * kLarge);
            EXPECT_EQ(f->notice(), (dir / "flash.img").string() +
                                       ": 300000 bytes, shorter than the image area of 524288 bytes: the missing "
                                       "224288 bytes were added as erased");
            Bytes want(data.begin(), data.begin() + 300000);
            want.resize(2 * kLarge, 0xFF);
            EXPECT_EQ(read_all(*f), want) << int(made);
            EXPECT_EQ(f->programmed_bytes(1), kLarge - std::count(want.begin() + kLarge, want.end(), 0xFF));
        }
        EXPECT_EQ(std::filesystem::file_size(dir / "flash.img"), header + 2 * kLarge);
        EXPECT_EQ(open_flash(dir, kLarge, 2 * kLarge)->notice(), "");
    }
}

// Flips one bit of a file at `offset`.
void flip(const std::filesystem::path& file, size_t offset) {
    Bytes bytes = file_bytes(file);
    ASSERT_LT(offset, bytes.size());
    bytes[offset] ^= 1;
    put_file(file, bytes);
}

// What cannot be a flash file or its map: open fails at once with the file
// named, and nothing is made in its place. A new flash file is never read as
// one from before the map (every byte inverted) for want of its own map.
TEST(Flash, WhatIsNotAFlashFileIsRefusedWithoutBlocking) {
    enum Base { None, Old, New };  // the flash file before `make`: none, one from before the map, a new one
    struct Row {
        const char* name;
        Base base;
        const char* file;  // "flash.img" or its map
        void (*make)(const std::filesystem::path&);
        const char* says;
    };
    const Row rows[] = {
        {"missing", None, "flash.img", [](const std::filesystem::path&) {},
         "No such file or directory (orva-controller flash reset makes a new, erased flash)"},
        {"header damaged", New, "flash.img", [](const std::filesystem::path& p) { flip(p, 16); }, "header is damaged"},
        {"map missing", New, "flash.img.map", [](const std::filesystem::path& p) { std::filesystem::remove(p); },
         "missing: the flash file cannot be read without it"},
        {"map's storage flipped", New, "flash.img.map", [](const std::filesystem::path& p) { flip(p, 16); },
         "its header is damaged"},
        {"map of another flash", New, "flash.img.map",
         [](const std::filesystem::path& p) {
             const std::filesystem::path other = p.parent_path() / "other.img";
             ASSERT_TRUE(NorFlash::create(other, kLarge, kLarge, nullptr));
             std::filesystem::rename(other.string() + ".map", p);
         },
         "the map of another flash file"},
        {"map of a flash whose header is lost", Old, "flash.img.map",
         [](const std::filesystem::path& p) {
             const std::filesystem::path other = p.parent_path() / "other.img";
             ASSERT_TRUE(NorFlash::create(other, kLarge, kLarge, nullptr));
             std::filesystem::rename(other.string() + ".map", p);
         },
         "which this one has lost"},
        {"directory", None, "flash.img", [](const std::filesystem::path& p) { std::filesystem::create_directory(p); },
         "is a directory"},
        {"FIFO", None, "flash.img", [](const std::filesystem::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
         "is a FIFO"},
        {"device", None, "flash.img",
         [](const std::filesystem::path& p) { std::filesystem::create_symlink("/dev/null", p); },
         "is a character device"},
        {"symbolic link loop", None, "flash.img",
         [](const std::filesystem::path& p) { std::filesystem::create_symlink(p.filename(), p); },
         "Too many levels of symbolic links"},
        {"map a FIFO", Old, "flash.img.map",
         [](const std::filesystem::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }, "is a FIFO"},
        {"map of another kind", Old, "flash.img.map",
         [](const std::filesystem::path& p) { put_file(p, Bytes(64, 'x')); }, "not an erased-segment map"},
        {"map cut in its header", Old, "flash.img.map",
         [](const std::filesystem::path& p) {
             put_file(p, Bytes{'O', 'R', 'V', 'A'});
         },
         "not an erased-segment map"},
    };
    for (const Row& row : rows) {
        test::TempDir dir;
        if (row.base == Old) put_old_flash(dir, Bytes(kLarge, 0xFF));
        if (row.base == New) {
            ASSERT_TRUE(NorFlash::create(dir / "flash.img", kLarge, kLarge, nullptr));
        }
        row.make(dir / row.file);
        std::string error;
        EXPECT_EQ(NorFlash::open(dir / "flash.img", kLarge, kLarge, &error), nullptr) << row.name;
        EXPECT_NE(error.find((dir / row.file).string() + ": "), std::string::npos) << row.name << ": " << error;
        EXPECT_NE(error.find(row.says), std::string::npos) << row.name << ": " << error;
        const bool made_nothing = row.base != None || !std::filesystem::exists(dir / "flash.img.map");
        EXPECT_TRUE(made_nothing) << row.name;
        EXPECT_TRUE(std::string(row.name) != "missing" || !std::filesystem::exists(dir / "flash.img"));
    }
}

// A map with fewer entries than the area (the area grew): the stretches
// without one are what the file holds.
TEST(Flash, StretchesBeyondTheMapAreWhatTheFileHolds) {
    test::TempDir dir;
    const Bytes data = pattern(4 * kSmall, 12);
    {
        auto f = open_flash(dir, kSmall, 4 * kSmall);
        for (int s = 0; s < 4; ++s) ASSERT_TRUE(f->program(23578 + s, 0, data.data() + s * kSmall, kSmall));
        ASSERT_TRUE(f->erase(23578));
    }
    std::filesystem::resize_file(dir / "flash.img.map", 64 + 2);  // the header and two entries
    auto f = open_flash(dir, kSmall, 4 * kSmall);
    Bytes want(data);
    std::fill(want.begin(), want.begin() + kSmall, 0xFF);
    EXPECT_EQ(read_all(*f), want);
}

}  // namespace
}  // namespace orva::sim
