// orva-controller as built, run on temporary controllers: what only the
// program itself shows, its exit code and its standard output and error.
#include <gtest/gtest.h>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

// An empty event log prints nothing: no output, no message, exit code 0.
TEST(ControllerTool, AnEmptyLogPrintsNothingAndSucceeds) {
    TempController c;
    c.clear_log();
    RunResult r = c.tool({"log"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

// Each new controller its own identity: drawn at random unless given, the
// MACs unicast and locally administered; a bad one is a usage error.
TEST(ControllerTool, InitGivesEachControllerItsOwnIdentity) {
    auto identity = [](const TempController& c) {
        RunResult r = c.command({"info", "--json"});
        const size_t at = r.out.find("\"serial\"");
        return at == std::string::npos ? r.out : r.out.substr(at, r.out.find("\"flash_bytes\"") - at);
    };
    TempController a({"--serial", "00112233445566AA", "--mac1", "0A-00-00-00-00-0B"});
    EXPECT_NE(identity(a).find("\"serial\": \"00112233445566aa\", \"mac1_address\": \"0a:00:00:00:00:0b\""),
              std::string::npos)
        << identity(a);
    TempController b({"--serial", "00112233445566AA"}), c({"--serial", "00112233445566AA"});
    EXPECT_NE(identity(b), identity(c)) << "the MACs not given are drawn";
    for (const TempController* x : {&b, &c}) {
        const std::string mac = identity(*x).substr(identity(*x).find("mac2_address") + 16, 2);
        EXPECT_EQ(std::stoi(mac, nullptr, 16) & 3, 2) << mac;
    }
    for (const char* bad : {"--serial", "--mac1"}) {
        RunResult r = a.tool({"init", (a.dir().parent_path() / "d").string(), bad, "0123"});
        EXPECT_EQ(r.exit_code, 2) << bad;
        EXPECT_NE(r.err.find(std::string(bad) + " needs"), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace orva::test
