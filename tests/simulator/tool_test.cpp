// orva-controller, run in-process: every command, its output format, its
// one-line errors with exit code 1 (the operation failed) or 2 (a bad
// command line, no controller), and the options that may stand anywhere.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "device/device_library.h"
#include "simulator/reg_encoding.h"
#include "simulator/sim_controller.h"
#include "temp_dir.h"
#include "tools/orva-controller/cli.h"

namespace orva::tool {
namespace {

struct Result {
    int rc;
    std::string out;
    std::string err;
};

class Tool : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(run({"init", ctl.string()}).rc, 0); }
    Result run(std::vector<std::string> args, bool terminal = false) {
        std::ostringstream out, err;
        int rc = run_controller_tool(args, out, err, terminal);
        return {rc, out.str(), err.str()};
    }
    Result on(std::vector<std::string> args) {
        args.insert(args.begin(), {"-C", ctl.string()});
        return run(args);
    }
    void expect_error(std::vector<std::string> args, const std::string& text, int code = 1) {
        Result r = on(args);
        EXPECT_EQ(r.rc, code) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    test::TempDir dir;
    std::filesystem::path ctl = dir / "ctl";
};

TEST_F(Tool, RegGetFormats) {
    EXPECT_EQ(on({"reg", "get", "Drivers\\Display\\MQ200", "CxScreen"}).out, "REG_DWORD 4 640\n");
    EXPECT_EQ(on({"reg", "get", "comm\\ftpd", "DEFAULTDIR"}).out, "REG_SZ 12 \"\\\\Temp\"\n");
    ASSERT_EQ(on({"reg", "set", "Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Storage Card", "--size", "200"}).rc, 0);
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", "DefaultDir"}).out, "REG_SZ 200 \"\\\\Storage Card\"\n");
    ASSERT_EQ(on({"reg", "set", "Comm\\FTPD", "Odd", "REG_SZ", "a\"b\r\n\x01\xC3\xA9"}).rc, 0);
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", "Odd"}).out, "REG_SZ 16 \"a\\\"b\\r\\n\\x01\xC3\xA9\"\n");
    ASSERT_EQ(on({"reg", "set", "Comm\\FTPD", "Bin", "REG_BINARY", "hex:01,02,03"}).rc, 0);
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", "Bin"}).out, "REG_BINARY 3 hex:01,02,03\n");
    ASSERT_EQ(on({"reg", "set", "Comm\\FTPD", "Raw", "hex(1)", "hex:41,00"}).rc, 0);
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", "Raw"}).out, "REG_SZ 2 \"A\"\n");
    ASSERT_EQ(on({"reg", "set", "Comm\\FTPD", "Hex", "REG_DWORD", "0x1F", "--size", "6"}).rc, 0);
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", "Hex"}).out, "REG_DWORD 6 hex:1f,00,00,00,00,00\n");
    ASSERT_EQ(on({"reg", "set", "Comm\\FTPD", "", "REG_DWORD", "4294967295"}).rc, 0);
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", ""}).out, "REG_DWORD 4 4294967295\n");
    EXPECT_EQ(on({"reg", "get", "Comm\\ENET1\\Parms\\TcpIp", "IpAddress"}).out, "REG_MULTI_SZ 28 \"192.168.0.10\"\n");
}

TEST_F(Tool, RegErrors) {
    expect_error({"reg", "get", "Init", "Launch80"}, "no value \"Launch80\" in key \"Init\"");
    expect_error({"reg", "get", "Nope", "X"}, "no key \"Nope\"");
    expect_error({"reg", "set", "Nope", "X", "REG_DWORD", "1"}, "no key \"Nope\"");
    expect_error({"reg", "delete", "Init", "Nothing"}, "no value");
    // Bad arguments are usage errors.
    expect_error({"reg", "set", "Init", "X", "REG_DWORD", "4294967296"}, "does not fit", 2);
    expect_error({"reg", "set", "Init", "X", "REG_DWORD", "12a"}, "not a decimal", 2);
    expect_error({"reg", "set", "Init", "X", "REG_BINARY", "hex:1,2"}, "bad hex data", 2);
    expect_error({"reg", "set", "Init", "X", "REG_SZ", "long text", "--size", "4"}, "smaller than the data", 2);
    expect_error({"reg", "set", "Init", "X", "REG_FOO", "1"}, "unknown type", 2);
    expect_error({"reg", "get", "Init"}, "reg get needs KEY VALUE", 2);
    expect_error({"reg", "frob"}, "unknown reg subcommand", 2);
    expect_error({"frob"}, "unknown command", 2);
    expect_error({"--frob", "log"}, "unknown option --frob", 2);
    for (auto args : std::vector<std::vector<std::string>>{{"-C", (dir / "none").string(), "log"},
                                                           {"log", "--controller", (dir / "none").string()}}) {
        Result r = run(args);
        EXPECT_EQ(r.rc, 2);
        EXPECT_NE(r.err.find("none: no controller here"), std::string::npos) << r.err;
    }
}

