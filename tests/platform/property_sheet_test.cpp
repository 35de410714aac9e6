// The property sheet as the sequence of messages its pages receive: pages
// made on first selection, OK's apply to the created pages in order, Cancel's
// query to the current page, and the sheet's end with its owner.
#include <gtest/gtest.h>

#include <map>

#include "platform/module.h"
#include "platform/operator.h"
#include "platform/window_model.h"
#include "tests/platform/test_frontend.h"

namespace orva::test {
namespace {

std::vector<std::pair<int, UINT>> g_pages;  // page index (from lParam), message or notification code
HWND g_owner = nullptr;
int g_destroy_owner_on_apply_of = -1;

BOOL CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
    static std::map<HWND, int> index;
    if (msg == WM_INITDIALOG) {
        index[hwnd] = int(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        g_pages.push_back({index[hwnd], WM_INITDIALOG});
        return TRUE;
    }
    if (msg == WM_NOTIFY) {
        UINT code = reinterpret_cast<LPNMHDR>(lParam)->code;
        g_pages.push_back({index[hwnd], code});
        if (code == PSN_APPLY && index[hwnd] == g_destroy_owner_on_apply_of) DestroyWindow(g_owner);
    }
    return FALSE;
}

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

class Sheet : public ::testing::Test {
protected:
    void SetUp() override {
        g_pages.clear();
        g_destroy_owner_on_apply_of = -1;
        platform::set_resource_section(&g_resourceSection);
        WNDCLASSW wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = u"OWNER";
        RegisterClassW(&wc);
        g_owner = CreateWindowExW(0, u"OWNER", u"", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        const WORD dialogs[] = {104, 108, 109, 110, 103};
        for (int i = 0; i < 5; ++i) {
            pages[i] = PROPSHEETPAGEW{};
            pages[i].dwSize = sizeof(PROPSHEETPAGEW);
            pages[i].pszTemplate = MAKEINTRESOURCE(dialogs[i]);
            pages[i].pfnDlgProc = PageProc;
            pages[i].lParam = i;
        }
        header = PROPSHEETHEADERW{sizeof(PROPSHEETHEADERW), PSH_PROPSHEETPAGE, g_owner, nullptr, nullptr,
                                  u"Orva_Utility [Ver 1.0]", 5, 0, pages, nullptr};
    }
    HWND sheet() { return platform::active_sheet(); }

    TestFrontend frontend;
    PROPSHEETPAGEW pages[5];
    PROPSHEETHEADERW header;
};

TEST_F(Sheet, PagesAreMadeWhenFirstSelectedAndOkAppliesThemInOrder) {
    frontend.actions = {[&] { platform::select_page(sheet(), 3); },
                        [&] { platform::select_page(sheet(), 1); },
                        [&] {
                            EXPECT_EQ(platform::find_window(sheet())->text, u"Orva_Utility [Ver 1.0]");
                            platform::press_sheet_ok(sheet());
                        }};
    EXPECT_EQ(PropertySheetW(&header), 1);
    using P = std::pair<int, UINT>;
    EXPECT_EQ(g_pages, (std::vector<P>{{0, WM_INITDIALOG}, {0, PSN_SETACTIVE},
                                       {0, PSN_KILLACTIVE}, {3, WM_INITDIALOG}, {3, PSN_SETACTIVE},
                                       {3, PSN_KILLACTIVE}, {1, WM_INITDIALOG}, {1, PSN_SETACTIVE},
                                       {0, PSN_APPLY}, {1, PSN_APPLY}, {3, PSN_APPLY}}));
    EXPECT_FALSE(frontend.ran_out);
    EXPECT_EQ(platform::active_sheet(), nullptr);
}

TEST_F(Sheet, ApplyStopsWhenAPageDestroysTheOwner) {
    g_destroy_owner_on_apply_of = 0;
    frontend.actions = {[&] { platform::select_page(sheet(), 2); }, [&] { platform::press_sheet_ok(sheet()); }};
    EXPECT_EQ(PropertySheetW(&header), 0);
    EXPECT_EQ(g_pages.back(), (std::pair<int, UINT>{0, PSN_APPLY}));
    EXPECT_FALSE(platform::is_window(g_owner));
    EXPECT_EQ(platform::live_window_count(), 0u);
}

TEST_F(Sheet, CancelAsksTheCurrentPageOnly) {
    frontend.actions = {[&] { platform::select_page(sheet(), 4); }, [&] { platform::press_sheet_cancel(sheet()); }};
    EXPECT_EQ(PropertySheetW(&header), 0);
    using P = std::pair<int, UINT>;
    std::vector<P> tail(g_pages.end() - 3, g_pages.end());
    EXPECT_EQ(tail, (std::vector<P>{{4, PSN_QUERYCANCEL}, {0, PSN_RESET}, {4, PSN_RESET}}));
}

TEST_F(Sheet, BadHeadersAreRefused) {
    PROPSHEETHEADERW bad = header;
    bad.dwSize = 12;
    EXPECT_EQ(PropertySheetW(&bad), -1);
    bad = header;
    pages[2].pszTemplate = MAKEINTRESOURCE(555);
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
