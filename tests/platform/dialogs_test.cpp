// Dialogs made from the templates, the dialog-item calls with their text
// limits, and the drop-down list and progress bar messages.
#include <gtest/gtest.h>

#include <functional>

#include "platform/module.h"
#include "platform/window_model.h"
#include "resources/dialogs.h"
#include "tests/platform/test_frontend.h"

namespace orva::test {
namespace {

HWND g_dialog = nullptr;
std::vector<UINT> g_dialog_messages;

BOOL CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    g_dialog_messages.push_back(msg);
    if (msg == WM_INITDIALOG) g_dialog = hwnd;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hwnd, LOWORD(wParam) + 40);
        return TRUE;
    }
    return FALSE;
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        platform::set_resource_section(&g_resourceSection);
        g_dialog_messages.clear();
    }
    // Runs dialog `tmpl` as a dialog box and calls `check` once it is up.
    INT_PTR run(const DLGTEMPLATE* tmpl, std::function<void(HWND)> check) {
        frontend.actions = {[check] {
            check(g_dialog);
            PostMessageW(g_dialog, WM_COMMAND, IDOK, 0);
        }};
        return DialogBoxIndirectParamW(nullptr, tmpl, nullptr, DialogProc, 0);
    }
    TestFrontend frontend;
};

TEST_F(Dialogs, EveryTemplateControlIsMadeInOrderWithItsIdentifierAndPlace) {
    for (const DLGTEMPLATE* t : {&g_aboutDialog, &g_settingsDialog, &g_sysInfoDialog, &g_autoRunDialog, &g_updateDialog}) {
        INT_PTR r = run(t, [t](HWND dialog) {
            platform::Window* d = platform::find_window(dialog);
            ASSERT_EQ(d->children.size(), t->itemCount);
            EXPECT_EQ(d->text, t->caption);
            for (UINT i = 0; i < t->itemCount; ++i) {
                platform::Window* c = platform::find_window(d->children[i]);
                EXPECT_EQ(c->id, t->items[i].id);
                EXPECT_EQ(c->du.left, t->items[i].x);
                EXPECT_EQ(c->du.bottom, t->items[i].y + t->items[i].cy);
                EXPECT_EQ(c->visible, (t->items[i].style & WS_VISIBLE) != 0);
            }
        });
        EXPECT_EQ(r, IDOK + 40);
    }
    EXPECT_EQ(platform::live_window_count(), 0u);
    EXPECT_EQ(g_dialog_messages.front(), UINT(WM_INITDIALOG));
}

TEST_F(Dialogs, TheKindsFollowClassAndStyle) {
    run(&g_settingsDialog, [](HWND d) {
        using platform::Kind;
        EXPECT_EQ(platform::find_window(GetDlgItem(d, 1064))->kind, Kind::ComboBox);
        EXPECT_EQ(platform::find_window(GetDlgItem(d, 1061))->kind, Kind::Edit);
        EXPECT_EQ(platform::find_window(GetDlgItem(d, 1066))->kind, Kind::Button);
        EXPECT_FALSE(platform::find_window(GetDlgItem(d, 1073))->visible);  // "Display setting..." stays hidden
        EXPECT_EQ(platform::find_window(platform::find_window(d)->children[0])->kind, Kind::Bitmap);
    });
    run(&g_updateDialog, [](HWND d) { EXPECT_EQ(platform::find_window(GetDlgItem(d, 1037))->kind, platform::Kind::Progress); });
}

TEST_F(Dialogs, GetDlgItemTextCopiesAtMostMaxLessOneAndTerminates) {
    run(&g_updateDialog, [](HWND d) {
        std::u16string longer(250, u'x');
        ASSERT_TRUE(SetDlgItemTextW(d, 1035, longer.c_str()));
        WCHAR buffer[200];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(GetDlgItemTextW(d, 1035, buffer, 200), 199u);
        EXPECT_EQ(buffer[199], 0);
        WCHAR small[4] = {u'#', u'#', u'#', u'#'};
        EXPECT_EQ(GetDlgItemTextW(d, 9999, small, 4), 0u);
        EXPECT_EQ(small[0], 0);
        EXPECT_FALSE(SetDlgItemTextW(d, 9999, u"x"));
    });
}

TEST_F(Dialogs, DropDownListKeepsItemsInInsertionOrderAndRefusesBadSelections) {
    run(&g_settingsDialog, [](HWND d) {
        EXPECT_EQ(SendDlgItemMessageW(d, 1064, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageW(d, 1064, CB_INSERTSTRING, WPARAM(-1), LPARAM(u"320 x 240")), 0);
        EXPECT_EQ(SendDlgItemMessageW(d, 1064, CB_INSERTSTRING, WPARAM(-1), LPARAM(u"640 x 480")), 1);
        EXPECT_EQ(SendDlgItemMessageW(d, 1064, CB_INSERTSTRING, 5, LPARAM(u"far")), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageW(d, 1064, CB_SETCURSEL, 1, 0), 1);
        EXPECT_EQ(SendDlgItemMessageW(d, 1064, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(SendDlgItemMessageW(d, 1064, CB_SETCURSEL, 4, 0), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageW(d, 1064, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(platform::find_window(GetDlgItem(d, 1064))->as<platform::ComboBoxState>()->items,
                  (std::vector<std::u16string>{u"320 x 240", u"640 x 480"}));
    });
}

TEST_F(Dialogs, ProgressBarClampsItsPositionToTheRange) {
    run(&g_updateDialog, [this](HWND d) {
        frontend.changes.clear();
        SendDlgItemMessageW(d, 1037, PBM_SETRANGE32, 23578, 23581);
        SendDlgItemMessageW(d, 1037, PBM_SETPOS, 23579, 0);
        EXPECT_EQ(SendDlgItemMessageW(d, 1037, PBM_GETPOS, 0, 0), 23579);
        SendDlgItemMessageW(d, 1037, PBM_SETPOS, 5, 0);
        EXPECT_EQ(SendDlgItemMessageW(d, 1037, PBM_GETPOS, 0, 0), 23578);
        EXPECT_EQ(frontend.changes.size(), 3u);
    });
}

TEST_F(Dialogs, MessageBoxWithADeadOwnerHasNoOwner) {
    frontend.answers = {IDYES};
    EXPECT_EQ(MessageBoxW(reinterpret_cast<HWND>(uintptr_t(4242)), u"Text", u"Caption", MB_YESNO), IDYES);
    EXPECT_EQ(frontend.boxes, (std::vector<std::string>{"Caption|Text|4"}));
}

}  // namespace
}  // namespace orva::test