TEST_F(Tool, ControllerOptionStandsAnywhere) {
    const std::string d = ctl.string();
    for (auto args :
         std::vector<std::vector<std::string>>{{"-C", d, "reg", "get", "Comm\\FTPD", "DefaultDir"},
                                               {"reg", "get", "--controller", d, "Comm\\FTPD", "DefaultDir"},
                                               {"reg", "get", "Comm\\FTPD", "DefaultDir", "--controller=" + d},
                                               {"reg", "-C" + d, "get", "Comm\\FTPD", "DefaultDir"}}) {
        Result r = run(args);
        EXPECT_EQ(r.rc, 0) << r.err;
        EXPECT_EQ(r.out, "REG_SZ 12 \"\\\\Temp\"\n");
    }
    // After "--" an argument that looks like an option is data.
    ASSERT_EQ(on({"reg", "set", "Init", "Launch80", "REG_SZ", "--", "-C"}).rc, 0);
    EXPECT_EQ(on({"reg", "get", "Init", "Launch80"}).out, "REG_SZ 6 \"-C\"\n");
    EXPECT_EQ(on({"reg", "get", "Init", "Launch80", "-C"}).rc, 2);
}

// What only a simulated controller has is refused on a board, as a usage
// error, and so is naming both.
TEST_F(Tool, ABoardRefusesWhatOnlyASimulatedControllerHas) {
    const std::filesystem::path board = dir / "board.toml";
    std::ofstream(board) << "[board]\nstate_dir = \"state\"\n[flash]\ndevice = \"/dev/null\"\n";
    const std::string given = "--board=" + board.string();
    struct Row {
        std::vector<std::string> args;
        const char* text;
    } rows[] = {
        {{given, "init", (dir / "new").string()}, "init makes a simulated controller"},
        {{given, "module", "serve"}, "module serve is the simulated module"},
        {{given, "flash", "reset"}, "flash reset makes a new simulated flash"},
        {{"--board", board.string(), "-C", ctl.string(), "log"}, "--board and --controller each choose"},
    };
    for (const Row& row : rows) {
        Result r = run(row.args);
        EXPECT_EQ(r.rc, 2) << row.text << ": " << r.err;
        EXPECT_NE(r.err.find(row.text), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "new"));
}

TEST_F(Tool, FileErrorsNameTheFileAndTheReason) {
    std::filesystem::create_directory(dir / "folder");
    std::ofstream(dir / "big.reg") << "";
    std::filesystem::resize_file(dir / "big.reg", sim::kMaxFileSize + 1);
    const std::string missing = (dir / "nosuch.reg").string();
    struct Row {
        std::string file;
        std::string message;
    } rows[] = {
        {missing, "reg import " + missing + ": No such file or directory"},
        {(dir / "folder").string(), "reg import " + (dir / "folder").string() + ": Is a directory"},
        {"/dev/zero", "reg import /dev/zero: is a device, not a file"},
        {(dir / "big.reg").string(), "big.reg: larger than 64 MiB; not read"},
    };
    for (const Row& row : rows) expect_error({"reg", "import", row.file}, row.message);
}

