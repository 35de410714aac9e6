// The command line of orva-utility: commands and scripts told apart, options
// anywhere, the exit codes, --help and --version, bad options that end the
// program before any window, and the warnings of controller.toml as both
// programs print them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

TEST(CommandLine, UsageErrorsExitWithTwoAndOneLine) {
    TempController c;
    const std::string dir = c.dir().string();
    struct Row {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"-C", dir, "frob"}, "orva-utility: unknown command frob, and no script file of that name (see --help)\n"},
        {{"-C", dir, "frob", "x"}, "orva-utility: unknown command frob (see --help)\n"},
        {{"-C", dir, "info", "--frob"}, "orva-utility: unknown option --frob (see --help)\n"},
        {{"-C", dir, "save", "now"}, "orva-utility: save: takes no arguments\n"},
        {{"-C", dir, "ftp-dir", "a", "b"}, "orva-utility: ftp-dir: takes at most one PATH\n"},
        {{"-C", dir, "--frontend", "script", "info"}, "orva-utility: --frontend is not used by the command info\n"},
        {{"-C", dir, "--reboot", "-"}, "orva-utility: --reboot is an option of the commands (see --help)\n"},
        {{"info", "-C"}, "orva-utility: -C needs a directory\n"},
        {{"-C", (c.dir() / "none").string(), "info"},
         "orva-utility: " + (c.dir() / "none").string() + ": no controller here (not a directory)\n"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> argv{utility_path()};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        RunResult r = run_program(argv);
        EXPECT_EQ(r.exit_code, 2) << row.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, row.err);
    }
}

TEST(CommandLine, TheControllerMayBeNamedAnywhereOrByTheEnvironment) {
    TempController c;
    const std::string dir = c.dir().string();
    for (auto args : std::vector<std::vector<std::string>>{{"--controller", dir, "ftp-dir"},
                                                           {"ftp-dir", "--controller=" + dir},
                                                           {"ftp-dir", "-C", dir},
                                                           {"-C" + dir, "ftp-dir"}}) {
        std::vector<std::string> argv{utility_path()};
        argv.insert(argv.end(), args.begin(), args.end());
        RunResult r = run_program(argv);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, "\\Temp\n");
    }
    RunResult r = run_program({utility_path(), "ftp-dir"}, "", {"ORVA_CONTROLLER=" + dir});
    EXPECT_EQ(r.out, "\\Temp\n") << r.err;
    // After "--" a word that looks like an option is an argument.
    r = c.command({"autorun", "3", "--", "-x"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines(r.out).at(2), "3 -x");
}

TEST(CommandLine, AScriptNamedLikeACommandIsGivenWithItsPath) {
    TempController c;
    const fs::path script = c.dir().parent_path() / "info";
    std::ofstream(script) << "answer NO\ncancel\n";
    RunResult r = run_program({utility_path(), "-C", c.dir().string(), script.string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines(r.out).back(), "exit 0");
    RunResult as_command = c.command({"info"});
    EXPECT_EQ(lines(as_command.out).front(), "Slot 1: R-OR5DI");
    // A script error still exits 2.
    RunResult bad = c.run("frobnicate\n");
    EXPECT_EQ(bad.exit_code, 2);
}

TEST(CommandLine, HelpListsTheCommandsAndTheScriptRule) {
    RunResult r = run_program({utility_path(), "--help"});
    EXPECT_EQ(r.exit_code, 0);
    for (const char* text :
         {"info", "display [MODE]", "ftp-dir [PATH]", "http-dir [PATH]", "autorun [N [PATH]]...",
          "update IMAGE [--sha256 HEX] [--if-changed]", "save ", "factory-reset", "reboot", "registry get KEY [VALUE]",
          "registry set KEY VALUE TYPE DATA", "registry delete KEY VALUE", "--no-save", "--reboot", "--json",
          "--dry-run, --check", "-C DIR, --controller DIR",
          "a box with a\nsingle OK button is answered OK at once and takes nothing from the queue", "Exit status: 0"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
    EXPECT_EQ(run_program({utility_path(), "display", "-h"}).out, r.out);
}

TEST(CommandLine, UnknownConfigKeysAreWarningsForBothPrograms) {
    TempController c;
    c.set_config("module", "delay_msec", "5");
    RunResult r = c.command({"ftp-dir"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "\\Temp\n");
    const std::string where = (c.dir() / "controller.toml").string() + ":";
    const std::string what = ": unknown key \"delay_msec\" in [module] (did you mean \"delay_ms\"?); it is ignored\n";
    ASSERT_EQ(r.err.rfind("orva-utility: warning: " + where, 0), 0u) << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    RunResult tool = c.tool({"reg", "get", "Comm\\FTPD", "DefaultDir"});
    EXPECT_EQ(tool.exit_code, 0);
    EXPECT_EQ(tool.err.rfind("orva-controller: warning: " + where, 0), 0u) << tool.err;

    // A byte TOML never allows makes the controller unusable: exit 2 with the line.
    std::ofstream(c.dir() / "controller.toml", std::ios::app) << "[\x02]\n";
    r = c.command({"ftp-dir"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("control character 0x02"), std::string::npos) << r.err;
    EXPECT_EQ(c.tool({"log"}).exit_code, 2);
}

TEST(CommandLine, VersionIsOneLine) {
    RunResult r = run_program({utility_path(), "--version"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "orva-utility " ORVA_VERSION "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_NE(run_program({utility_path(), "--help"}).out.find("--version"), std::string::npos);
}

TEST(CommandLine, BadOptionsEndBeforeAnyWindow) {
    TempController c;
    RunResult unknown = run_program({utility_path(), "--bogus"});
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_EQ(lines(unknown.err).size(), 1u);
    RunResult missing_script = run_program({utility_path(), "--controller", c.dir().string(), "/nonexistent/script"});
    EXPECT_EQ(missing_script.exit_code, 2);
    EXPECT_NE(missing_script.err.find("/nonexistent/script"), std::string::npos);
    RunResult no_controller = run_program({utility_path(), "--controller", "/nonexistent/ctl", "-"}, "cancel\n");
    EXPECT_EQ(no_controller.exit_code, 2);
    EXPECT_EQ(lines(no_controller.err).size(), 1u);
    RunResult not_controller = run_program({utility_path(), "--controller", "/tmp", "-"}, "cancel\n");
    EXPECT_EQ(not_controller.exit_code, 2);
    RunResult no_terminal = run_program({utility_path(), "--controller", c.dir().string()});
    EXPECT_EQ(no_terminal.exit_code, 2);
    EXPECT_NE(no_terminal.err.find("--frontend script"), std::string::npos);
}

}  // namespace
}  // namespace orva::test
