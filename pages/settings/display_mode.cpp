// The display mode group of the "Save Registry" page: the MQ200 driver's
// width, height, colour depth and refresh rate, shown in three labels,
// offered in three lists and written back as REG_DWORD values.
#include "pages/settings/settings.h"
#include "resources/resource.h"

static const WCHAR kDisplayKey[] = TEXT("Drivers\\Display\\MQ200");

const LONG DisplayModeTable[16] = {
    2,   4,   8,   16,    // colour depths
    50,  60,  70,  75,    // refresh rates
    320, 640, 800, 1024,  // widths
    240, 480, 600, 768,   // heights
};

#define BPP_ROW(r) DisplayModeTable[0 + (r)]
#define FREQ_ROW(r) DisplayModeTable[4 + (r)]
#define WIDTH_ROW(r) DisplayModeTable[8 + (r)]
#define HEIGHT_ROW(r) DisplayModeTable[12 + (r)]
#define DISPLAY_ROWS 4

void FormatResolutionItem(int row, LPWSTR text) { wsprintfW(text, TEXT("%d x %d"), WIDTH_ROW(row), HEIGHT_ROW(row)); }

int FindResolutionIndex(LONG width) {
    for (int row = 0; row < DISPLAY_ROWS; row++)
        if (WIDTH_ROW(row) == width) return row;
    return 0;
}

void FormatBppItem(int row, LPWSTR text) { wsprintfW(text, TEXT("%d"), BPP_ROW(row)); }

int FindBppIndex(LONG bpp) {
    for (int row = 0; row < DISPLAY_ROWS; row++)
        if (BPP_ROW(row) == bpp) return row;
    return 0;
}

void FormatFreqItem(int row, LPWSTR text) { wsprintfW(text, TEXT("%d Hz"), FREQ_ROW(row)); }

int FindFreqIndex(LONG freq) {
    for (int row = 0; row < DISPLAY_ROWS; row++)
        if (FREQ_ROW(row) == freq) return row;
    return 0;
}

// Takes the value only when the read brought exactly 4 bytes, so that a
// shorter value of another type never leaves a mix of old and new bytes.
static void ReadDisplayValue(HKEY hKey, LPCWSTR lpszName, LONG& value) {
    LONG data = value;
    DWORD dwSize = sizeof(data);
    if (RegQueryValueExW(hKey, lpszName, NULL, NULL, (LPBYTE)&data, &dwSize) == ERROR_SUCCESS && dwSize == sizeof(data))
        value = data;
}

void ReadDisplayMode(LONG& width, LONG& height, LONG& bpp, LONG& freq) {
    HKEY hKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDisplayKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) return;
    ReadDisplayValue(hKey, TEXT("CxScreen"), width);
    Sleep(10);
    ReadDisplayValue(hKey, TEXT("CyScreen"), height);
    Sleep(10);
    ReadDisplayValue(hKey, TEXT("Bpp"), bpp);
    Sleep(10);
    ReadDisplayValue(hKey, TEXT("Freq"), freq);
    RegCloseKey(hKey);
}

void ShowDisplayMode(HWND hDlg, LONG& width, LONG& height, LONG& bpp, LONG& freq) {
    WCHAR szText[SETTINGS_TEXT_CHARS];
    ReadDisplayMode(width, height, bpp, freq);
    wsprintfW(szText, TEXT("Resolution : %d x %d"), width, height);
    SetDlgItemTextW(hDlg, IDC_RESOLUTION_LABEL, szText);
    wsprintfW(szText, TEXT("Bpp : %d"), bpp);
    SetDlgItemTextW(hDlg, IDC_BPP_LABEL, szText);
    wsprintfW(szText, TEXT("Frequncy : %d Hz"), freq);
    SetDlgItemTextW(hDlg, IDC_FREQ_LABEL, szText);
}

// Before the registry is read the mode is all zeros, so that a missing key
// or value shows as 0 in its label (and selects row 0 in its list).
void InitDisplayModeControls(HWND hDlg) {
    LONG width = 0, height = 0, bpp = 0, freq = 0;
    WCHAR szItem[SETTINGS_TEXT_CHARS];
    ShowDisplayMode(hDlg, width, height, bpp, freq);

    for (int row = 0; row < DISPLAY_ROWS; row++) {
        FormatResolutionItem(row, szItem);
        SendDlgItemMessageW(hDlg, IDC_RESOLUTION, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)szItem);
    }
    SendDlgItemMessageW(hDlg, IDC_RESOLUTION, CB_SETCURSEL, FindResolutionIndex(width), 0);

    for (int row = 0; row < DISPLAY_ROWS; row++) {
        FormatBppItem(row, szItem);
        SendDlgItemMessageW(hDlg, IDC_BPP, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)szItem);
    }
    SendDlgItemMessageW(hDlg, IDC_BPP, CB_SETCURSEL, FindBppIndex(bpp), 0);

    for (int row = 0; row < DISPLAY_ROWS; row++) {
        FormatFreqItem(row, szItem);
        SendDlgItemMessageW(hDlg, IDC_FREQ, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)szItem);
    }
    SendDlgItemMessageW(hDlg, IDC_FREQ, CB_SETCURSEL, FindFreqIndex(freq), 0);
}

// The selected row of a list, or -1 when nothing usable is selected.
static int SelectedRow(HWND hDlg, int id) {
    LRESULT sel = SendDlgItemMessageW(hDlg, id, CB_GETCURSEL, 0, 0);
    return (sel >= 0 && sel < DISPLAY_ROWS) ? (int)sel : -1;
}

static void WriteDisplayValue(HKEY hKey, LPCWSTR lpszName, LONG value, LPCWSTR lpszFailure) {
    if (RegSetValueExW(hKey, lpszName, 0, REG_DWORD, (const BYTE*)&value, sizeof(value)) != ERROR_SUCCESS)
        MessageBoxW(NULL, lpszFailure, TEXT("Save VGA Setting"), MB_OK);
}

void ApplyDisplayMode(HWND hDlg) {
    LONG width = WIDTH_ROW(0), height = HEIGHT_ROW(0), bpp = BPP_ROW(0), freq = FREQ_ROW(0);
    int row;
    HKEY hKey;

    if ((row = SelectedRow(hDlg, IDC_RESOLUTION)) >= 0) {
        width = WIDTH_ROW(row);
        height = HEIGHT_ROW(row);
    }
    if ((row = SelectedRow(hDlg, IDC_BPP)) >= 0) bpp = BPP_ROW(row);
    if ((row = SelectedRow(hDlg, IDC_FREQ)) >= 0) freq = FREQ_ROW(row);

    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDisplayKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) {
        MessageBoxW(NULL, TEXT("VGA RegOpenKeyEx Failed"), TEXT("Save VGA Registry"), MB_OK);
    } else {
        WriteDisplayValue(hKey, TEXT("CxScreen"), width, TEXT("CxScreen RegSetValueEx Failed"));
        WriteDisplayValue(hKey, TEXT("CyScreen"), height, TEXT("CyScreen RegSetValueEx Failed"));
        WriteDisplayValue(hKey, TEXT("Bpp"), bpp, TEXT("Bpp RegSetValueEx Failed"));
        WriteDisplayValue(hKey, TEXT("Freq"), freq, TEXT("Freq RegSetValueEx Failed"));
        RegCloseKey(hKey);
    }
    ShowDisplayMode(hDlg, width, height, bpp, freq);
}