TEST_F(Tool, KeysAndCopies) {
    EXPECT_EQ(on({"reg", "mkkey", "Software\\Test\\Deep"}).rc, 0);
    EXPECT_EQ(on({"reg", "set", "software\\test\\deep", "A", "REG_DWORD", "5"}).rc, 0);
    EXPECT_EQ(on({"reg", "--saved", "get", "Software\\Test\\Deep", "A"}).rc, 1);  // not flushed
    EXPECT_EQ(on({"reg", "delete", "Software\\Test"}).rc, 0);
    EXPECT_EQ(on({"reg", "get", "Software\\Test\\Deep", "A"}).rc, 1);
    EXPECT_EQ(on({"reg", "delete", "Software\\Test"}).rc, 1);

    // Changing the factory registry rewrites factory.reg.
    ASSERT_EQ(on({"reg", "--factory", "set", "Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Windows"}).rc, 0);
    std::ifstream in(ctl / sim::kFactoryFile);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\"DefaultDir\"=\"\\\\Windows\""), std::string::npos);
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", "DefaultDir"}).out, "REG_SZ 12 \"\\\\Temp\"\n");
}

TEST_F(Tool, ExportImportRoundTripAndImportIsAllOrNothing) {
    ASSERT_EQ(on({"reg", "set", "Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Temp", "--size", "200"}).rc, 0);
    ASSERT_EQ(on({"reg", "set", "Comm\\FTPD", "Größe", "REG_SZ", "Grüße"}).rc, 0);
    Result utf8 = on({"reg", "export", "Comm", "--utf8"});
    ASSERT_EQ(utf8.rc, 0);
    EXPECT_EQ(utf8.out.rfind("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Comm]\n", 0), 0u);
    EXPECT_EQ(utf8.out.find("[HKEY_LOCAL_MACHINE\\Drivers"), std::string::npos);
    // By default as regedit writes it: UTF-16LE with a byte order mark and CR LF.
    Result exported = on({"reg", "export", "Comm"});
    EXPECT_EQ(exported.out, sim::utf16le_file_text(utf8.out));
    std::ofstream(dir / "comm.reg") << exported.out;

    ASSERT_EQ(on({"reg", "delete", "Comm"}).rc, 0);
    ASSERT_EQ(on({"reg", "import", (dir / "comm.reg").string()}).rc, 0);
    EXPECT_EQ(on({"reg", "export", "Comm"}).out, exported.out);
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", "DefaultDir"}).out, "REG_SZ 200 \"\\\\Temp\"\n");

    // An ANSI REGEDIT4 file with a section of another root: skipped, said once.
    std::ofstream(dir / "ansi.reg") << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n\"x\"=\"y\"\r\n\r\n"
                                       "[HKEY_LOCAL_MACHINE\\Comm\\FTPD]\r\n\"Gr\xF6\xDF\x65\"=\"3\xB0\x43\"\r\n";
    Result ansi = on({"reg", "import", (dir / "ansi.reg").string()});
    EXPECT_EQ(ansi.rc, 0);
    EXPECT_EQ(ansi.err,
              "orva-controller: warning: " + (dir / "ansi.reg").string() +
                  ":3: [HKEY_CURRENT_USER\\Software] is not under HKEY_LOCAL_MACHINE; the section is skipped\n");
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", "GRÖSSE"}).rc, 1);
    EXPECT_EQ(on({"reg", "get", "Comm\\FTPD", "GRÖßE"}).out, "REG_SZ 8 \"3°C\"\n");
    expect_error({"reg", "import", (dir / "ansi.reg").string(), "--strict"}, "ansi.reg:3: [HKEY_CURRENT_USER");
    expect_error({"reg", "import", (dir / "ansi.reg").string(), "--encoding", "latin-9"}, "unknown encoding", 2);
    expect_error({"reg", "export", "--utf-8"}, "unknown option --utf-8", 2);

    std::ofstream(dir / "bad.reg")
        << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\New]\n\"A\"=dword:1\n"
           "\"B\"=dword:xyz\n";
    expect_error({"reg", "import", (dir / "bad.reg").string()}, "bad.reg:5: dword");
    EXPECT_EQ(on({"reg", "get", "New", "A"}).rc, 1);
    expect_error({"reg", "import", (dir / "missing.reg").string()}, "missing.reg");
    expect_error({"reg", "export", "Nope"}, "no key");
}

