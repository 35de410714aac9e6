// `registry get/set/delete`, values no page shows, and `reboot`: what they
// print, what they leave in the live and the saved registry, their bad input.
#include <gtest/gtest.h>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

TEST(RegistryCommand, SetsMakesTheKeyAndSavesGetsAndDeletes) {
    TempController c;
    RunResult r = c.command({"registry", "set", "Site\\Line 2", "Speed", "REG_DWORD", "0x2580"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "REG_DWORD 4 9600\n");
    EXPECT_EQ(c.saved_get("Site\\Line 2", "Speed"), "REG_DWORD 4 9600");
    EXPECT_EQ(c.command({"registry", "get", "site\\line 2", "SPEED"}).out, "REG_DWORD 4 9600\n");
    r = c.command({"registry", "set", "Site", "", "REG_SZ", "caf\u00e9", "--no-save"});
    EXPECT_EQ(r.out, "REG_SZ 10 \"caf\u00e9\"\n");
    EXPECT_EQ(c.command({"registry", "get", "Site"}).out, r.out) << "VALUE left out: the unnamed one";
    EXPECT_EQ(c.saved_get("Site", ""), "");

    r = c.command({"registry", "set", "Site", "Raw", "hex(2)", "hex:41,00"});
    EXPECT_EQ(r.out, "REG_EXPAND_SZ 2 \"A\"\n") << "exactly the bytes given, without a NUL added";

    ASSERT_EQ(c.command({"registry", "delete", "Site\\Line 2", "Speed"}).exit_code, 0);
    EXPECT_EQ(c.saved_get("Site\\Line 2", "Speed"), "");
    struct Row {
        std::vector<std::string> args;
        int exit_code;
        std::string err;
    } rows[] = {
        {{"get", "Site\\Line 2", "Speed"}, 1, "registry get: no value \"Speed\" in Site\\Line 2"},
        {{"get", "Nowhere", "x"}, 1, "registry get: no value \"x\" in Nowhere"},
        {{"set", "Site", "x", "REG_WORD", "1"}, 2, "registry set: unknown TYPE \"REG_WORD\""},
        {{"set", "Site", "x", "REG_DWORD", "4294967296"},
         2,
         "registry set: REG_DWORD data \"4294967296\" does not fit"},
        {{"set", "\\Site", "x", "REG_SZ", "1"}, 2, "registry set: KEY is relative to HKEY_LOCAL_MACHINE"},
        {{"set", "Site", "x", "REG_SZ"}, 2, "registry set: takes KEY, VALUE, TYPE and DATA"},
        {{"delete", "Site"}, 2, "registry delete: takes KEY and VALUE"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args{"registry"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        RunResult bad = c.command(args);
        EXPECT_EQ(bad.exit_code, row.exit_code) << row.err;
        EXPECT_EQ(bad.err.rfind("orva-utility: " + row.err, 0), 0u) << bad.err;
    }
    c.set_config("faults", "registry_read_only", "[\"Site\\\\Locked\"]");
    r = c.command({"registry", "set", "Site", "Locked", "REG_SZ", "x"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "orva-utility: registry set: \"Locked\" in Site cannot be written: access denied\n");
}

TEST(RebootCommand, RestartsWithoutSavingAndSaysWhatIsLost) {
    TempController c;
    ASSERT_EQ(c.command({"ftp-dir", "\\Windows", "--no-save"}).exit_code, 0);
    c.clear_log();
    RunResult r = c.command({"reboot"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err,
              "orva-utility: warning: the live registry holds changes that are not saved: the restart drops them\n");
    EXPECT_EQ(c.log(), std::vector<std::string>{"reboot()"});
    EXPECT_EQ(c.reg_get("Comm\\FTPD", "DefaultDir"), "REG_SZ 12 \"\\\\Temp\"");
}

}  // namespace
}  // namespace orva::test
