// The "Auto-execute" page's dialog procedure and the table of its rows.
#include "pages/autorun/autorun.h"
#include "resources/resource.h"
#include "shell/shell.h"

const AUTORUN_ROW AutoRunTable[AUTORUN_ROWS] = {
    {IDC_PROGRAM1, IDC_BROWSE1, TEXT("Launch80")}, {IDC_PROGRAM2, IDC_BROWSE2, TEXT("Launch81")},
    {IDC_PROGRAM3, IDC_BROWSE3, TEXT("Launch82")}, {IDC_PROGRAM4, IDC_BROWSE4, TEXT("Launch83")},
    {IDC_PROGRAM5, IDC_BROWSE5, TEXT("Launch84")}, {IDC_PROGRAM6, IDC_BROWSE6, TEXT("Launch85")},
    {IDC_PROGRAM7, IDC_BROWSE7, TEXT("Launch86")}, {IDC_PROGRAM8, IDC_BROWSE8, TEXT("Launch87")},
    {IDC_PROGRAM9, IDC_BROWSE9, TEXT("Launch88")}, {IDC_PROGRAM10, IDC_BROWSE10, TEXT("Launch89")},
};

static BOOL IsAutoRunBrowseButton(WORD id) {
    for (int i = 0; i < AUTORUN_ROWS; i++)
        if (AutoRunTable[i].browseId == id) return TRUE;
    return FALSE;
}

// Commands act on the control identifier alone; the notification code in
// the high word of wParam is not looked at.
BOOL CALLBACK AutoRunPageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            CenterInParent(hDlg);
            LoadAutoRunList(hDlg);
            return TRUE;
        case WM_COMMAND: {
            WORD id = LOWORD(wParam);
            if (id == IDOK || id == IDCANCEL) {
                EndDialog(hDlg, id);
                return TRUE;
            }
            if (id == IDC_SAVE_SETTING) SaveAutoRunList(hDlg);
            else if (IsAutoRunBrowseButton(id)) BrowseAutoRunProgram(hDlg, id);
            return FALSE;
        }
        case WM_NOTIFY: {
            UINT code = reinterpret_cast<LPNMHDR>(lParam)->code;
            if (code == PSN_APPLY || code == PSN_QUERYCANCEL) ConfirmExit(hDlg);
            return FALSE;
        }
        default:
            return FALSE;
    }
}