TEST_F(Tool, LogFlashAndReboot) {
    {
        std::string error;
        auto c = sim::SimController::open_dir(ctl, &error);
        ASSERT_TRUE(c) << error;
        sim::set_current(c.get());
        std::vector<uint8_t> data(1000, 0x5A);
        FlashErase_Reg(3);
        FlashErase_Img(1);
        FlashWriteString_Img(1, 0, data.data(), 1000);
        sim::set_current(nullptr);
    }
    EXPECT_EQ(on({"log"}).out,
              "FlashErase_Reg(3) -> 1\nFlashErase_Img(1) -> 1\nFlashWriteString_Img(1, 0, 1000) -> 1\n");
    EXPECT_EQ(on({"flash", "state"}).out, "1 1000\n");
    Result read = on({"flash", "read", "1", "2"});
    ASSERT_EQ(read.rc, 0);
    ASSERT_EQ(read.out.size(), 2u * 262144);
    EXPECT_EQ(read.out[999], '\x5A');
    EXPECT_EQ(read.out[1000], '\xFF');

    // The registry segment was erased: a reboot brings back the factory registry.
    ASSERT_EQ(on({"reg", "set", "Init", "Launch80", "REG_SZ", "\\Windows\\x.exe"}).rc, 0);
    ASSERT_EQ(on({"reboot"}).rc, 0);
    EXPECT_EQ(on({"reg", "get", "Init", "Launch80"}).rc, 1);
    EXPECT_EQ(on({"log"}).out.substr(on({"log"}).out.rfind("FlashWrite")),
              "FlashWriteString_Img(1, 0, 1000) -> 1\nreboot()\n");
    EXPECT_EQ(on({"log", "--clear"}).rc, 0);
    EXPECT_EQ(on({"log"}).out, "");

    // A lost flash file is said by every flash command and made again only
    // by flash reset, erased; the registry commands go on meanwhile.
    std::filesystem::remove(ctl / "flash.img");
    expect_error({"flash", "state"}, "flash.img: cannot open the flash file: No such file or directory");
    EXPECT_EQ(on({"reg", "get", "Init", "Launch80"}).rc, 1);
    EXPECT_FALSE(std::filesystem::exists(ctl / "flash.img"));
    EXPECT_EQ(on({"flash", "reset"}).rc, 0);
    Result state = on({"flash", "state"});
    EXPECT_EQ(state.rc, 0);
    EXPECT_EQ(state.out, "");
    expect_error({"flash", "reset", "now"}, "flash needs read SEGMENT [COUNT] [--force], state or reset", 2);
}

