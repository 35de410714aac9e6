// Loading and saving the ten rows of the "Auto-execute" page: the values
// "Launch80" to "Launch89" under HKEY_LOCAL_MACHINE\Init.
#include <string.h>

#include "pages/autorun/autorun.h"

// The key is only opened, never created: a missing "Init" is reported in the
// same words at load and at save.
static HKEY OpenAutoRunKey(void) {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("Init"), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) {
        MessageBoxW(NULL, TEXT("RegOpenKeyEx Failed"), TEXT("Add Auto-run"), MB_OK);
        return NULL;
    }
    return hKey;
}

// A row that is missing or longer than 400 bytes stays empty. The reported
// type is not looked at: whatever bytes a value holds are shown as text up to
// their first NUL. Text that fills all 400 bytes without a NUL is cut to 199
// characters instead of running past the buffer.
void LoadAutoRunList(HWND hDlg) {
    HKEY hKey = OpenAutoRunKey();
    if (!hKey) return;
    for (int i = 0; i < AUTORUN_ROWS; i++) {
        WCHAR szPath[AUTORUN_PATH_CHARS];
        DWORD dwType = REG_NONE;
        DWORD dwSize = sizeof(szPath);
        memset(szPath, 0, sizeof(szPath));
        if (RegQueryValueExW(hKey, AutoRunTable[i].valueName, NULL, &dwType, (LPBYTE)szPath, &dwSize) != ERROR_SUCCESS)
            continue;
        szPath[AUTORUN_PATH_CHARS - 1] = 0;
        SetDlgItemTextW(hDlg, AutoRunTable[i].editId, szPath);
    }
    RegCloseKey(hKey);
}

// Every row is written, changed or not, empty or not; no value is deleted.
void SaveAutoRunList(HWND hDlg) {
    HKEY hKey = OpenAutoRunKey();
    if (!hKey) return;
    for (int i = 0; i < AUTORUN_ROWS; i++) {
        WCHAR szPath[AUTORUN_PATH_CHARS];
        memset(szPath, 0, sizeof(szPath));
        GetDlgItemTextW(hDlg, AutoRunTable[i].editId, szPath, AUTORUN_PATH_CHARS);
        if (RegSetValueExW(hKey, AutoRunTable[i].valueName, 0, REG_SZ, (const BYTE*)szPath, sizeof(szPath)) !=
            ERROR_SUCCESS)
            MessageBoxW(NULL, TEXT("AutoRun RegSetValueEx Failed"), TEXT("Auto-Execute"), MB_OK);
    }
    RegCloseKey(hKey);
}
