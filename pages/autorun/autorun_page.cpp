// The page's dialog procedure: the page contract so far; the page's own
// controls are not wired yet.
#include "shell/shell.h"

BOOL CALLBACK AutoRunPageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
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
