// The dialog procedure of the "Save Registry" page: the page contract, the
// page's initialisation (display mode, then the FTP and HTTP directories) and
// the dispatch of its buttons.
#include "pages/settings/settings.h"
#include "resources/resource.h"
#include "shell/shell.h"

// Commands act on the button's identifier alone; the notification code is
// not looked at.
BOOL CALLBACK SettingsPageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            CenterInParent(hDlg);
            InitDisplayModeControls(hDlg);
            ShowFtpDirectory(hDlg);
            ShowHttpDirectory(hDlg);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    EndDialog(hDlg, LOWORD(wParam));
                    return TRUE;
                case IDC_SAVE_AND_REBOOT:
                    SaveRegistryAndOfferReboot(hDlg);
                    break;
                case IDC_VIEW_REGISTRY:
                    LaunchRegistryViewer(hDlg);
                    break;
                case IDC_FACTORY_RESTORE:
                    RestoreFactoryRegistry(hDlg);
                    break;
                case IDC_FTP_CHANGE:
                    ApplyFtpDirectory(hDlg);
                    break;
                case IDC_DISPLAY_CHANGE:
                    ApplyDisplayMode(hDlg);
                    break;
                case IDC_HTTP_CHANGE:
                    ApplyHttpDirectory(hDlg);
                    break;
            }
            return FALSE;
        case WM_NOTIFY: {
            UINT code = ((LPNMHDR)lParam)->code;
            if (code == PSN_APPLY || code == PSN_QUERYCANCEL) ConfirmExit(hDlg);
            return FALSE;
        }
        default:
            return FALSE;
    }
}
