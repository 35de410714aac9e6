// The commands that set a value, run again, change nothing (no registry
// write, no save, no device call but reads); with --check they change
// nothing either and say what would change. Proven by the controller's
// files, byte for byte, and the event log before and after.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/scenario/harness.h"
#include "tests/scenario/json.h"
#include "tests/simulator/temp_dir.h"
#include "tests/support/image_bytes.h"

namespace orva::test {
namespace {

namespace fs = std::filesystem;

// Every file of the controller but its logs, with its bytes.
std::map<std::string, std::string> files_of(const TempController& c) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(c.dir())) {
        const std::string name = entry.path().lexically_relative(c.dir()).string();
        if (!entry.is_regular_file() || name == "events.log" || name == "debug.log") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        out[name] = bytes.str();
    }
    return out;
}

// The object a command printed with --json (an empty one when it printed none).
Json::Object object_of(const RunResult& r) {
    auto json = parse_json(r.out);
    return json && json->object() ? *json->object() : Json::Object{};
}

bool changed(const RunResult& r) {
    const Json::Object o = object_of(r);
    auto it = o.find("changed");
    return it != o.end() && std::get<bool>(it->second.value);
}

// Whether every line is a device call that only reads.
bool only_reads(const std::vector<std::string>& log) {
    for (const std::string& line : log)
        if (line.rfind("Get", 0) != 0 && line.rfind("ReadMAC", 0) != 0 && line.rfind("ChangeSlotToVex", 0) != 0)
            return false;
    return true;
}

std::vector<std::string> with_json(std::vector<std::string> args) {
    args.push_back("--json");
    return args;
}

struct Fixture {
    TempController c;
    std::string sum;
    Fixture() {
        write_host_file(c.fs() / "Temp" / "nk.bin", pattern(300000));
        sum = run_program({"/usr/bin/sha256sum", (c.fs() / "Temp" / "nk.bin").string()}).out.substr(0, 64);
    }
};

TEST(Idempotence, ASecondRunWritesNothingAndCallsNoDevice) {
    Fixture f;
    const std::vector<std::vector<std::string>> rows = {
        {"display", "800x600x8@75"},
        {"ftp-dir", "\\Windows"},
        {"http-dir", "\\Temp"},
        {"autorun", "1", "\\Windows\\a.exe", "10", "\\Windows\\b.exe"},
        {"registry", "set", "Site\\Line", "Speed", "REG_DWORD", "0x2580"},
        {"registry", "delete", "Site\\Line", "Speed"},
        {"update", "\\Temp\\nk.bin", "--if-changed", "--sha256", f.sum},
        // The update erased the saved copy: the first save is a change.
        {"save"},
    };
    for (const auto& args : rows) {
        RunResult first = f.c.command(with_json(args));
        ASSERT_EQ(first.exit_code, 0) << args[0] << ": " << first.err;
        EXPECT_TRUE(changed(first)) << args[0] << ": " << first.out;
        const auto files = files_of(f.c);
        f.c.clear_log();
        RunResult again = f.c.command(with_json(args));
        EXPECT_EQ(again.exit_code, 0) << args[0] << ": " << again.err;
        EXPECT_FALSE(changed(again)) << args[0] << ": " << again.out;
        const Json::Object o = object_of(again);
        if (o.count("before")) {
            EXPECT_EQ(o.at("before").value, o.at("after").value) << again.out;
        }
        EXPECT_TRUE(f.c.log().empty()) << args[0];
        EXPECT_TRUE(files_of(f.c) == files) << args[0] << ": a file changed";
    }
}

TEST(Idempotence, AValueThatIsLiveButNotSavedIsSavedOnly) {
    TempController c;
    ASSERT_EQ(c.command({"ftp-dir", "\\Windows", "--no-save"}).exit_code, 0);
    RunResult r = c.command({"ftp-dir", "\\Windows", "--json"});
    EXPECT_EQ(r.out,
              "{\"changed\": true, \"before\": {\"path\": \"\\\\Windows\", \"saved\": false}, \"after\": {\"path\": "
              "\"\\\\Windows\", \"saved\": true}, \"warnings\": []}\n");
    EXPECT_EQ(c.saved_get("Comm\\FTPD", "DefaultDir"), "REG_SZ 200 \"\\\\Windows\"");
    // With --no-save a live value is all that is asked for.
    ASSERT_EQ(c.command({"ftp-dir", "\\Temp", "--no-save"}).exit_code, 0);
    EXPECT_FALSE(changed(c.command({"ftp-dir", "\\Temp", "--no-save", "--json"})));
    EXPECT_TRUE(changed(c.command({"ftp-dir", "\\Temp", "--json"})));
    EXPECT_FALSE(changed(c.command({"save", "--json"})));
}

