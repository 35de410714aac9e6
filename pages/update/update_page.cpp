// The "Version Update" page: the page contract, Browse, and the Write to
// Flash now command with its confirmation, failure and reboot prompts.
#include <string.h>

#include "device/device_library.h"
#include "pages/update/update.h"
#include "resources/resource.h"
#include "shell/shell.h"

#define PATH_CHARS 200

// Fills edit box IDC_IMAGE_PATH with the file the operator picks. The dialog
// always starts with no file name; a cancelled or failed dialog changes
// nothing and shows nothing.
static void BrowseImageFile(HWND hDlg) {
    WCHAR szPath[PATH_CHARS];
    OPENFILENAMEW ofn;

    memset(&ofn, 0, sizeof(ofn));
    szPath[0] = 0;
    // The controller's structure; the platform accepts any size from there up.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = hDlg;
    ofn.lpstrFilter = TEXT("All Documents (*.*)\0*.*\0");
    ofn.lpstrFile = szPath;
    ofn.nMaxFile = PATH_CHARS;
    ofn.Flags = 0;
    if (GetOpenFileNameW(&ofn)) {
        SetDlgItemTextW(hDlg, IDC_IMAGE_PATH, szPath);
        UpdateWindow(hDlg);
    }
}

// Asks first, writes the image, reports a failure or offers the reboot. The
// reboot offer has no owner window, as on the controller.
static void StartImageUpdate(HWND hDlg) {
    WCHAR szPath[PATH_CHARS];

    szPath[0] = 0;
    GetDlgItemTextW(hDlg, IDC_IMAGE_PATH, szPath, PATH_CHARS);
    if (MessageBoxW(
            hDlg, TEXT("Update OS image now ? It will take several minitues and the old OS image will be overwritten"),
            TEXT("Update OS image"), MB_OKCANCEL) != IDOK)
        return;
    if (!WriteImageToFlash(hDlg, szPath)) {
        MessageBoxW(hDlg, TEXT("FlashWriteFile failed"), TEXT("OS image update"), MB_ICONEXCLAMATION);
        return;
    }
    if (MessageBoxW(NULL, TEXT("Update OS image succeed, Reboot now ?"), TEXT("Update OS image"),
                    MB_YESNO | MB_ICONQUESTION) == IDYES)
        reboot();
}

BOOL CALLBACK UpdatePageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            CenterInParent(hDlg);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    EndDialog(hDlg, LOWORD(wParam));
                    return TRUE;
                case IDC_IMAGE_BROWSE:
                    BrowseImageFile(hDlg);
                    return FALSE;
                case IDC_WRITE_FLASH:
                    StartImageUpdate(hDlg);
                    return FALSE;
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
