// `orva-utility update IMAGE`: the image written through the Version Update
// page with the same device calls as the same update done through a script,
// progress on standard error, the checks made before the page is opened
// (checksum, size, where IMAGE is), and every failure with what it leaves in
// flash.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/scenario/harness.h"
#include "tests/support/image_bytes.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t k256K = 262144;

std::string sha256_of(const fs::path& file) {
    RunResult r = run_program({"/usr/bin/sha256sum", file.string()});
    return r.out.substr(0, 64);
}

// What every update that writes says first on standard error.
const std::string kErases =
    "orva-utility: warning: the update erases the registry saved in flash: the next start loads the factory "
    "registry unless the registry is saved again before it\n";

// The warning, then the progress lines of an image of `segments` segments.
std::string progress(int segments) {
    std::string out = kErases;
    for (const char* pass : {"Erase", "Write"}) {
        for (int k = 1; k <= segments; ++k)
            out += "orva-utility: " + std::string(pass) + " Flash Memory --> " + std::to_string(100 * k / segments) +
                   "% done\n";
        out += "orva-utility: " + std::string(pass) + " Flash Memory --> 100 % done !" +
               (std::string(pass) == "Erase" ? " Now Write To Flash, Please wait !" : "") + "\n";
    }
    return out;
}

std::vector<std::string> flash_state(const TempController& c) { return lines(c.tool({"flash", "state"}).out); }

