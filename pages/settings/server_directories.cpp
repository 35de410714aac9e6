// The server group of the "Save Registry" page: the default directories of
// the FTP and HTTP servers, each shown in an edit and a label and changed
// only to a path that exists on the controller.
#include <string.h>

#include "pages/settings/settings.h"
#include "resources/resource.h"

// One row of the group; the FTP and HTTP rows differ only here.
struct DIRECTORY_ROW {
    LPCWSTR lpszKey;
    LPCWSTR lpszValue;
    int idEdit;
    int idLabel;
    LPCWSTR lpszLabelFormat;
    LPCWSTR lpszOpenFailed;
    LPCWSTR lpszWriteFailed;
};

static const DIRECTORY_ROW kFtpRow = {
    TEXT("Comm\\FTPD"),
    TEXT("DefaultDir"),
    IDC_FTP_DIR,
    IDC_FTP_LABEL,
    TEXT("Change FTP default directory %s to :"),
    TEXT("FTP RegOpenKeyEx Failed"),
    TEXT("FTP RegSetValueEx Failed"),
};

static const DIRECTORY_ROW kHttpRow = {
    TEXT("Comm\\HTTPD\\Websites\\Public\\VROOTS\\/"),
    TEXT("Default"),
    IDC_HTTP_DIR,
    IDC_HTTP_LABEL,
    TEXT("Change HTTP default directory %s to :"),
    TEXT("HTTP RegOpenKeyEx Failed"),
    TEXT("HTTP RegSetValueEx Failed"),
};

void ReadRegistryString(LPCWSTR lpszKey, LPCWSTR lpszValue, LPWSTR buffer, DWORD capacity) {
    const DWORD chars = capacity / sizeof(WCHAR);
    HKEY hKey;
    DWORD dwType, dwSize = capacity;

    if (chars == 0) return;
    LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, lpszKey, 0, KEY_ALL_ACCESS, &hKey);
    Sleep(10);
    if (opened != ERROR_SUCCESS) {
        buffer[0] = 0;
        return;
    }
    if (RegQueryValueExW(hKey, lpszValue, NULL, &dwType, (LPBYTE)buffer, &dwSize) != ERROR_SUCCESS) buffer[0] = 0;
    buffer[chars - 1] = 0;
    Sleep(10);
    RegCloseKey(hKey);
}

static void ShowDirectory(HWND hDlg, const DIRECTORY_ROW& row) {
    WCHAR szDir[SETTINGS_TEXT_CHARS];
    WCHAR szLabel[DIRECTORY_LABEL_CHARS];

    memset(szDir, 0, sizeof(szDir));
    ReadRegistryString(row.lpszKey, row.lpszValue, szDir, sizeof(szDir));
    SetDlgItemTextW(hDlg, row.idEdit, szDir);
    wsprintfW(szLabel, row.lpszLabelFormat, szDir);
    SetDlgItemTextW(hDlg, row.idLabel, szLabel);
    UpdateWindow(hDlg);
}

static void ApplyDirectory(HWND hDlg, const DIRECTORY_ROW& row) {
    WCHAR szDir[SETTINGS_TEXT_CHARS];
    WIN32_FIND_DATAW findData;
    HANDLE hFind;
    HKEY hKey;

    memset(szDir, 0, sizeof(szDir));
    GetDlgItemTextW(hDlg, row.idEdit, szDir, SETTINGS_TEXT_CHARS);

    hFind = FindFirstFileW(szDir, &findData);
    if (hFind == INVALID_HANDLE_VALUE) {
        WCHAR szText[SETTINGS_TEXT_CHARS];
        LONG err = (LONG)GetLastError();
        wsprintfW(szText, TEXT("Directory not exist, please create it first. ErrCode : %ld"), err);
        MessageBoxW(NULL, szText, TEXT("Directory Not exist"), MB_OK);
    } else {
        FindClose(hFind);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, row.lpszKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) {
            MessageBoxW(NULL, row.lpszOpenFailed, TEXT("Save Registry"), MB_OK);
        } else {
            if (RegSetValueExW(hKey, row.lpszValue, 0, REG_SZ, (const BYTE*)szDir, sizeof(szDir)) != ERROR_SUCCESS)
                MessageBoxW(NULL, row.lpszWriteFailed, TEXT("Save Registry"), MB_OK);
            RegCloseKey(hKey);
        }
    }
    ShowDirectory(hDlg, row);
}

void ShowFtpDirectory(HWND hDlg) { ShowDirectory(hDlg, kFtpRow); }
void ShowHttpDirectory(HWND hDlg) { ShowDirectory(hDlg, kHttpRow); }
void ApplyFtpDirectory(HWND hDlg) { ApplyDirectory(hDlg, kFtpRow); }
void ApplyHttpDirectory(HWND hDlg) { ApplyDirectory(hDlg, kHttpRow); }
