// "Browse" on the "Auto-execute" page: the open-file dialog for one row.
#include <string.h>

#include "pages/autorun/autorun.h"

// Browsing writes nothing to the registry; the page is redrawn whether the
// operator picked a file or cancelled.
void BrowseAutoRunProgram(HWND hDlg, DWORD browseId) {
    const AUTORUN_ROW* row = NULL;
    for (int i = 0; i < AUTORUN_ROWS && !row; i++)
        if (AutoRunTable[i].browseId == browseId) row = &AutoRunTable[i];
    if (!row) return;

    WCHAR szPath[AUTORUN_PATH_CHARS];
    szPath[0] = 0;
    OPENFILENAME ofn;
    memset(&ofn, 0, sizeof(ofn));
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hDlg;
    ofn.lpstrFilter = TEXT("All Documents (*.*)\0*.*\0\0");
    ofn.lpstrFile = szPath;
    ofn.nMaxFile = AUTORUN_PATH_CHARS;
    if (GetOpenFileNameW(&ofn)) SetDlgItemTextW(hDlg, row->editId, szPath);
    UpdateWindow(hDlg);
}
