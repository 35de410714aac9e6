// The web frontend's open-file dialog in-process: the browser's actions on
// the platform's open-file model, and what the page is told back.
#include <gtest/gtest.h>

#include "frontends/web/file_dialog.h"
#include "tests/platform/controller_fixture.h"

namespace orva::web {
namespace {

using nlohmann::json;

class FileDialogTest : public test::ControllerTest {};

TEST_F(FileDialogTest, APathLongerThanTheProgramTakesIsToldAndTheDialogStays) {
    const std::string name(199, 'q');  // "\qqq…" is 200 characters: no room for the NUL
    const std::string too_long = "This path is longer than the program takes (199 characters).";
    put(fs_root / name);
    put(fs_root / name.substr(1));
    FileDialog dialog(platform::OpenFileRequest{u"All Documents (*.*)", u"*.*", u"", 200}, 4, 1000);
    const struct Row {
        json action;
        FileDialog::Outcome outcome;
        std::string error;
    } rows[] = {
        {{{"op", "file"}, {"seq", 4u}, {"do", "choose"}, {"name", name}}, FileDialog::Outcome::Open, too_long},
        {{{"op", "file"}, {"seq", 5u}, {"do", "cancel"}}, FileDialog::Outcome::Open, too_long},  // another dialog's
        {{{"op", "file"}, {"seq", 4u}, {"do", "choose"}, {"name", name.substr(1)}}, FileDialog::Outcome::Chosen, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(dialog.apply(row.action), row.outcome) << row.action;
        EXPECT_EQ(dialog.view()["error"], row.error) << row.action;
    }
    EXPECT_EQ(dialog.chosen(), u"\\" + std::u16string(198, u'q'));
}

}  // namespace
}  // namespace orva::web
