// Message box types decoded: every button set Windows defines, the icons,
// the default button, the answer of Esc, and the window a box belongs to.
#include <gtest/gtest.h>

#include "platform/message_box_style.h"
#include "platform/module.h"
#include "platform/window_model.h"
#include "platform/windowing_internal.h"
#include "resources/dialogs.h"
#include "resources/resource.h"
#include "tests/platform/test_frontend.h"

namespace orva::platform {
namespace {

TEST(MessageBoxStyle, EachTypeGivesItsButtonsIconDefaultAndEscape) {
    const struct Row {
        UINT type;
        std::vector<int> buttons;
        BoxIcon icon;
        size_t default_button;
        int escape;
    } rows[] = {
        {MB_OK, {IDOK}, BoxIcon::None, 0, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, {IDOK, IDCANCEL}, BoxIcon::None, 1, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_ICONHAND, {IDABORT, IDRETRY, IDIGNORE}, BoxIcon::Stop, 0, IDABORT},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, {IDYES, IDNO, IDCANCEL}, BoxIcon::None, 2, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}, BoxIcon::Question, 0, IDNO},
        {MB_RETRYCANCEL | MB_ICONASTERISK, {IDRETRY, IDCANCEL}, BoxIcon::Information, 0, IDCANCEL},
        {MB_ICONEXCLAMATION, {IDOK}, BoxIcon::Exclamation, 0, IDOK},
        // What Windows does not define: OK alone, no icon, the first button.
        {0x6 | 0x50, {IDOK}, BoxIcon::None, 0, IDOK},
        {MB_YESNO | MB_DEFBUTTON3, {IDYES, IDNO}, BoxIcon::None, 0, IDNO},
        {MB_YESNO | 0xF00, {IDYES, IDNO}, BoxIcon::None, 0, IDNO},
        // Bits beyond the three parts change nothing.
        {MB_OKCANCEL | MB_ICONQUESTION | 0x3000, {IDOK, IDCANCEL}, BoxIcon::Question, 0, IDCANCEL},
    };
    for (const Row& row : rows) {
        const MessageBoxStyle style = message_box_style(nullptr, row.type);
        std::vector<int> ids;
        for (const BoxButton& b : style.buttons) ids.push_back(b.id);
        EXPECT_EQ(ids, row.buttons) << std::hex << row.type;
        EXPECT_EQ(style.icon, row.icon) << std::hex << row.type;
        EXPECT_EQ(style.default_button, row.default_button) << std::hex << row.type;
        EXPECT_EQ(style.escape, row.escape) << std::hex << row.type;
        EXPECT_EQ(style.owner, nullptr);
    }
}

TEST(MessageBoxStyle, ButtonsAreFoundByAnswerOrByWordInEitherCase) {
    const MessageBoxStyle style = message_box_style(nullptr, MB_YESNOCANCEL);
    EXPECT_EQ(style.button(IDNO)->label, u"No");
    EXPECT_EQ(style.button("CANCEL")->id, IDCANCEL);
    EXPECT_EQ(style.button("yes")->id, IDYES);
    EXPECT_FALSE(style.button(IDOK));
    EXPECT_FALSE(style.button("ok"));
    EXPECT_FALSE(style.button("ye"));
    EXPECT_FALSE(style.button(""));
}

TEST(MessageBoxStyle, ABoxBelongsToItsOwnersTopLevelWindow) {
    set_resource_section(&g_resourceSection);
    test::TestFrontend frontend;
    HWND dialog = create_dialog_from_template(&g_updateDialog, nullptr, nullptr, nullptr).handle;
    EXPECT_EQ(message_box_style(find_control(dialog, IDC_IMAGE_PATH), MB_OK).owner, dialog);
    EXPECT_EQ(message_box_style(dialog, MB_OK).owner, dialog);
    DestroyWindow(dialog);
}

}  // namespace
}  // namespace orva::platform