TEST(CheckMode, WritesNothingAndSaysWhatWouldChange) {
    Fixture f;
    ASSERT_EQ(f.c.command({"registry", "set", "Site\\Line", "Speed", "REG_DWORD", "9600"}).exit_code, 0);
    ASSERT_EQ(f.c.command({"http-dir", "\\Temp", "--no-save"}).exit_code, 0);
    struct Row {
        std::vector<std::string> args;
        std::string after;  // in the object's "after"
    } rows[] = {
        {{"display", "1024x768", "--reboot"}, "\"mode\": \"1024x768x16@60\""},
        {{"ftp-dir", "\\Windows"}, "\"path\": \"\\\\Windows\""},
        {{"autorun", "2", "\\x.exe"}, "\"\\\\x.exe\""},
        {{"registry", "set", "Site\\New", "Name", "REG_SZ", "text"}, "\"data\": \"text\""},
        {{"registry", "delete", "Site\\Line", "Speed"}, "\"exists\": false"},
        {{"update", "\\Temp\\nk.bin", "--sha256", f.sum, "--if-changed", "--reboot"}, "\"holds_image\": true"},
        {{"save"}, "\"saved\": true"},
        {{"factory-reset", "--reboot"}, "\"saved\": false"},
        {{"reboot"}, "\"saved\": true"},
    };
    for (const Row& row : rows) {
        const auto files = files_of(f.c);
        f.c.clear_log();
        std::vector<std::string> args = row.args;
        args.push_back(args.size() % 2 ? "--check" : "--dry-run");
        RunResult r = f.c.command(with_json(args));
        EXPECT_EQ(r.exit_code, 0) << args[0] << ": " << r.err;
        EXPECT_TRUE(changed(r)) << args[0] << ": " << r.out;
        const size_t after = r.out.find("\"after\"");
        EXPECT_NE(r.out.find(row.after, after), std::string::npos) << r.out;
        EXPECT_TRUE(only_reads(f.c.log())) << args[0];
        EXPECT_TRUE(files_of(f.c) == files) << args[0] << ": a file changed";
    }
    // The image's checks ran: its size was asked for.
    f.c.clear_log();
    f.c.command({"update", "\\Temp\\nk.bin", "--check"});
    EXPECT_EQ(f.c.log(), std::vector<std::string>{"GetFlashSize_Img() -> 29360128"});
}

TEST(CheckMode, FailsAsTheRealRunWouldWithTheJsonFailure) {
    TempController c;
    const std::string box = "Directory Not exist: Directory not exist, please create it first. ErrCode : 2";
    for (const char* mode : {"--check", "--no-save"}) {
        RunResult r = c.command({"ftp-dir", "\\Nowhere", mode, "--json"});
        EXPECT_EQ(r.exit_code, 1) << mode;
        EXPECT_EQ(r.out, "{\"failed\": true, \"msg\": \"" + box + "\", \"warnings\": []}\n");
        EXPECT_EQ(r.err, "orva-utility: " + box + "\n");
    }
    // A bad command line is a failure object too, with exit code 2.
    RunResult r = c.command({"display", "999x1", "--json"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(object_of(r).count("failed"), 1u) << r.out;
}

// On a board, an image in a folder board.toml mounts is found with --check
// as without it: the check run sees the board's own paths.
TEST(CheckMode, SeesABoardsMountedFolders) {
    TempDir dir;
    write_host_file(dir.path() / "card" / "nk.bin", pattern(1000));
    write_host_file(dir.path() / "board.toml",
                    "[board]\nstate_dir = \"state\"\n[flash]\ndevice = \"" + (dir.path() / "no-flash").string() +
                        "\"\n[files]\nmounts = { \"Storage Card\" = \"" + (dir.path() / "card").string() + "\" }\n");
    std::string msg[2];
    for (int check = 0; check < 2; ++check) {
        std::vector<std::string> args{utility_path(),
                                      "--board",
                                      (dir.path() / "board.toml").string(),
                                      "update",
                                      (dir.path() / "card" / "nk.bin").string(),
                                      "--json"};
        if (check) args.push_back("--check");
        RunResult r = run_program(args);
        EXPECT_EQ(r.exit_code, 1) << r.err;
        const Json::Object o = object_of(r);
        if (o.count("msg")) msg[check] = *o.at("msg").string();
    }
    EXPECT_EQ(msg[0], "Write File to Flash: Flash Size Unknown");
    EXPECT_EQ(msg[1], msg[0]);
}

// A value that cannot be read is never shown nor taken for "before", and a
// factory restore that erased nothing is a failure: exit 1 and the object
// that says so.
TEST(JsonFailure, AValueNotReadAndARestoreThatErasedNothing) {
    TempController c;
    c.tool({"reg", "delete", "Comm\\FTPD", "DefaultDir"});
    RunResult r = c.command({"ftp-dir", "--json"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out,
              "{\"failed\": true, \"msg\": \"ftp-dir: Comm\\\\FTPD DefaultDir cannot be read: there is no such "
              "value\", \"warnings\": []}\n");
    r = c.command({"ftp-dir", "\\Windows", "--json"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("\"before\": {\"path\": null, \"saved\": false}"), std::string::npos) << r.out;

    write_host_file(c.dir() / "registry-live.db", "not a registry copy");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"display"}, {"display", "800x600"}, {"display", "800x600", "--check"}}) {
        r = c.command(with_json(args));
        EXPECT_EQ(r.exit_code, 1) << args.size();
        const Json::Object o = object_of(r);
        ASSERT_EQ(o.count("msg"), 1u) << r.out;
        EXPECT_NE(o.at("msg").string()->find("CxScreen cannot be read"), std::string::npos) << r.out;
        EXPECT_EQ(o.count("mode") + o.count("before"), 0u) << r.out;
    }

    ASSERT_EQ(c.tool({"reg", "restore", "--from", "saved"}).exit_code, 0);
    fs::remove(c.dir() / "registry-saved.db");
    fs::create_directory(c.dir() / "registry-saved.db");
    r = c.command({"factory-reset", "--json"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(*object_of(r).at("msg").string(),
              "Recover to Factory Settings: the registry could not be erased: FlashErase_Reg failed for 16 of its 16 "
              "segments");
}

}  // namespace
}  // namespace orva::test