TEST(UpdateCommand, WritesTheImageWithTheSameDeviceCallsAsTheScript) {
    TempController c;
    const std::string image = pattern(300000);
    write_host_file(c.fs() / "Temp" / "nk.bin", image);
    RunResult script = c.run("tab 4\n" + type(IDC_IMAGE_PATH, "\\Temp\\nk.bin") + "answer OK NO\n" +
                             click(IDC_WRITE_FLASH) + "answer NO\ncancel\n");
    ASSERT_EQ(script.exit_code, 0) << script.err;
    const std::vector<std::string> by_script = c.log();

    ASSERT_EQ(c.tool({"init", c.dir().string(), "--force"}).exit_code, 0);
    write_host_file(c.fs() / "Temp" / "nk.bin", image);
    ASSERT_EQ(c.command({"ftp-dir", "\\Windows"}).exit_code, 0);
    c.clear_log();
    RunResult r = c.command({"update", "\\Temp\\nk.bin"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, progress(2));
    EXPECT_EQ(c.log(), by_script);
    std::string expected = image;
    expected.resize(2 * k256K, '\xFF');
    EXPECT_EQ(c.tool({"flash", "read", "0", "2"}).out, expected);
    // The exit prompt is answered No: the saved copy stays erased, and the
    // next start gets the factory registry.
    EXPECT_EQ(c.reg_get("Comm\\FTPD", "DefaultDir"), "REG_SZ 200 \"\\\\Windows\"");
    ASSERT_EQ(c.tool({"reboot"}).exit_code, 0);
    EXPECT_EQ(c.reg_get("Comm\\FTPD", "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"");
}

TEST(UpdateCommand, TakesAHostPathInsideFsAndAChecksum) {
    TempController c({"--segment-size", "131072"});
    const fs::path file = c.fs() / "Storage Card" / "os image.bin";
    write_host_file(file, pattern(131073));
    c.clear_log();
    RunResult r = c.command({"update", "--sha256", sha256_of(file), file.string(), "--reboot"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, progress(2));
    std::vector<std::string> log = c.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "reboot()");
    std::string expected = pattern(131073);
    expected.resize(2 * 131072, '\xFF');
    EXPECT_EQ(c.tool({"flash", "read", "23578", "2"}).out, expected);

    // Upper-case digits are the same checksum; --quiet leaves out the
    // progress, not the warning.
    std::string upper = sha256_of(file);
    for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    r = c.command({"update", file.string(), "--sha256=" + upper, "--quiet"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, kErases);
}

// The page itself refuses an image that does not fit, an empty one and one
// that is not a regular file (a FIFO nobody writes to, read even with
// --sha256), before it erases anything: its two boxes are the command's
// failure.
TEST(UpdateCommand, AnImageThePageRefusesFailsWithItsBoxesAndErasesNothing) {
    TempController c;
    write_host_file(c.fs() / "Temp" / "big.bin", "");
    fs::resize_file(c.fs() / "Temp" / "big.bin", 112 * k256K + 1);
    write_host_file(c.fs() / "Temp" / "empty.bin", "");
    ASSERT_EQ(::mkfifo((c.fs() / "Temp" / "fifo").c_str(), 0644), 0);
    // The warning comes first from every update that opens the page.
    const std::string failed = "orva-utility: OS image update: FlashWriteFile failed\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"\\temp\\BIG.BIN"},
         kErases + "orva-utility: Write File to Flash: Image file is larger than flash\n" + failed},
        {{"\\Temp\\empty.bin"},
         kErases + "orva-utility: Write File to Flash: \\Temp\\empty.bin: the file is empty\n" + failed},
        {{"\\Temp\\fifo"}, kErases + "orva-utility: Write File to Flash: \\Temp\\fifo: not a regular file\n" + failed},
        {{"\\Temp\\fifo", "--sha256", std::string(64, '0')}, "orva-utility: \\Temp\\fifo: not a regular file\n"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args{"update"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        RunResult r = c.command(args);
        EXPECT_EQ(r.exit_code, 1) << row.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, row.err);
        for (const std::string& line : c.log()) EXPECT_EQ(line.find("FlashErase"), std::string::npos) << line;
        EXPECT_TRUE(flash_state(c).empty());
    }
}

TEST(UpdateCommand, ChecksBeforeThePageOpensLeaveTheFlashUntouched) {
    TempController c;
    write_host_file(c.fs() / "Temp" / "nk.bin", pattern(1000));
    write_host_file(c.dir() / "outside.bin", pattern(10));
    fs::create_symlink(c.dir() / "outside.bin", c.fs() / "Temp" / "link.bin");
    const std::string zeros(64, '0');
    struct Row {
        std::vector<std::string> args;
        int exit_code;
        std::string err;
    } rows[] = {
        {{"\\Temp\\nk.bin", "--sha256", zeros},
         1,
         "orva-utility: image checksum mismatch: expected " + zeros + ", \\Temp\\nk.bin has " +
             sha256_of(c.fs() / "Temp" / "nk.bin") + "\n"},
        {{"\\Temp\\none.bin", "--sha256", zeros}, 1, "orva-utility: \\Temp\\none.bin: No such file or directory\n"},
        {{"\\Temp", "--sha256", zeros}, 1, "orva-utility: \\Temp: Is a directory\n"},
        {{"\\Temp\\nk.bin", "--sha256", "abc"},
         2,
         "orva-utility: update: --sha256 needs 64 hexadecimal digits, not \"abc\"\n"},
        {{"\\Temp\\nk.bin", "--sha256", zeros.substr(1) + "g"}, 2, "orva-utility: update: --sha256 needs 64"},
        {{"\\Temp\\nk.bin", "--sha256"}, 2, "orva-utility: --sha256 needs a checksum\n"},
        {{(c.dir() / "outside.bin").string()},
         2,
         "orva-utility: update: IMAGE " + (c.dir() / "outside.bin").string() +
             " is neither a controller path such as \\Temp\\nk.bin nor a file in "},
        {{(c.fs() / "Temp" / "link.bin").string()}, 2, "orva-utility: update: IMAGE "},
        {{c.fs().string()}, 2, "orva-utility: update: IMAGE "},
        {{"Temp/nk.bin"}, 2, "orva-utility: update: IMAGE Temp/nk.bin is neither"},
        {{"\\Temp\\" + std::string(200, 'n')},
         2,
         "orva-utility: update: IMAGE is 206 characters long as a controller path; the page takes at most 199\n"},
        {{}, 2, "orva-utility: update: needs an IMAGE\n"},
        {{"\\a", "\\b"}, 2, "orva-utility: update: takes one IMAGE\n"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args{"update"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        c.clear_log();
        RunResult r = c.command(args);
        EXPECT_EQ(r.exit_code, row.exit_code) << row.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(row.err, 0), 0u) << r.err;
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(c.log().empty()) << row.err;
        EXPECT_TRUE(flash_state(c).empty()) << row.err;
    }
    // The registry area was never erased: a restart keeps the saved copy.
    ASSERT_EQ(c.command({"ftp-dir", "\\Windows"}).exit_code, 0);
    ASSERT_EQ(c.tool({"reboot"}).exit_code, 0);
    EXPECT_EQ(c.reg_get("Comm\\FTPD", "DefaultDir"), "REG_SZ 200 \"\\\\Windows\"");
}

TEST(UpdateCommand, FailuresOfThePageAreItsBoxes) {
    TempController c;
    // A missing image: the page's two boxes, nothing erased.
    RunResult r = c.command({"update", "\\Temp\\missing.bin"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, kErases +
                         "orva-utility: Write File to Flash: OpenFile error\n"
                         "orva-utility: OS image update: FlashWriteFile failed\n");
    EXPECT_TRUE(c.log().empty());

    // A write that fails half way: the progress so far, then the page's box.
    c.set_config("faults", "flash_write_fail_segment", "1");
    write_host_file(c.fs() / "Temp" / "nk.bin", pattern(300000));
    r = c.command({"update", "\\Temp\\nk.bin", "--reboot"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(
        r.err,
        kErases +
            "orva-utility: Erase Flash Memory --> 50% done\norva-utility: Erase Flash Memory --> 100% done\n"
            "orva-utility: Erase Flash Memory --> 100 % done ! Now Write To Flash, Please wait !\n"
            "orva-utility: Write Flash Memory --> 50% done\norva-utility: OS image update: FlashWriteFile failed\n");
    std::vector<std::string> log = c.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "FlashWriteString_Img(1, 0, 37856) -> 0") << "no reboot after a failed write";
}

}  // namespace
}  // namespace orva::test
