// The same scripts and one-shot commands on a simulated controller and on a
// board (a real loop device, a fixture board.toml) with the same registry
// and identity: the same transcript, the same device calls in the event log,
// the same saved registry and the same image in flash; with --json the same
// objects, an image already written being read back from the device.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/utsname.h>
#include <sys/wait.h>

#include <fstream>

#include "tests/scenario/harness.h"
#include "tests/simulator/temp_dir.h"
#include "tests/support/image_bytes.h"
#include "tests/support/loop_device.h"

extern char** environ;

namespace orva::test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kAreaSize = 29360128;  // a 256 KiB-segment controller's image area

// `orva-controller -C DIR module serve`: the I/O module on a pseudo-terminal
// of its own, for the board's COM0.
class Module {
public:
    explicit Module(const fs::path& controller) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string tool = controller_tool_path(), dir = controller.string();
        std::vector<char*> argv{
            tool.data(), const_cast<char*>("-C"), dir.data(), const_cast<char*>("module"), const_cast<char*>("serve"),
            nullptr};
        if (posix_spawn(&m_pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        for (char ch; read(out[0], &ch, 1) == 1 && ch != '\n';) path += ch;
        close(out[0]);
    }
    ~Module() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    std::string path;

private:
    pid_t m_pid = -1;
};

// A simulated controller and a board that hold the same.
struct Twins {
    Twins() : loop(dir / "device", kAreaSize), module(sim.dir()) {
        // The board's library says who it is, and the kernel's release.
        utsname u{};
        uname(&u);
        std::string kernel = u.release;
        kernel.resize(6, ' ');
        sim.set_config("identity", "sdk_version", "\"Orva board library " ORVA_VERSION "\"");
        sim.set_config("identity", "kernel_version", "\"" + kernel + "\"");
        std::ofstream(board_file()) << "[board]\nstate_dir = \"state\"\n[flash]\ndevice = \"" << loop.path()
                                    << "\"\n[identity]\nserial_number = \"fixed:0123456789ABCDEF\"\n"
                                    << "mac = [\"fixed:02:00:00:00:00:01\", \"fixed:02:00:00:00:00:02\"]\n"
                                    << "os_version = \"Windows CE 4.20 (Build 1088)\"\n[serial]\nCOM0 = \""
                                    << module.path
                                    << "\"\n[reboot]\ncommand = [\"true\"]\n[apply]\ndir = \"apply.d\"\n";
        board_tool({"log", "--clear"});  // the board's state, made on first use
        image = pattern(3 * 262144 + 1000, 21);
        for (const fs::path& root : {sim.fs(), dir / "state" / "fs"})
            write_host_file(root / "Storage Card" / "nk.bin", image);
    }
    fs::path board_file() const { return dir / "board.toml"; }
    RunResult board_run(const std::string& script) const {
        return run_program({utility_path(), "--board", board_file().string(), "--frontend", "script", "-"}, script);
    }
    RunResult board_command(std::vector<std::string> args) const {
        args.insert(args.begin(), {utility_path(), "--board", board_file().string()});
        return run_program(args);
    }
    RunResult board_tool(std::vector<std::string> args) const {
        args.insert(args.begin(), {controller_tool_path(), "--board", board_file().string()});
        return run_program(args);
    }
    // Both sides' event logs, emptied.
    void clear_logs() const {
        sim.clear_log();
        board_tool({"log", "--clear"});
    }
    void expect_same_state() const {
        EXPECT_EQ(board_tool({"log"}).out, sim.tool({"log"}).out);
        EXPECT_EQ(board_tool({"reg", "--saved", "export"}).out, sim.tool({"reg", "--saved", "export"}).out);
        const RunResult flash = board_tool({"flash", "read", "0", "4"});
        EXPECT_EQ(flash.exit_code, 0) << flash.err;
        EXPECT_TRUE(flash.out == sim.tool({"flash", "read", "0", "4"}).out) << "the images in flash differ";
    }

    TempController sim;
    TempDir dir;
    LoopDevice loop;
    Module module;
    std::string image;
};

TEST(BoardTwin, EveryPageGivesTheSameTranscriptAsOnASimulatedController) {
    ORVA_NEEDS_LOOP_DEVICES();
    Twins t;
    ASSERT_FALSE(t.loop.path().empty());
    ASSERT_FALSE(t.module.path.empty());
    t.clear_logs();
    const std::string script =
        "select 1064 2\nselect 1065 1\nselect 1070 2\nclick 1066\n"
        "type 1061 \"\\\\Storage Card\"\nclick 1062\n"
        "tab 2\ntab 3\ntype 1024 \"\\\\Storage Card\\\\nk.bin\"\nclick 1044\n"
        "tab 4\npick \"\\\\Storage Card\\\\nk.bin\"\nclick 1036\nanswer OK NO\nclick 1038\n"
        "tab 1\nclick 1002\nanswer YES YES NO\ncancel\n";
    const RunResult board = t.board_run(script);
    const RunResult sim = t.sim.run(script);
    EXPECT_EQ(board.exit_code, 0) << board.err;
    EXPECT_EQ(board.out, sim.out);
    EXPECT_NE(board.out.find("Update OS image succeed"), std::string::npos) << board.out;
    t.expect_same_state();
    // The registry viewer ran on each once every change was made (a program
    // of its own, which may still be running) and wrote the same registry.
    const auto viewed = [](const fs::path& root) {
        for (int tries = 0; tries < 100 && !fs::exists(root / "Temp" / "RegView.txt"); ++tries) usleep(50000);
        std::ifstream in(root / "Temp" / "RegView.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_NE(viewed(t.dir / "state" / "fs"), "");
    EXPECT_EQ(viewed(t.dir / "state" / "fs"), viewed(t.sim.fs()));
}

TEST(BoardTwin, OneShotCommandsAndARebootGiveTheSameResults) {
    ORVA_NEEDS_LOOP_DEVICES();
    Twins t;
    ASSERT_FALSE(t.loop.path().empty());
    t.clear_logs();
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"info", "--json"},
                                               {"display", "800x600"},
                                               {"display", "800x600", "--json"},
                                               {"update", "\\Storage Card\\nk.bin", "--reboot"},
                                               {"update", "\\Storage Card\\nk.bin", "--if-changed", "--json"},
                                               {"ftp-dir"},
                                               {"http-dir", "\\Storage Card"},
                                               {"http-dir", "\\Windows", "--check", "--json"},
                                               {"autorun", "2", "\\Storage Card\\nk.bin"},
                                               {"registry", "set", "Site", "Speed", "REG_DWORD", "9600", "--json"},
                                               {"save", "--json"},
                                               {"update", "\\Storage Card\\missing.bin"},
                                               {"factory-reset", "--reboot"}}) {
        const RunResult board = t.board_command(args);
        const RunResult sim = t.sim.command(args);
        EXPECT_EQ(board.exit_code, sim.exit_code) << args[0] << ": " << board.err;
        EXPECT_EQ(board.out, sim.out) << args[0];
        // The image written just before is read back and left alone.
        if (args.size() > 2 && args[2] == "--if-changed") {
            EXPECT_NE(board.out.find("\"changed\": false"), std::string::npos) << board.out;
        }
    }
    t.expect_same_state();
    // The last reboot loaded the factory registry: the reset had erased the saved copy.
    EXPECT_EQ(t.board_tool({"reg", "get", "Drivers\\Display\\MQ200", "CxScreen"}).out, "REG_DWORD 4 640\n");
}

}  // namespace
}  // namespace orva::test
