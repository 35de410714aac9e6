// The property sheet as the sequence of messages its pages receive: pages
// made on first selection, OK's apply to the created pages in order, Cancel's
// query to the current page, and the sheet's end with its owner.
#include <gtest/gtest.h>

#include <string>

#include "platform/module.h"
#include "platform/operator.h"
#include "platform/window_model.h"
#include "resources/resource.h"
#include "tests/platform/message_log.h"
#include "tests/platform/test_frontend.h"

namespace orva::test {
namespace {

MessageLog* g_log = nullptr;
HWND g_owner = nullptr;
HWND g_destroys_owner_on_apply = nullptr;
int g_destroy_owner_on_apply_of = -1;

// Names each page "page N" (N from its descriptor's lParam) in the log.
BOOL CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        int index = int(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        g_log->name(hwnd, "page " + std::to_string(index));
        if (index == g_destroy_owner_on_apply_of) g_destroys_owner_on_apply = hwnd;
        return TRUE;
    }
    if (msg == WM_NOTIFY && reinterpret_cast<LPNMHDR>(lParam)->code == PSN_APPLY && hwnd == g_destroys_owner_on_apply)
        DestroyWindow(g_owner);
    return FALSE;
}

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

class Sheet : public ::testing::Test {
protected:
    void SetUp() override {
        g_log = &log;
        g_destroys_owner_on_apply = nullptr;
        g_destroy_owner_on_apply_of = -1;
        platform::set_resource_section(&g_resourceSection);
        WNDCLASSW wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = u"OWNER";
        RegisterClassW(&wc);
        g_owner = CreateWindowExW(0, u"OWNER", u"", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        log.name(g_owner, "owner");
        log.flush();
        const WORD dialogs[] = {IDD_SETTINGS, IDD_SYSINFO, IDD_AUTORUN, IDD_UPDATE, IDD_ABOUTBOX};
        for (int i = 0; i < 5; ++i) {
            pages[i] = PROPSHEETPAGEW{};
            pages[i].dwSize = sizeof(PROPSHEETPAGEW);
            pages[i].pszTemplate = MAKEINTRESOURCE(dialogs[i]);
            pages[i].pfnDlgProc = PageProc;
            pages[i].lParam = i;
        }
        header = PROPSHEETHEADERW{sizeof(PROPSHEETHEADERW),
                                  PSH_PROPSHEETPAGE,
                                  g_owner,
                                  nullptr,
                                  nullptr,
                                  u"Orva_Utility [Ver 1.0]",
                                  5,
                                  0,
                                  pages,
                                  nullptr};
    }
    void TearDown() override { DestroyWindow(g_owner); }  // when a test has not

    // The newest sheet, named "sheet" in the log.
    HWND sheet() {
        HWND h = platform::active_sheet();
        log.name(h, "sheet");
        return h;
    }

    TestFrontend frontend;
    MessageLog log;
    PROPSHEETPAGEW pages[5];
    PROPSHEETHEADERW header;
};

// A page's notification from the sheet.
constexpr ExpectedMessage notify(const char* page, UINT code) {
    return {page, WM_NOTIFY, sent | lparam, 0, LPARAM(code)};
}

const ExpectedMessage kSelectThenOk[] = {
    {"page 0", WM_INITDIALOG, sent},
    notify("page 0", PSN_SETACTIVE),
    {"sheet", PSM_SETCURSEL, posted | wparam, 3},
    notify("page 0", PSN_KILLACTIVE),
    {"page 3", WM_INITDIALOG, sent},
    notify("page 3", PSN_SETACTIVE),
    {"sheet", PSM_SETCURSEL, posted | wparam, 1},
    notify("page 3", PSN_KILLACTIVE),
    {"page 1", WM_INITDIALOG, sent},
    notify("page 1", PSN_SETACTIVE),
    {"sheet", WM_COMMAND, posted | wparam, MAKEWPARAM(IDOK, BN_CLICKED)},
    notify("page 0", PSN_APPLY),
    notify("page 1", PSN_APPLY),
    notify("page 3", PSN_APPLY),
    {"sheet", WM_DESTROY, sent},
    {"page 0", WM_DESTROY, sent},
    {"page 3", WM_DESTROY, sent},
    {"page 1", WM_DESTROY, sent},
};

const ExpectedMessage kApplyDestroysOwner[] = {
    {"page 0", WM_INITDIALOG, sent},
    notify("page 0", PSN_SETACTIVE),
    {"sheet", PSM_SETCURSEL, posted | wparam, 2},
    notify("page 0", PSN_KILLACTIVE),
    {"page 2", WM_INITDIALOG, sent},
    notify("page 2", PSN_SETACTIVE),
    {"sheet", WM_COMMAND, posted | wparam, MAKEWPARAM(IDOK, BN_CLICKED)},
    notify("page 0", PSN_APPLY),  // and no other page's: the sheet went with its owner
    {"sheet", WM_DESTROY, sent},
    {"page 0", WM_DESTROY, sent},
    {"page 2", WM_DESTROY, sent},
    {"owner", WM_DESTROY, sent},
};

const ExpectedMessage kSelectThenCancel[] = {
    {"page 0", WM_INITDIALOG, sent},
    notify("page 0", PSN_SETACTIVE),
    {"sheet", PSM_SETCURSEL, posted | wparam, 4},
    notify("page 0", PSN_KILLACTIVE),
    {"page 4", WM_INITDIALOG, sent},
    notify("page 4", PSN_SETACTIVE),
    {"sheet", WM_COMMAND, posted | wparam, MAKEWPARAM(IDCANCEL, BN_CLICKED)},
    notify("page 4", PSN_QUERYCANCEL),
    notify("page 0", PSN_RESET),
    notify("page 4", PSN_RESET),
    {"sheet", WM_DESTROY, sent},
    {"page 0", WM_DESTROY, sent},
    {"page 4", WM_DESTROY, sent},
};

TEST_F(Sheet, PagesAreMadeWhenFirstSelectedAndOkAppliesThemInOrder) {
    frontend.actions = {[&] { platform::select_page(sheet(), 3); }, [&] { platform::select_page(sheet(), 1); },
                        [&] {
                            EXPECT_EQ(platform::find_window(sheet())->text, u"Orva_Utility [Ver 1.0]");
                            platform::press_sheet_ok(sheet());
                        }};
    EXPECT_EQ(PropertySheetW(&header), 1);
    ok_sequence(log, kSelectThenOk, "select 3, select 1, OK");
    EXPECT_FALSE(frontend.ran_out);
    EXPECT_EQ(platform::active_sheet(), nullptr);
}

TEST_F(Sheet, ApplyStopsWhenAPageDestroysTheOwner) {
    g_destroy_owner_on_apply_of = 0;
    frontend.actions = {[&] { platform::select_page(sheet(), 2); }, [&] { platform::press_sheet_ok(sheet()); }};
    EXPECT_EQ(PropertySheetW(&header), 0);
    ok_sequence(log, kApplyDestroysOwner, "OK, and the first page's apply destroys the owner");
    EXPECT_FALSE(platform::is_window(g_owner));
    EXPECT_EQ(platform::live_window_count(), 0u);
}

TEST_F(Sheet, CancelAsksTheCurrentPageOnly) {
    frontend.actions = {[&] { platform::select_page(sheet(), 4); }, [&] { platform::press_sheet_cancel(sheet()); }};
    EXPECT_EQ(PropertySheetW(&header), 0);
    ok_sequence(log, kSelectThenCancel, "select 4, Cancel");
}

TEST_F(Sheet, BadHeadersAreRefused) {
    PROPSHEETHEADERW bad = header;
    bad.dwSize = 12;
    EXPECT_EQ(PropertySheetW(&bad), -1);
    bad = header;
    pages[2].pszTemplate = MAKEINTRESOURCE(555);  // no such template
    EXPECT_EQ(PropertySheetW(&bad), -1);
    EXPECT_EQ(platform::live_window_count(), 1u);  // only the owner
}

TEST_F(Sheet, PagesAreChildrenLaidOutFromTheirTemplates) {
    frontend.actions = {[&] {
        HWND page = platform::active_dialog();
        platform::Window* w = platform::find_window(page);
        EXPECT_EQ(w->text, u"Save Registry");
        EXPECT_TRUE(w->style & WS_CHILD);
        EXPECT_EQ(w->children.size(), 26u);
        platform::press_sheet_cancel(sheet());
    }};
    PropertySheetW(&header);
}

}  // namespace
}  // namespace orva::test
