// The "System Config" page: the slot 1 module, serial number, MAC addresses,
// memory sizes and the OS, SDK and kernel versions, read once when the page
// is created.
#include <cstring>

#include "device/device_library.h"
#include "pages/sysinfo/sysinfo.h"
#include "resources/resource.h"
#include "shell/shell.h"

#define SERIAL_RETRIES 10

// Fills every field of the page. Only the serial-number read is checked (and
// retried); nothing is reported to the operator.
static void FillSystemInfo(HWND hDlg) {
    WCHAR szText[80];
    BYTE byBuffer[8] = {0};
    char szSlotName[8];
    DWORD dwMac[6];
    DWORD dwSegmentSize = 0;
    LONG lImageSize;
    int nModel;
    int i;

    // Slot 1: the model number, or the module's own name when the library
    // says the module sits on the serial module bus ("5000").
    nModel = GetNameOfModule(1, (char*)byBuffer);
    wsprintfW(szText, TEXT("R-%d"), nModel + 5000);
    if (memcmp(byBuffer, "5000", 5) == 0) {
        QuerySlotModuleName(1, szSlotName);
        if (strcmp(szSlotName, "     ") == 0) wsprintfW(szText, TEXT(""));
        else wsprintfW(szText, TEXT("R-%S"), szSlotName);
    }
    SetDlgItemTextW(hDlg, IDC_SLOT1, szText);

    // Serial number: each retry is two calls, the first one's result unused.
    memset(byBuffer, 0, sizeof(byBuffer));
    if (GetSystemSerialNumber(byBuffer) != 0) {
        for (i = 0; i < SERIAL_RETRIES; i++) {
            GetSystemSerialNumber(byBuffer);
            NKDbgPrintfW(TEXT("Serial Number Error\r\n"));
            if (GetSystemSerialNumber(byBuffer) == 0) break;
        }
    }
    wsprintfW(szText, TEXT("%2.2X  %2.2X  %2.2X  %2.2X  %2.2X  %2.2X  %2.2X  %2.2X"), byBuffer[0], byBuffer[1],
              byBuffer[2], byBuffer[3], byBuffer[4], byBuffer[5], byBuffer[6], byBuffer[7]);
    SetDlgItemTextW(hDlg, IDC_SERIAL_NUMBER, szText);

    memset(dwMac, 0, sizeof(dwMac));
    ReadMAC(0, dwMac);
    wsprintfW(szText, TEXT("%2.2X : %2.2X : %2.2X : %2.2X : %2.2X : %2.2X"), dwMac[0], dwMac[1], dwMac[2], dwMac[3],
              dwMac[4], dwMac[5]);
    SetDlgItemTextW(hDlg, IDC_MAC1, szText);

    memset(dwMac, 0, sizeof(dwMac));
    ReadMAC(1, dwMac);
    wsprintfW(szText, TEXT("%2.2X : %2.2X : %2.2X : %2.2X : %2.2X : %2.2X"), dwMac[0], dwMac[1], dwMac[2], dwMac[3],
              dwMac[4], dwMac[5]);
    SetDlgItemTextW(hDlg, IDC_MAC2, szText);

    lImageSize = GetFlashSize_Img(&dwSegmentSize);
    wsprintfW(szText, TEXT("%ld bytes"), lImageSize);
    SetDlgItemTextW(hDlg, IDC_IMAGE_SIZE, szText);

    if (dwSegmentSize == FLASH_SEGMENT_SIZE_128K) SetDlgItemTextW(hDlg, IDC_FLASH_SIZE, TEXT("16M bytes"));
    else if (dwSegmentSize == FLASH_SEGMENT_SIZE_256K) SetDlgItemTextW(hDlg, IDC_FLASH_SIZE, TEXT("32M bytes"));
    else SetDlgItemTextW(hDlg, IDC_FLASH_SIZE, TEXT("Unknown"));

    SetDlgItemTextW(hDlg, IDC_EEPROM_SIZE, TEXT("128K bytes"));

    // The version texts are shown as the library leaves the buffer.
    GetOSversion(szText);
    SetDlgItemTextW(hDlg, IDC_OS_VERSION, szText);
    GetSDKversion(szText);
    SetDlgItemTextW(hDlg, IDC_SDK_VERSION, szText);

    GetKernelVersion(byBuffer);
    wsprintfW(szText, TEXT("Orva Kernel %c%c%c%c%c%c"), byBuffer[0], byBuffer[1], byBuffer[2], byBuffer[3], byBuffer[4],
              byBuffer[5]);
    SetDlgItemTextW(hDlg, IDC_KERNEL_VERSION, szText);
}

BOOL CALLBACK SystemInfoPageProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            CenterInParent(hDlg);
            FillSystemInfo(hDlg);
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
