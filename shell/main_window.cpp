// Entry, main window and message loop. The main window carries the command
// bar and a greeting; while it is created it runs the property sheet, which
// is the whole user interface.
#include "resources/resource.h"
#include "shell/shell.h"

HINSTANCE g_hInstance = nullptr;
HWND g_hwndMain = nullptr;
HWND g_hwndCommandBar = nullptr;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nCmdShow) {
    MSG msg{};
    if (!CreateMainWindow(hInstance, nCmdShow)) return 0;
    HACCEL hAccel = LoadAcceleratorsW(hInstance, MAKEINTRESOURCE(IDR_ACCELERATORS));
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        if (!TranslateAcceleratorW(msg.hwnd, hAccel, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return int(msg.wParam);
}

BOOL CreateMainWindow(HINSTANCE hInstance, int nCmdShow) {
    WCHAR szWindowClass[100];
    WCHAR szTitle[100];
    g_hInstance = hInstance;
    LoadStringW(hInstance, IDS_WINDOW_CLASS, szWindowClass, 100);
    RegisterMainWindowClass(hInstance, szWindowClass);
    LoadStringW(hInstance, IDS_APP_TITLE, szTitle, 100);
    HWND hWnd = CreateWindowExW(0, szWindowClass, szTitle, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, hInstance, nullptr);
    if (!hWnd) return FALSE;
    ShowWindow(hWnd, nCmdShow);
    UpdateWindow(hWnd);
    if (g_hwndCommandBar) CommandBar_Show(g_hwndCommandBar, TRUE);
    return TRUE;
}

ATOM RegisterMainWindowClass(HINSTANCE hInstance, LPWSTR szWindowClass) {
    WNDCLASSW wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconW(hInstance, MAKEINTRESOURCE(IDI_ORVAUTILITY));
    wc.hCursor = nullptr;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = szWindowClass;
    return RegisterClassW(&wc);
}

LRESULT CALLBACK MainWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_hwndMain = hWnd;
    switch (message) {
        case WM_CREATE:
            g_hwndCommandBar = CommandBar_Create(g_hInstance, hWnd, 1);
            CommandBar_InsertMenubar(g_hwndCommandBar, g_hInstance, IDM_MENU, 0);
            CommandBar_AddAdornments(g_hwndCommandBar, 0, 0);
            RunUtilitySheet(hWnd);
            return 0;
        case WM_DESTROY:
            DestroyWindow(g_hwndCommandBar);
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            RECT rt;
            WCHAR szHello[100];
            HDC hdc = BeginPaint(hWnd, &ps);
            GetClientRect(hWnd, &rt);
            LoadStringW(g_hInstance, IDS_HELLO, szHello, 100);
            DrawTextW(hdc, szHello, -1, &rt, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
            EndPaint(hWnd, &ps);
            return 0;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDM_FILE_EXIT:
                    DestroyWindow(hWnd);
                    return 0;
                case IDM_HELP_ABOUT: {
                    HRSRC hRes = FindResourceW(g_hInstance, MAKEINTRESOURCE(IDD_ABOUTBOX), RT_DIALOG);
                    auto tmpl = reinterpret_cast<LPCDLGTEMPLATEW>(LoadResource(g_hInstance, hRes));
                    DialogBoxIndirectParamW(g_hInstance, tmpl, hWnd, AboutPageProc, 0);
                    return 0;
                }
                default:
                    return DefWindowProcW(hWnd, message, wParam, lParam);
            }
        default:
            return DefWindowProcW(hWnd, message, wParam, lParam);
    }
}
