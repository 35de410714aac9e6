// The "Version Update" page run through the script frontend: images of every
// shape on both flash geometries, checked against the transcript, the order
// of device calls in the event log and the flash contents byte for byte; and
// every way a run can fail, with what it leaves in flash.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/scenario/harness.h"
#include "tests/support/image_bytes.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t k128K = 131072;
constexpr uint32_t k256K = 262144;
constexpr int kFirst128K = 23578;

const std::string kImagePath = R"(\Storage Card\nk.bin)";
const std::string kPrompt =
    R"(box "Version Update" "Update OS image" "Update OS image now ? It will take several minitues and the old OS image will be overwritten" 0x1 -> )";
const std::string kSucceeded = R"(box none "Update OS image" "Update OS image succeed, Reboot now ?" 0x24 -> )";
const std::string kFailed = "box \"Version Update\" \"OS image update\" \"FlashWriteFile failed\" 0x30 -> OK\n";
const std::string kSaveAsk =
    "box \"Version Update\" \"Save Registry\" \"Save your settings to registry ?\" 0x24 -> NO\n";
const std::string kExit = kSaveAsk + "exit 0\n";

std::string script_quote(const std::string& s) {
    std::string out = "\"";
    for (char ch : s) out += ch == '\\' || ch == '"' ? std::string("\\") + ch : std::string(1, ch);
    return out + "\"";
}

// Types the path, confirms with `answer` and starts the update; the exit
// prompt that follows is answered No.
std::string update_script(const std::string& path, const std::string& answers, const std::string& after = "") {
    return "tab 4\n" + type(IDC_IMAGE_PATH, path) + "answer " + answers + "\n" + click(IDC_WRITE_FLASH) + after +
           "cancel\n";
}

// The transcript from the update prompt on: what the other pages trace
// while the sheet opens is theirs.
std::string from_prompt(const std::string& out) {
    size_t at = out.find("box \"Version Update\" \"Update OS image\"");
    return at == std::string::npos ? out : out.substr(at);
}

fs::path image_file(const TempController& c) { return c.fs() / "Storage Card" / "nk.bin"; }

// What `count` segments from `first` hold: `image` followed by erased bytes.
std::string flash_of(const std::string& image, size_t count, uint32_t segment) {
    std::string out = image;
    out.resize(count * segment, '\xFF');
    return out;
}

std::string flash_read(const TempController& c, int first, size_t count) {
    RunResult r = c.tool({"flash", "read", std::to_string(first), std::to_string(count)});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out;
}

// The numbers of the segments that hold anything but 0xFF.
std::vector<int> programmed_segments(const TempController& c) {
    std::vector<int> out;
    for (auto& line : lines(c.tool({"flash", "state"}).out)) out.push_back(std::stoi(line));
    return out;
}

std::vector<int> segment_range(int first, int count) {
    std::vector<int> out;
    for (int i = 0; i < count; ++i) out.push_back(first + i);
    return out;
}

// The device calls of the event log that touch or size the flash, and reboot.
std::vector<std::string> flash_calls(const TempController& c) {
    std::vector<std::string> out;
    for (auto& line : c.log())
        if (line.rfind("Flash", 0) == 0 || line.rfind("GetFlashSize_Img", 0) == 0 || line.rfind("reboot", 0) == 0)
            out.push_back(line);
    return out;
}

std::vector<std::string> registry_erases() {
    std::vector<std::string> out;
    for (int i = 0; i < 16; ++i) out.push_back("FlashErase_Reg(" + std::to_string(i) + ") -> 1");
    return out;
}

// The trace of a whole run over `percents.size()` segments from `first`.
std::string progress_trace(int first, const std::vector<int>& percents) {
    const int n = int(percents.size());
    const std::string bar = id(IDC_PROGRESS), status = "text " + id(IDC_STATUS) + " \"";
    std::string out = "range " + bar + " " + std::to_string(first) + " " + std::to_string(first + n) + "\n";
    for (const char* pass : {"Erase", "Write"}) {
        for (int k = 0; k < n; ++k)
            out += "pos " + bar + " " + std::to_string(first + k) + "\n" + status + pass + " Flash Memory --> " +
                   std::to_string(percents[size_t(k)]) + "% done\"\n";
        out += status + (std::string(pass) == "Erase"
                             ? "Erase Flash Memory --> 100 % done ! Now Write To Flash, Please wait !\"\n"
                             : "Write Flash Memory --> 100 % done !\"\n");
    }
    return out;
}

// Writes a first image of `segments` whole segments of zero bytes, so that a
// later run shows which segments it erased.
void write_old_image(const TempController& c, uint32_t segment, int segments) {
    write_host_file(image_file(c), std::string(size_t(segments) * segment, '\0'));
    RunResult r = c.run(update_script(kImagePath, "OK NO NO"));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_NE(r.out.find(kSucceeded), std::string::npos) << r.out;
    c.clear_log();
}

