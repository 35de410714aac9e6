// Windows in the handle table, messages sent and posted, the message loop,
// accelerators and resource strings, asserted as the messages windows got.
#include <gtest/gtest.h>

#include <functional>

#include "platform/errors.h"
#include "platform/module.h"
#include "platform/window_model.h"
#include "resources/resource.h"
#include "tests/platform/message_log.h"
#include "tests/platform/test_frontend.h"

namespace orva::test {
namespace {

bool g_destroy_in_create = false;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE && g_destroy_in_create) DestroyWindow(hwnd);
    if (msg == WM_COMMAND && LOWORD(wParam) == 77) DestroyWindow(hwnd);  // destroys itself while handling
    if (msg == WM_DESTROY) PostQuitMessage(5);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class Windowing : public ::testing::Test {
protected:
    void SetUp() override {
        g_destroy_in_create = false;
        platform::set_resource_section(&g_resourceSection);
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = u"TESTCLASS";
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    HWND create(HWND owner = nullptr) {
        return CreateWindowExW(0, u"testclass", u"Title", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, owner, nullptr, nullptr, nullptr);
    }
    TestFrontend frontend;
    MessageLog log;
};

TEST_F(Windowing, ClassNamesAreCaseInsensitiveAndRegisteredOnce) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = u"testCLASS";
    EXPECT_EQ(RegisterClassW(&wc), 0);
    EXPECT_EQ(CreateWindowExW(0, u"NOSUCH", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
}

const ExpectedMessage kCreateDestroy[] = {
    {"window", WM_CREATE, sent | wparam | lparam, 0, 0},
    {"window", WM_DESTROY, sent | wparam | lparam, 0, 0},
};

TEST_F(Windowing, CreateSendsWmCreateAndDestroySendsWmDestroy) {
    HWND h = create();
    ASSERT_NE(h, nullptr);
    log.name(h, "window");
    EXPECT_TRUE(platform::find_window(h)->visible);
    RECT r{};
    GetClientRect(h, &r);
    EXPECT_EQ(r.right, 640);  // CW_USEDEFAULT fills the controller's screen
    DestroyWindow(h);
    ok_sequence(log, kCreateDestroy, "create and destroy");
    EXPECT_FALSE(platform::is_window(h));
}

TEST_F(Windowing, AWindowDestroyedDuringCreateGivesNull) {
    g_destroy_in_create = true;
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(platform::live_window_count(), 0u);
}

const ExpectedMessage kCommandDestroysOwnedFirst[] = {
    {"owner", WM_COMMAND, sent | wparam, 77},
    {"owned", WM_DESTROY, sent},
    {"owner", WM_DESTROY, sent},
};

TEST_F(Windowing, OwnedWindowsGoFirstAndAProcedureMayDestroyItsOwnWindow) {
    HWND owner = create();
    HWND owned = create(owner);
    log.name(owner, "owner");
    log.name(owned, "owned");
    log.flush();
    SendMessageW(owner, WM_COMMAND, 77, 0);
    ok_sequence(log, kCommandDestroysOwnedFirst, "a command that destroys its window");
    EXPECT_EQ(platform::live_window_count(), 0u);
    EXPECT_EQ(SendMessageW(owner, WM_COMMAND, 1, 0), 0);  // a dead handle is ignored
}

// Each call on a handle that names no window fails with Windows' error, and
// a call that does not fail leaves the last error alone.
TEST_F(Windowing, CallsOnMissingWindowsSetWindowsErrors) {
    HWND dead = create();
    DestroyWindow(dead);
    RECT r{};
    WNDCLASSW again{};
    again.lpfnWndProc = RecordingProc;
    again.lpszClassName = u"TestClass";
    struct Row {
        const char* call;
        std::function<bool()> fails;
        DWORD error;
    } rows[] = {
        {"DestroyWindow", [&] { return !DestroyWindow(dead); }, ERROR_INVALID_WINDOW_HANDLE},
        {"SendMessageW", [&] { return SendMessageW(dead, WM_COMMAND, 1, 0) == 0; }, ERROR_INVALID_WINDOW_HANDLE},
        {"PostMessageW", [&] { return !PostMessageW(dead, WM_COMMAND, 1, 0); }, ERROR_INVALID_WINDOW_HANDLE},
        {"GetWindowRect", [&] { return !GetWindowRect(dead, &r); }, ERROR_INVALID_WINDOW_HANDLE},
        {"GetClientRect", [&] { return !GetClientRect(dead, &r); }, ERROR_INVALID_WINDOW_HANDLE},
        {"SetWindowPos", [&] { return !SetWindowPos(dead, nullptr, 0, 0, 1, 1, SWP_NOZORDER); },
         ERROR_INVALID_WINDOW_HANDLE},
        {"EndDialog", [&] { return !EndDialog(dead, 1); }, ERROR_INVALID_WINDOW_HANDLE},
        {"GetDlgItem", [&] { return GetDlgItem(dead, 1) == nullptr; }, ERROR_CONTROL_ID_NOT_FOUND},
        {"RegisterClassW", [&] { return RegisterClassW(&again) == 0; }, ERROR_CLASS_ALREADY_EXISTS},
        {"CreateWindowExW",
         [&] { return !CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr); },
         ERROR_CANNOT_FIND_WND_CLASS},
        {"LoadStringW",
         [&] {
             WCHAR b[4];
             return LoadStringW(nullptr, 999, b, 4) == 0;
         },
         ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(row.fails()) << row.call;
        EXPECT_EQ(GetLastError(), row.error) << row.call;
    }
    HWND live = create();
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(GetClientRect(live, &r));
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
    DestroyWindow(live);
}

const ExpectedMessage kPostedThenSent[] = {
    {"window", WM_COMMAND, posted | wparam | lparam, 3, 4},
    {"window", WM_COMMAND, sent | wparam, 5},
};

TEST_F(Windowing, PostedMessagesComeBeforeQuitAndQuitCarriesItsCode) {
    HWND h = create();
    log.name(h, "window");
    log.flush();
    PostMessageW(h, WM_COMMAND, 3, 4);
    PostQuitMessage(7);
    MSG msg{};
    EXPECT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_COMMAND));
    DispatchMessageW(&msg);
    SendMessageW(h, WM_COMMAND, 5, 0);
    ok_sequence(log, kPostedThenSent, "a posted message dispatched, then one sent");
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(uintptr_t(12345)), WM_COMMAND, 0, 0));
    DestroyWindow(h);
}

