// The script frontend's own language and errors, run through the real
// program: a bad script line ends the run with code 2 and one line naming
// it, and strings keep every character through an edit and the transcript.
#include <gtest/gtest.h>

#include "tests/scenario/harness.h"

namespace orva::test {
namespace {

TEST(ScriptErrors, EndWithCodeTwoAndOneLineNamingTheScriptLine) {
    TempController c;
    struct Case {
        std::string script, message;
    } cases[] = {
        {"jump 3\n", "-:1: unknown command \"jump\""},
        {"# comment\n\nclick 9999\n", "-:3: no control 9999 on the current page"},
        {"cancel\n", "a message box needs an answer"},
        {"tab 2\n", "-:1: the script ended with the sheet still open"},
        {"answer NO\ncancel\ntab 3\n", "-:3: the program ended with commands of the script left"},
        {"type " + id(IDC_FTP_DIR) + " \"unterminated\n", "-:1: the string has no closing double quote"},
        {"answer MAYBE\n", "is not an answer"},
        {"answer RETRY\ncancel\n",
         "-:1: answer RETRY does not fit the box \"Save your settings to registry ?\", whose buttons are YES and NO"},
        {"tab 9\n", "tab takes a page number from 1 to 5"},
    };
    for (auto& k : cases) {
        RunResult r = c.run(k.script);
        EXPECT_EQ(r.exit_code, 2) << k.script;
        EXPECT_NE(r.err.find(k.message), std::string::npos) << k.script << " -> " << r.err;
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    }
}

TEST(ScriptLanguage, StringsRoundTripThroughAnEditWithTheTranscriptsEscapes) {
    TempController c;
    RunResult r =
        c.run("tab 4\ntype " + id(IDC_IMAGE_PATH) + " \"a\\\\b\\\"c\\r\\n\\t\\x01\\x85 \xC3\xA9 \xF0\x9F\x94\xA7\"\n" +
              show(IDC_IMAGE_PATH) + "answer NO\ncancel\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines(r.out)[0],
              "show " + id(IDC_IMAGE_PATH) + " \"a\\\\b\\\"c\\r\\n\\t\\x01\\x85 \xC3\xA9 \xF0\x9F\x94\xA7\"");
    RunResult big = c.run("click 99999999999\n");
    EXPECT_EQ(big.exit_code, 2);
    EXPECT_NE(big.err.find("is not a decimal number"), std::string::npos) << big.err;
}

}  // namespace
}  // namespace orva::test
