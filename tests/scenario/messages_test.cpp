// What the programs write on standard error, for a script to grep: every
// line starts with the program's name, and why the flash file failed is
// named in the system's words under the box that reports the failure.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>

#include "tests/scenario/harness.h"
#include "tests/support/image_bytes.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBox = "orva-utility: OS image update: FlashWriteFile failed\n";

RunResult update(const fs::path& dir, const std::vector<std::string>& as = {}) {
    std::vector<std::string> argv = as;
    for (const std::string& a :
         {utility_path(), std::string("-C"), dir.string(), std::string("update"), std::string("\\Temp\\nk.bin")})
        argv.push_back(a);
    return run_program(argv);
}

TEST(Messages, AFlashFileFailureIsNamedUnderTheBox) {
    const std::string image = pattern(300000);
    {
        TempController c;
        write_host_file(c.fs() / "Temp" / "nk.bin", image);
        fs::remove(c.dir() / "flash.img");
        fs::create_directory(c.dir() / "flash.img");
        RunResult r = update(c.dir());
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err,
                  std::string("orva-utility: warning: the update erases the registry saved in flash: the next "
                              "start loads the factory registry unless the registry is saved again before it\n") +
                      "orva-utility: Write File to Flash: Flash Size Unknown\norva-utility: " +
                      (c.dir() / "flash.img").string() + ": cannot open the flash file: is a directory\n" + kBox);
    }
    {
        // A flash file the user may not write: as root, the program runs as
        // nobody on a controller that nobody owns.
        TempController c;
        write_host_file(c.fs() / "Temp" / "nk.bin", image);
        fs::permissions(c.dir() / "flash.img", fs::perms(0444));
        std::vector<std::string> as;
        if (geteuid() == 0) {
            as = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
            ASSERT_EQ(run_program({"/usr/bin/chown", "-R", "65534:65534", c.dir().parent_path().string()}).exit_code,
                      0);
        }
        RunResult r = update(c.dir(), as);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(kBox + ("orva-utility: " + (c.dir() / "flash.img").string() +
                                     ": erase failed: Permission denied\n")),
                  std::string::npos)
            << r.err;
    }
    // A full disk: a controller on a small tmpfs, where mounting one is allowed.
    char tmpl[] = "/tmp/orva-full-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path mnt = tmpl;
    if (::mount("tmpfs", tmpl, "tmpfs", 0, "size=512k") == 0) {
        const fs::path dir = mnt / "controller";
        ASSERT_EQ(run_program({controller_tool_path(), "init", dir.string()}).exit_code, 0);
        write_host_file(dir / "fs" / "Temp" / "nk.bin", image);
        RunResult r = update(dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(kBox + ("orva-utility: " + (dir / "flash.img").string() +
                                     ": write failed: No space left on device\n")),
                  std::string::npos)
            << r.err;
        ::umount2(tmpl, MNT_DETACH);
    }
    fs::remove_all(mnt);
}

TEST(Messages, EveryLineOnStandardErrorStartsWithTheProgramsName) {
    TempController c;
    c.set_config("controller", "colour", "\"blue\"");
    write_host_file(c.fs() / "Temp" / "nk.bin", pattern(300000));
    fs::remove(c.dir() / "flash.img");
    fs::create_directory(c.dir() / "flash.img");
    const std::string zeros(64, '0');
    const std::pair<std::string, RunResult> runs[] = {
        {"orva-utility", c.command({"update", "\\Temp\\nk.bin"})},
        {"orva-utility", c.command({"update", "\\Temp\\nk.bin", "--sha256", zeros})},
        {"orva-utility", c.command({"autorun", "11"})},
        {"orva-utility", c.command({"--wait", "soon", "info"})},
        {"orva-utility", c.run("tab 4\n" + type(IDC_IMAGE_PATH, "\\Temp\\nk.bin") + "answer OK NO NO\n" +
                               click(IDC_WRITE_FLASH) + "cancel\n")},
        {"orva-controller", c.tool({"flash", "state"})},
        {"orva-controller", c.tool({"reg", "get", "Nowhere", "x"})},
        {"orva-controller", c.tool({"reg"})},
    };
    for (const auto& [program, r] : runs) {
        EXPECT_FALSE(r.err.empty());
        for (const std::string& line : lines(r.err)) EXPECT_EQ(line.rfind(program + ": ", 0), 0u) << line;
    }
}

}  // namespace
}  // namespace orva::test
