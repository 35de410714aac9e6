// The shell in-process: centring, the main window's menu and accelerators
// when it outlives the sheet, and the globals.
#include <gtest/gtest.h>

#include "platform/module.h"
#include "platform/operator.h"
#include "platform/window_model.h"
#include "resources/resource.h"
#include "shell/shell.h"
#include "tests/platform/test_frontend.h"

namespace orva::test {
namespace {

HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(uintptr_t(0x400000));

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        platform::set_resource_section(&g_resourceSection);
        g_hwndMain = nullptr;
        g_hwndCommandBar = nullptr;
    }
    TestFrontend frontend;
};

LRESULT CALLBACK PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

TEST_F(Shell, CenterInParentCentresAndNeverGoesNegative) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = u"P";
    RegisterClassW(&wc);
    HWND parent = CreateWindowExW(0, u"P", u"", 0, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExW(0, u"P", u"", WS_CHILD, 3, 3, 100, 50, parent, nullptr, nullptr, nullptr);
    CenterInParent(child);
    RECT r;
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.top, 125);
    HWND wide = CreateWindowExW(0, u"P", u"", WS_CHILD, 9, 9, 500, 50, parent, nullptr, nullptr, nullptr);
    CenterInParent(wide);
    GetWindowRect(wide, &r);
    EXPECT_EQ(r.left, 0);  // wider than the parent: placed at 0, not at -50
    EXPECT_EQ(r.top, 125);
    DestroyWindow(parent);
}

TEST_F(Shell, TheMainWindowOutlivingTheSheetAnswersItsMenuAndAccelerators) {
    frontend.actions = {
        [] {
            // The sheet goes without the exit flow: the main window lives on.
            EXPECT_NE(g_hwndMain, nullptr);
            DestroyWindow(platform::active_sheet());
        },
        [] {
            platform::Window* main = platform::find_window(g_hwndMain);
            ASSERT_NE(main, nullptr);
            EXPECT_TRUE(main->visible);
            EXPECT_EQ(main->text, u"Orva_Utility");
            EXPECT_EQ(main->as<platform::PaintState>()->painted, u"Hello World!");
            EXPECT_TRUE(platform::find_window(g_hwndCommandBar)->visible);
            PostMessageW(g_hwndMain, WM_SYSCHAR, u'/', LPARAM(1) << 29);  // Alt + "/"
        },
        [] {
            HWND about = platform::active_dialog();
            ASSERT_NE(about, nullptr);
            EXPECT_EQ(platform::find_window(about)->text, u"About Orva_Utility");
            platform::close_dialog(about, IDOK);
        },
        [] { platform::menu_command(g_hwndMain, IDM_HELP_ABOUT); },
        [] { platform::close_dialog(platform::active_dialog(), IDCANCEL); },
        [] { PostMessageW(g_hwndMain, WM_SYSKEYDOWN, VK_F4, LPARAM(1) << 29); },  // Alt + F4
    };
    EXPECT_EQ(WinMain(kInstance, nullptr, const_cast<LPWSTR>(u""), SW_SHOW), 0);
    EXPECT_FALSE(frontend.ran_out);
    EXPECT_EQ(platform::live_window_count(), 0u);
}

TEST_F(Shell, FileExitEndsTheProgram) {
    frontend.actions = {[] { DestroyWindow(platform::active_sheet()); },
                        [] { platform::menu_command(g_hwndMain, IDM_FILE_EXIT); }};
    EXPECT_EQ(WinMain(kInstance, nullptr, const_cast<LPWSTR>(u""), SW_SHOW), 0);
    EXPECT_FALSE(frontend.ran_out);
}

TEST_F(Shell, ClosingTheSheetEndsTheProgramBeforeTheMainWindowIsEverShown) {
    bool main_shown = false;
    frontend.actions = {[&] {
        main_shown = platform::find_window(g_hwndMain)->visible;
        platform::press_sheet_cancel(platform::active_sheet());
    }};
    frontend.answers = {IDNO};
    EXPECT_EQ(WinMain(kInstance, nullptr, const_cast<LPWSTR>(u""), SW_SHOW), 0);
    EXPECT_FALSE(main_shown);
    EXPECT_EQ(frontend.boxes, (std::vector<std::string>{"Save Registry|Save your settings to registry ?|36"}));
    EXPECT_EQ(platform::live_window_count(), 0u);
}

}  // namespace
}  // namespace orva::test