struct GeometryRow {
    const char* name;
    uint32_t segment;
    size_t size;
    std::vector<int> percents;  // one per segment
};

void PrintTo(const GeometryRow& row, std::ostream* os) { *os << row.name; }

class UpdateGeometry : public ::testing::TestWithParam<GeometryRow> {};

TEST_P(UpdateGeometry, WritesTheFileFromTheFirstImageSegmentAndOffersAReboot) {
    const GeometryRow& row = GetParam();
    TempController c({"--segment-size", std::to_string(row.segment)});
    const int first = row.segment == k128K ? kFirst128K : 0;
    const int n = int(row.percents.size());
    const std::string image = pattern(row.size);
    write_host_file(image_file(c), image);
    c.clear_log();

    RunResult r = c.run(update_script(kImagePath, "OK NO NO"), {"--trace"});
    ASSERT_EQ(r.exit_code, 0) << r.err;

    std::string debug;
    if (row.segment == k256K)
        debug = "debug \"intStartSegNo=0\\n\\r\"\ndebug \"intEndSegNo=" + std::to_string(n) + "\\n\\r\"\n";
    EXPECT_EQ(from_prompt(r.out),
              kPrompt + "OK\n" + debug + progress_trace(first, row.percents) + kSucceeded + "NO\n" + kExit)
        << r.out;
    // The kernel debug output also goes to standard error, a line each after
    // the program's name, and to the controller's debug.log, both without
    // carriage returns.
    const std::string end = std::to_string(n);
    EXPECT_EQ(r.err,
              row.segment == k256K ? "orva-utility: intStartSegNo=0\norva-utility: intEndSegNo=" + end + "\n" : "");
    EXPECT_EQ(c.tool({"log", "--debug"}).out, row.segment == k256K ? "intStartSegNo=0\nintEndSegNo=" + end + "\n" : "");

    std::vector<std::string> expected{"GetFlashSize_Img() -> " +
                                      std::string(row.segment == k128K ? "14680064" : "29360128")};
    for (auto& e : registry_erases()) expected.push_back(e);
    for (int k = 0; k < n; ++k) expected.push_back("FlashErase_Img(" + std::to_string(first + k) + ") -> 1");
    for (int k = 0; k < n; ++k) {
        size_t count = std::min<size_t>(row.segment, row.size - size_t(k) * row.segment);
        expected.push_back("FlashWriteString_Img(" + std::to_string(first + k) + ", 0, " + std::to_string(count) +
                           ") -> 1");
    }
    EXPECT_EQ(flash_calls(c), expected);

    if (n > 0) {
        EXPECT_TRUE(flash_read(c, first, size_t(n)) == flash_of(image, size_t(n), row.segment));
    }
    EXPECT_EQ(programmed_segments(c), segment_range(first, n));
}

INSTANTIATE_TEST_SUITE_P(
    Images, UpdateGeometry,
    ::testing::Values(GeometryRow{"ExactlyOneSegment", k128K, k128K, {100}},
                      GeometryRow{"OneByteOverASegment128K", k128K, k128K + 1, {50, 100}},
                      GeometryRow{"OneByteOverASegment256K", k256K, k256K + 1, {50, 100}},
                      GeometryRow{"ThreeSegments", k256K, 2 * k256K + 1000, {33, 66, 100}},
                      GeometryRow{"SevenSegments", k128K, 7 * k128K - 5, {14, 28, 42, 57, 71, 85, 100}},
                      GeometryRow{"MillionBytes128K", k128K, 1000000, {12, 25, 37, 50, 62, 75, 87, 100}},
                      GeometryRow{"MillionBytes256K", k256K, 1000000, {25, 50, 75, 100}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdatePage, ANewImageErasesOnlyTheSegmentsItOccupies) {
    TempController c;
    write_old_image(c, k256K, 3);
    const std::string image = pattern(k256K + 1, 7);
    write_host_file(image_file(c), image);
    RunResult r = c.run(update_script(kImagePath, "OK NO NO"));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(flash_read(c, 0, 2) == flash_of(image, 2, k256K));
    EXPECT_TRUE(flash_read(c, 2, 1) == std::string(k256K, '\0'));
}

TEST(UpdatePage, AnImageFillingTheImageAreaExactlyIsWritten) {
    TempController c;
    c.set_config("flash", "image_area_size", std::to_string(4 * k256K));
    const std::string image = pattern(4 * k256K);
    write_host_file(image_file(c), image);
    RunResult r = c.run(update_script(kImagePath, "OK NO NO"));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find(kSucceeded), std::string::npos) << r.out;
    EXPECT_TRUE(flash_read(c, 0, 4) == image);
}

TEST(UpdatePage, YesToTheRebootOfferRestartsTheController) {
    TempController c;
    write_host_file(image_file(c), pattern(1000));
    RunResult r = c.run("tab 4\n" + type(IDC_IMAGE_PATH, kImagePath) + "answer OK YES\n" + click(IDC_WRITE_FLASH));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, kPrompt + "OK\ndebug \"intStartSegNo=0\\n\\r\"\ndebug \"intEndSegNo=1\\n\\r\"\n" + kSucceeded +
                         "YES\nreboot\nexit 0\n");
    auto calls = flash_calls(c);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "reboot()");
}

