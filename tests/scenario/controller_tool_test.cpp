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

}  // namespace
}  // namespace orva::test