TEST_F(Tool, FlashReadChecksSegmentAndCountAgainstTheFlash) {
    // The image area of a new 256 KiB controller is segments 0 to 111.
    struct Row {
        std::vector<std::string> args;
        const char* message;
    } rows[] = {
        {{"5", "9223372036854775807"}, "9223372036854775807 segments from 5 are not all in the image area (0 to 111)"},
        {{"5", "18446744073709551615"},
         "18446744073709551615 segments from 5 are not all in the image area (0 to 111)"},
        {{"111", "2"}, "2 segments from 111 are not all in the image area (0 to 111)"},
        {{"-9223372036854775808", "2"}, "2 segments from -9223372036854775808 are not all"},
        {{"23578"}, "segment 23578 is not in the image area (0 to 111)"},
        {{"-1"}, "segment -1 is not in the image area"},
        {{"9223372036854775808"}, "bad segment number"},
        {{"5", "0"}, "bad segment count 0"},
        {{"5", "-1"}, "bad segment count -1"},
        {{"x"}, "bad segment number x"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args{"flash", "read"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        expect_error(args, row.message, 2);
    }
    EXPECT_EQ(on({"flash", "read", "110", "2"}).out.size(), 2u * 262144);

    // Binary data goes to a terminal only when forced.
    std::vector<std::string> read{"-C", ctl.string(), "flash", "read", "0"};
    Result refused = run(read, true);
    EXPECT_EQ(refused.rc, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("not written to a terminal"), std::string::npos);
    read.push_back("--force");
    EXPECT_EQ(run(read, true).out.size(), 262144u);
}

// The kernel debug output kept in debug.log: the text as written, carriage
// returns left out; the event log does not hold it.
TEST_F(Tool, DebugLog) {
    Result none = on({"log", "--debug"});
    EXPECT_EQ(none.rc, 0);
    EXPECT_EQ(none.out, "");
    {
        std::string error;
        auto c = sim::SimController::open_dir(ctl, &error);
        ASSERT_TRUE(c) << error;
        c->debug_output("intStartSegNo=0\n\r");
        c->debug_output("intEndSegNo=3\n\r");
        c->debug_output("Serial Number Error\r\n");
        c->debug_output("no end, ");
        c->debug_output("then one\n");
    }
    EXPECT_EQ(on({"log", "--debug"}).out, "intStartSegNo=0\nintEndSegNo=3\nSerial Number Error\nno end, then one\n");
    EXPECT_EQ(on({"log"}).out, "");
    EXPECT_EQ(on({"log", "--debug", "--clear"}).rc, 0);
    EXPECT_EQ(on({"log", "--debug"}).out, "");
    for (std::vector<std::string> bad : {std::vector<std::string>{"log", "--debug", "--debug"}, {"log", "--all"}}) {
        Result r = on(bad);
        EXPECT_EQ(r.rc, 2);
        EXPECT_NE(r.err.find("log takes only --debug and --clear"), std::string::npos) << r.err;
    }
}

TEST_F(Tool, NamesHoldingNulAreRefused) {
    using namespace std::string_literals;
    expect_error({"reg", "set", "Init", "A\0B"s, "REG_DWORD", "1"}, "a value name cannot hold a NUL character");
    expect_error({"reg", "mkkey", "Software\\A\0B"s}, "a key name cannot hold a NUL character");
    expect_error({"reg", "--factory", "delete", "Init\0"s}, "a key name cannot hold a NUL character");
    expect_error({"reg", "delete", "Init", "\0"s}, "a value name cannot hold a NUL character");
    std::ofstream(dir / "nul.reg") << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A\0B]\n"s;
    expect_error({"reg", "import", (dir / "nul.reg").string()}, "nul.reg:3: a key name cannot hold a NUL character");
    EXPECT_EQ(on({"reg", "get", "A", "x"}).rc, 1);
}

// factory.reg that cannot be written (here: its temporary file's name is
// taken by a folder): the factory change is refused and made nowhere.
TEST_F(Tool, FactoryChangeThatCannotBeWrittenIsNotMade) {
    std::filesystem::create_directory(ctl / (std::string(sim::kFactoryFile) + ".new"));
    expect_error({"reg", "--factory", "set", "Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Windows"},
                 "factory.reg: cannot be written");
    EXPECT_EQ(on({"reg", "--factory", "get", "Comm\\FTPD", "DefaultDir"}).out, "REG_SZ 12 \"\\\\Temp\"\n");
    std::filesystem::remove(ctl / (std::string(sim::kFactoryFile) + ".new"));
    ASSERT_EQ(on({"reboot"}).rc, 0);  // the saved copy is valid: nothing to reload
    ASSERT_EQ(on({"reg", "--factory", "set", "Comm\\FTPD", "DefaultDir", "REG_SZ", "\\Windows"}).rc, 0);
    EXPECT_EQ(on({"reg", "--factory", "get", "Comm\\FTPD", "DefaultDir"}).out, "REG_SZ 18 \"\\\\Windows\"\n");
}

TEST_F(Tool, RestoreRebuildsTheLiveOrSavedCopy) {
    ASSERT_EQ(on({"reg", "set", "Init", "Launch80", "REG_SZ", "a.exe"}).rc, 0);
    std::ofstream(ctl / sim::kLiveCopyFile, std::ios::trunc) << "not a registry";
    Result r = on({"reg", "get", "Init", "Launch80"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(
        r.err.find("warning: the live copy of the registry cannot be used: " + (ctl / sim::kLiveCopyFile).string()),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("orva-controller reg restore --from saved"), std::string::npos) << r.err;
    // The other copies stay usable.
    EXPECT_EQ(on({"reg", "--saved", "get", "Drivers\\Display\\MQ200", "Bpp"}).out, "REG_DWORD 4 16\n");

    ASSERT_EQ(on({"reg", "restore", "--from", "saved"}).rc, 0);
    r = on({"reg", "get", "Init", "Launch80"});
    EXPECT_EQ(r.rc, 1);  // never saved
    EXPECT_EQ(r.err, "orva-controller: no value \"Launch80\" in key \"Init\"\n");
    ASSERT_EQ(on({"reg", "set", "Init", "Launch80", "REG_SZ", "a.exe"}).rc, 0);
    ASSERT_EQ(on({"reg", "restore", "--from", "factory"}).rc, 0);  // a usable copy is rebuilt too
    EXPECT_EQ(on({"reg", "get", "Init", "Launch80"}).rc, 1);

    std::ofstream(ctl / sim::kSavedCopyFile, std::ios::trunc) << "not a registry";
    r = on({"reg", "restore", "--from", "saved"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(
        r.err.find("warning: the saved copy of the registry cannot be used: " + (ctl / sim::kSavedCopyFile).string()),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("\norva-controller: the saved copy of the registry cannot be used (see the warning above)\n"),
              std::string::npos)
        << r.err;
    ASSERT_EQ(on({"reg", "--saved", "restore", "--from", "factory"}).rc, 0);
    Result ok = on({"reg", "--saved", "export"});
    EXPECT_EQ(ok.rc, 0);
    EXPECT_EQ(ok.err, "");
    {
        std::string error;
        auto c = sim::SimController::open_dir(ctl, &error);
        ASSERT_TRUE(c) << error;
        sim::set_current(c.get());
        FlashErase_Reg(0);
        sim::set_current(nullptr);
    }
    expect_error({"reg", "restore", "--from", "saved"}, "the saved copy is not valid");
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"reg", "restore"},
                                               {"reg", "restore", "--from", "live"},
                                               {"reg", "restore", "saved"},
                                               {"reg", "--saved", "restore", "--from", "saved"},
                                               {"reg", "--factory", "restore", "--from", "saved"},
                                               {"reg", "--factory", "restore"},
                                               {"reg", "restore", "--from-file"}}) {
        Result u = on(bad);
        EXPECT_NE(u.rc, 0) << bad.size();
        EXPECT_NE(u.err.find("see orva-controller --help"), std::string::npos) << u.err;
    }
    EXPECT_NE(run({"--help"}).out.find("reg --saved restore --from factory"), std::string::npos);

    // factory.reg edited: named, and the factory copy kept until it is
    // loaded on purpose; then written anew from the copy.
    std::ofstream(ctl / sim::kFactoryFile, std::ios::app) << "[HKEY_LOCAL_MACHINE\\Added]\n";
    r = on({"reg", "--factory", "get", "Added", ""});
    EXPECT_NE(r.err.find("factory.reg: not what the factory copy was loaded from"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no key \"Added\""), std::string::npos) << r.err;
    ASSERT_EQ(on({"reg", "--factory", "restore", "--from-file"}).rc, 0);
    EXPECT_EQ(on({"reg", "--factory", "mkkey", "Added\\Below"}).err, "");
    std::ofstream(ctl / sim::kFactoryFile, std::ios::trunc) << "damaged";
    ASSERT_EQ(on({"reg", "--factory", "restore", "--to-file"}).rc, 0);
    ok = on({"reg", "--factory", "export", "Added", "--utf8"});
    EXPECT_EQ(ok.err, "");
    EXPECT_NE(ok.out.find("Added\\Below"), std::string::npos);
}

TEST_F(Tool, InitAndHelp) {
    Result again = run({"init", ctl.string()});
    EXPECT_EQ(again.rc, 1);
    EXPECT_NE(again.err.find("exists already"), std::string::npos);
    EXPECT_EQ(run({"init", ctl.string(), "--force", "--segment-size", "131072"}).rc, 0);
    EXPECT_EQ(on({"flash", "read", "23578"}).out.size(), 131072u);
    EXPECT_EQ(run({"init", ctl.string(), "--segment-size", "4096"}).rc, 2);
    EXPECT_NE(run({"--help"}).out.find("reg [--saved|--factory] get KEY VALUE"), std::string::npos);
    EXPECT_NE(run({"log", "--help"}).out.find("Exit status"), std::string::npos);
    Result version = run({"--version"});
    EXPECT_EQ(version.rc, 0);
    EXPECT_EQ(version.out, "orva-controller " ORVA_VERSION "\n");
    setenv("ORVA_CONTROLLER", ctl.c_str(), 1);
    EXPECT_EQ(run({"reg", "get", "Drivers\\Display\\MQ200", "Bpp"}).out, "REG_DWORD 4 16\n");
    unsetenv("ORVA_CONTROLLER");
}

}  // namespace
}  // namespace orva::tool