TEST(UpdatePage, BrowseFillsThePathAndACancelledDialogLeavesItAlone) {
    TempController c;  // the picked file need not exist: the dialog returns the path as given
    const std::string browse_and_show = click(IDC_IMAGE_BROWSE) + show(IDC_IMAGE_PATH);
    RunResult r = c.run("tab 4\n" + type(IDC_IMAGE_PATH, "old") + "pick " + script_quote(kImagePath) + "\n" +
                        browse_and_show + "pick cancel\n" + browse_and_show + "answer NO\ncancel\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string shown = "show " + id(IDC_IMAGE_PATH) + " \"\\\\Storage Card\\\\nk.bin\"\n";
    EXPECT_EQ(r.out, "open-file \"Version Update\" -> \"\\\\Storage Card\\\\nk.bin\"\n" + shown +
                         "open-file \"Version Update\" -> cancel\n" + shown + kExit);
}

TEST(UpdatePage, ACancelledPromptOpensAndErasesNothing) {
    TempController c;
    write_old_image(c, k256K, 2);
    write_host_file(image_file(c), pattern(3 * k256K));
    RunResult r = c.run(update_script(kImagePath, "CANCEL NO"), {"--trace"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(from_prompt(r.out), kPrompt + "CANCEL\n" + kExit);
    EXPECT_TRUE(flash_calls(c).empty());
    EXPECT_TRUE(flash_read(c, 0, 2) == std::string(2 * k256K, '\0'));
}

// A failure before the first erase: its own box, the page's box, and the
// flash and the registry area as they were.
struct EarlyFailureRow {
    const char* name;
    std::string path;
    std::function<void(const TempController&)> setup;
    std::string box;                 // the writer's own box
    std::vector<std::string> calls;  // device calls made
};

void PrintTo(const EarlyFailureRow& row, std::ostream* os) { *os << row.name; }

class UpdateEarlyFailure : public ::testing::TestWithParam<EarlyFailureRow> {};

TEST_P(UpdateEarlyFailure, ReportsTwiceAndLeavesTheFlashAsItWas) {
    const EarlyFailureRow& row = GetParam();
    TempController c;
    write_old_image(c, k256K, 2);
    row.setup(c);
    c.clear_log();
    RunResult r = c.run(update_script(row.path, "OK NO"));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string debug;
    for (auto& line : lines(r.out))
        if (line.rfind("debug ", 0) == 0) debug += line + "\n";
    EXPECT_EQ(r.out, kPrompt + "OK\n" + debug + "box \"Version Update\" \"Write File to Flash\" \"" + row.box +
                         "\" 0x30 -> OK\n" + kFailed + kExit);
    EXPECT_EQ(flash_calls(c), row.calls);
    // The flash as the controller was made, to look at it.
    c.set_config("flash", "segment_size", "262144");
    c.set_config("flash", "image_area_size", "29360128");
    EXPECT_EQ(programmed_segments(c), segment_range(0, 2));
    EXPECT_TRUE(flash_read(c, 0, 2) == std::string(2 * k256K, '\0'));
}

const std::vector<std::string> kSized{"GetFlashSize_Img() -> 29360128"};

INSTANTIATE_TEST_SUITE_P(
    BadInput, UpdateEarlyFailure,
    ::testing::Values(
        EarlyFailureRow{"EmptyPath", "", [](const TempController&) {}, "OpenFile error", {}},
        EarlyFailureRow{
            "MissingFile", R"(\Storage Card\missing.bin)", [](const TempController&) {}, "OpenFile error", {}},
        EarlyFailureRow{"MissingFolder", R"(\No Card\nk.bin)", [](const TempController&) {}, "OpenFile error", {}},
        EarlyFailureRow{"Directory", R"(\Storage Card)", [](const TempController&) {}, "OpenFile error", {}},
        // An empty file would erase the registry area and write nothing; a
        // FIFO without a writer would be waited for for ever.
        EarlyFailureRow{"EmptyFile",
                        kImagePath,
                        [](const TempController& c) { write_host_file(image_file(c), ""); },
                        R"(\\Storage Card\\nk.bin: the file is empty)",
                        {}},
        EarlyFailureRow{"Fifo",
                        kImagePath,
                        [](const TempController& c) {
                            fs::remove(image_file(c));
                            ASSERT_EQ(::mkfifo(image_file(c).c_str(), 0644), 0);
                        },
                        R"(\\Storage Card\\nk.bin: not a regular file)",
                        {}},
        EarlyFailureRow{
            "AboveTheFileSystem", R"(\..\controller.toml)", [](const TempController&) {}, "OpenFile error", {}},
        EarlyFailureRow{"FourGiBAndOneByte",
                        kImagePath,
                        [](const TempController& c) {
                            fs::resize_file(image_file(c), (uint64_t(1) << 32) + 1);  // sparse: never written
                        },
                        "GetFileSize error",
                        {}},
        EarlyFailureRow{"OneByteLargerThanTheImageArea",
                        kImagePath,
                        [](const TempController& c) {
                            c.set_config("flash", "image_area_size", std::to_string(4 * k256K));
                            write_host_file(image_file(c), pattern(4 * k256K + 1));
                        },
                        "Image file is larger than flash",
                        {"GetFlashSize_Img() -> 1048576"}},
        EarlyFailureRow{"NoImageArea",
                        kImagePath,
                        [](const TempController& c) {
                            c.set_config("flash", "image_area_size", "-1");
                            write_host_file(image_file(c), pattern(10));
                        },
                        "Image file is larger than flash",
                        {"GetFlashSize_Img() -> -1"}},
        EarlyFailureRow{"SegmentSize65536", kImagePath,
                        [](const TempController& c) { c.set_config("flash", "segment_size", "65536"); },
                        "Flash Size Unknown", kSized},
        EarlyFailureRow{"SegmentSize0", kImagePath,
                        [](const TempController& c) { c.set_config("flash", "segment_size", "0"); },
                        "Flash Size Unknown", kSized}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdatePage, AFailedWriteStopsAtThatSegmentAndLeavesTheRestErased) {
    TempController c({"--segment-size", "131072"});
    write_old_image(c, k128K, 6);
    const std::string image = pattern(5 * k128K, 3);
    write_host_file(image_file(c), image);
    c.set_config("faults", "flash_write_fail_segment", std::to_string(kFirst128K + 2));
    RunResult r = c.run(update_script(kImagePath, "OK NO", show(IDC_STATUS) + show(IDC_PROGRESS)), {"--trace"});
    ASSERT_EQ(r.exit_code, 0) << r.err;

    std::string trace = progress_trace(kFirst128K, {20, 40, 60, 80, 100});
    const std::string at_third = "pos " + id(IDC_PROGRESS) + " 23580\n";
    trace = trace.substr(0, trace.find(at_third + "text " + id(IDC_STATUS) + " \"Write")) + at_third;
    EXPECT_EQ(from_prompt(r.out), kPrompt + "OK\n" + trace + kFailed + "show " + id(IDC_STATUS) +
                                      " \"Write Flash Memory --> 40% done\"\nshow " + id(IDC_PROGRESS) +
                                      " progress 23578 23583 23580\n" + kExit);

    auto calls = flash_calls(c);
    ASSERT_EQ(calls.size(), 1u + 16u + 5u + 3u);
    EXPECT_EQ(calls[22], "FlashWriteString_Img(23578, 0, 131072) -> 1");
    EXPECT_EQ(calls[24], "FlashWriteString_Img(23580, 0, 131072) -> 0");
    EXPECT_TRUE(flash_read(c, kFirst128K, 2) == image.substr(0, 2 * k128K));
    EXPECT_TRUE(flash_read(c, kFirst128K + 2, 3) == std::string(3 * k128K, '\xFF'));
    EXPECT_TRUE(flash_read(c, kFirst128K + 5, 1) == std::string(k128K, '\0'));  // beyond the new image
}

// A file of 0xFFFFFFFF bytes has the size GetFileSize reports as its error:
// it fails as the error does, and nothing is erased.
TEST(UpdatePage, AFileOfTheErrorValuesSizeFailsWithGetFileSizeError) {
    TempController c;
    fs::create_directories(c.fs() / "Storage Card");
    const fs::path image = c.fs() / "Storage Card" / "nk.bin";
    { std::ofstream(image, std::ios::binary).put('\0'); }
    fs::resize_file(image, uint64_t(0xFFFFFFFFu));  // sparse: never written
    c.clear_log();
    RunResult r = c.run(update_script(kImagePath, "OK", "answer NO\n"));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("box \"Version Update\" \"Write File to Flash\" \"GetFileSize error\" 0x30 -> OK\n"
                         "box \"Version Update\" \"OS image update\" \"FlashWriteFile failed\" 0x30 -> OK\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(c.log().empty());
}

}  // namespace
}  // namespace orva::test
