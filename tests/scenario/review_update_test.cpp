// Corners found on review: the one file size that GetFileSize's error value
// stands for, and the controller tool's log when nothing has been logged.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

// A file of 0xFFFFFFFF bytes has the size GetFileSize reports as its error:
// it fails as the error does, and nothing is erased.
TEST(ReviewUpdate, AFileOfTheErrorValuesSizeFailsWithGetFileSizeError) {
    TempController c;
    fs::create_directories(c.fs() / "Storage Card");
    const fs::path image = c.fs() / "Storage Card" / "nk.bin";
    { std::ofstream(image, std::ios::binary).put('\0'); }
    fs::resize_file(image, uint64_t(0xFFFFFFFFu));  // sparse: never written
    c.clear_log();
    RunResult r = c.run("tab 4\ntype 1035 \"\\\\Storage Card\\\\nk.bin\"\nanswer OK\nclick 1038\nanswer NO\ncancel\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("box \"Version Update\" \"Write File to Flash\" \"GetFileSize error\" 0x30 -> OK\n"
                         "box \"Version Update\" \"OS image update\" \"FlashWriteFile failed\" 0x30 -> OK\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(c.log().empty());
}

TEST(ReviewTool, AnEmptyLogPrintsNothingAndSucceeds) {
    TempController c;
    c.clear_log();
    RunResult r = c.tool({"log"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace orva::test
