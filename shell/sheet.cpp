// The property sheet of five pages, the page contract's helpers, the exit
// prompt, the registry save with its reboot offer, and the About page.
#include "device/device_library.h"
#include "resources/resource.h"
#include "shell/shell.h"

int RunUtilitySheet(HWND hwndMain) {
    static const struct {
        WORD dialog;
        DLGPROC proc;
    } kPages[PAGE_COUNT] = {
        // In the order of SheetPage.
        {IDD_SETTINGS, SettingsPageProc}, {IDD_SYSINFO, SystemInfoPageProc}, {IDD_AUTORUN, AutoRunPageProc},
        {IDD_UPDATE, UpdatePageProc},     {IDD_ABOUTBOX, AboutPageProc},
    };
    PROPSHEETPAGE psp[PAGE_COUNT];
    for (int i = 0; i < PAGE_COUNT; ++i) {
        psp[i] = PROPSHEETPAGE{};
        psp[i].dwSize = sizeof(PROPSHEETPAGE);
        psp[i].dwFlags = 0;
        psp[i].hInstance = g_hInstance;
        psp[i].pszTemplate = MAKEINTRESOURCE(kPages[i].dialog);
        psp[i].pfnDlgProc = kPages[i].proc;
        psp[i].lParam = reinterpret_cast<LPARAM>(hwndMain);
    }
    PROPSHEETHEADER psh{};
    psh.dwSize = sizeof(PROPSHEETHEADER);
    psh.dwFlags = PSH_PROPSHEETPAGE;
    psh.hwndParent = hwndMain;
    psh.hInstance = g_hInstance;
    psh.pszCaption = TEXT("Orva_Utility [Ver 1.0]");
    psh.nPages = PAGE_COUNT;
    psh.nStartPage = PAGE_SAVE_REGISTRY;
    psh.ppsp = psp;
    psh.pfnCallback = nullptr;
    PropertySheetW(&psh);
    return 0;
}

void CenterInParent(HWND hDlg) {
    RECT rcDlg, rcParent;
    if (!GetWindowRect(hDlg, &rcDlg)) return;
    GetClientRect(GetParent(hDlg), &rcParent);
    LONG x = ((rcParent.right - rcParent.left) - (rcDlg.right - rcDlg.left)) / 2;
    LONG y = ((rcParent.bottom - rcParent.top) - (rcDlg.bottom - rcDlg.top)) / 2;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    SetWindowPos(hDlg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void ConfirmExit(HWND hDlg) {
    if (MessageBoxW(hDlg, TEXT("Save your settings to registry ?"), TEXT("Save Registry"),
                    MB_YESNO | MB_ICONQUESTION) == IDYES)
        SaveRegistryAndOfferReboot(hDlg);
    DestroyWindow(g_hwndMain);
}

void SaveRegistryAndOfferReboot(HWND hwndOwner) {
    if (MessageBoxW(hwndOwner,
                    TEXT("It would take 10-15 seconds to store your settings into internal non-volatile memory. "
                         "Proceed ?"),
                    TEXT("Save Registry"), MB_YESNO) != IDYES)
        return;
    if (RegFlushKey(HKEY_LOCAL_MACHINE) != ERROR_SUCCESS) {
        MessageBoxW(hwndOwner, TEXT("RegFlushKey failed"), TEXT("Save Registry"), MB_ICONEXCLAMATION);
        return;
    }
    if (MessageBoxW(hwndOwner, TEXT("All settings you changed will take effect after system reboot, reboot now ?"),
                    TEXT("System Reboot"), MB_YESNO | MB_ICONQUESTION) == IDYES)
        reboot();
}

BOOL CALLBACK AboutPageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            CenterInParent(hDlg);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(hDlg, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            UINT code = reinterpret_cast<LPNMHDR>(lParam)->code;
            if (code == PSN_APPLY || code == PSN_QUERYCANCEL) ConfirmExit(hDlg);
            return FALSE;
        }
        default:
            return FALSE;
    }
}
