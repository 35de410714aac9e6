// Dialogs made from the templates, the dialog-item calls with their text
// limits, and the drop-down list and progress bar messages.
#include <gtest/gtest.h>

#include <functional>

#include "platform/module.h"
#include "platform/window_model.h"
#include "resources/dialogs.h"
#include "resources/resource.h"
#include "tests/platform/message_log.h"
#include "tests/platform/test_frontend.h"

namespace orva::test {
namespace {

constexpr int kNoSuchControl = 9999;

HWND g_dialog = nullptr;
MessageLog* g_log = nullptr;

BOOL CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) {
        g_dialog = hwnd;
        g_log->name(hwnd, "dialog");
    }
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
        g_log = &log;
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
    MessageLog log;
};

// A dialog box from its start to the OK that ends it.
const ExpectedMessage kDialogBoxRun[] = {
    {"dialog", WM_INITDIALOG, sent | lparam, 0, 0},
    {"dialog", WM_COMMAND, posted | wparam, IDOK},
    {"dialog", WM_DESTROY, sent},
};

TEST_F(Dialogs, EveryTemplateControlIsMadeInOrderWithItsIdentifierAndPlace) {
    for (const DLGTEMPLATE* t :
         {&g_aboutDialog, &g_settingsDialog, &g_sysInfoDialog, &g_autoRunDialog, &g_updateDialog}) {
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
        ok_sequence(log, kDialogBoxRun, "a dialog box run to OK");
    }
    EXPECT_EQ(platform::live_window_count(), 0u);
}

TEST_F(Dialogs, TheKindsFollowClassAndStyle) {
    run(&g_settingsDialog, [](HWND d) {
        using platform::Kind;
        EXPECT_EQ(platform::find_window(GetDlgItem(d, IDC_RESOLUTION))->kind, Kind::ComboBox);
        EXPECT_EQ(platform::find_window(GetDlgItem(d, IDC_FTP_DIR))->kind, Kind::Edit);
        EXPECT_EQ(platform::find_window(GetDlgItem(d, IDC_DISPLAY_CHANGE))->kind, Kind::Button);
        EXPECT_FALSE(
            platform::find_window(GetDlgItem(d, IDC_DISPLAY_HIDDEN))->visible);  // "Display setting..." stays hidden
        EXPECT_EQ(platform::find_window(platform::find_window(d)->children[0])->kind, Kind::Bitmap);
    });
    run(&g_updateDialog,
        [](HWND d) { EXPECT_EQ(platform::find_window(GetDlgItem(d, IDC_PROGRESS))->kind, platform::Kind::Progress); });
}

TEST_F(Dialogs, GetDlgItemTextCopiesAtMostMaxLessOneAndTerminates) {
    run(&g_updateDialog, [](HWND d) {
        std::u16string longer(250, u'x');
        ASSERT_TRUE(SetDlgItemTextW(d, IDC_IMAGE_PATH, longer.c_str()));
        WCHAR buffer[200];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(GetDlgItemTextW(d, IDC_IMAGE_PATH, buffer, 200), 199u);
        EXPECT_EQ(buffer[199], 0);
        WCHAR small[4] = {u'#', u'#', u'#', u'#'};
        EXPECT_EQ(GetDlgItemTextW(d, kNoSuchControl, small, 4), 0u);
        EXPECT_EQ(small[0], 0);
        EXPECT_FALSE(SetDlgItemTextW(d, kNoSuchControl, u"x"));
    });
}

TEST_F(Dialogs, DropDownListKeepsItemsInInsertionOrderAndRefusesBadSelections) {
    run(&g_settingsDialog, [](HWND d) {
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_RESOLUTION, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_RESOLUTION, CB_INSERTSTRING, WPARAM(-1), LPARAM(u"320 x 240")), 0);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_RESOLUTION, CB_INSERTSTRING, WPARAM(-1), LPARAM(u"640 x 480")), 1);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_RESOLUTION, CB_INSERTSTRING, 5, LPARAM(u"far")), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_RESOLUTION, CB_SETCURSEL, 1, 0), 1);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_RESOLUTION, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_RESOLUTION, CB_SETCURSEL, 4, 0), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_RESOLUTION, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(platform::find_window(GetDlgItem(d, IDC_RESOLUTION))->as<platform::ComboBoxState>()->items,
                  (std::vector<std::u16string>{u"320 x 240", u"640 x 480"}));
    });
}

TEST_F(Dialogs, ProgressBarClampsItsPositionToTheRange) {
    run(&g_updateDialog, [this](HWND d) {
        frontend.changes.clear();
        SendDlgItemMessageW(d, IDC_PROGRESS, PBM_SETRANGE32, 23578, 23581);
        SendDlgItemMessageW(d, IDC_PROGRESS, PBM_SETPOS, 23579, 0);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_PROGRESS, PBM_GETPOS, 0, 0), 23579);
        SendDlgItemMessageW(d, IDC_PROGRESS, PBM_SETPOS, 5, 0);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_PROGRESS, PBM_GETPOS, 0, 0), 23578);
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