const ExpectedMessage kAcceleratorCommands[] = {
    {"window", WM_COMMAND, sent | wparam | lparam, MAKEWPARAM(IDM_HELP_ABOUT, 1), 0},
    {"window", WM_COMMAND, sent | wparam | lparam, MAKEWPARAM(IDM_FILE_EXIT, 1), 0},
};

TEST_F(Windowing, AcceleratorsSendTheirCommands) {
    HWND h = create();
    HACCEL accel = LoadAcceleratorsW(nullptr, MAKEINTRESOURCE(IDR_ACCELERATORS));
    ASSERT_NE(accel, nullptr);
    log.name(h, "window");
    log.flush();
    MSG altF4{h, WM_SYSKEYDOWN, VK_F4, LPARAM(1) << 29, 0, {}};
    MSG plainF4{h, WM_KEYDOWN, VK_F4, 0, 0, {}};
    MSG altSlash{h, WM_SYSCHAR, u'/', LPARAM(1) << 29, 0, {}};
    EXPECT_EQ(TranslateAcceleratorW(h, accel, &plainF4), 0);
    EXPECT_EQ(TranslateAcceleratorW(h, accel, &altSlash), 1);
    EXPECT_EQ(TranslateAcceleratorW(h, accel, &altF4), 1);
    ok_sequence(log, kAcceleratorCommands, "Alt+/ and Alt+F4");
    DestroyWindow(h);
}

TEST_F(Windowing, ResourceStringsAreCutAndTerminated) {
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(LoadStringW(nullptr, IDS_HELLO, buffer, 6), 5);
    EXPECT_EQ(std::u16string(buffer), u"Hello");
    EXPECT_EQ(LoadStringW(nullptr, IDS_APP_TITLE, buffer, 8), 7);
    EXPECT_EQ(std::u16string(buffer), u"Orva_Ut");
    EXPECT_EQ(LoadStringW(nullptr, 999, buffer, 8), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCE(IDI_ORVAUTILITY)),
              nullptr);  // the class asks for an icon that is not there
    EXPECT_NE(LoadIconW(nullptr, MAKEINTRESOURCE(IDI_PROGRAM)), nullptr);
}

TEST_F(Windowing, PaintingKeepsTheDrawnText) {
    HWND h = create();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    DrawTextW(dc, u"Hello World!", -1, &ps.rcPaint, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(h, &ps);
    EXPECT_EQ(platform::find_window(h)->as<platform::PaintState>()->painted, u"Hello World!");
    DestroyWindow(h);
}

}  // namespace
}  // namespace orva::test
