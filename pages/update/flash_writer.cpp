// WriteImageToFlash: the registry area erase, the erase pass and the write
// pass of an OS image update, with the page's progress bar and status line.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "device/device_library.h"
#include "pages/update/update.h"
#include "resources/resource.h"

#define FIRST_IMAGE_SEGMENT_128K 23578
#define FIRST_IMAGE_SEGMENT_256K 0
#define STATUS_CHARS 80
#define REASON_CHARS 260
#define BUFFER_ALIGNMENT 4096

// Closes the file and releases the buffer, as far as they exist.
static void ReleaseWriteResources(HANDLE hFile, BYTE* pBuffer) {
    if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
    if (pBuffer) free(pBuffer);
}

// Reports a failure of the run to the operator and returns 0.
static int FailImageWrite(HWND hDlg, LPCWSTR lpszText, HANDLE hFile, BYTE* pBuffer) {
    MessageBoxW(hDlg, lpszText, TEXT("Write File to Flash"), MB_ICONEXCLAMATION);
    ReleaseWriteResources(hFile, pBuffer);
    return 0;
}

// Reports an image file that cannot be written, naming it, and returns 0.
static int FailImageFile(HWND hDlg, LPCWSTR lpszFormat, LPCWSTR lpszPath, HANDLE hFile) {
    WCHAR szText[REASON_CHARS];
    wsprintfW(szText, lpszFormat, lpszPath);
    return FailImageWrite(hDlg, szText, hFile, NULL);
}

static void ShowStatus(HWND hDlg, LPCWSTR lpszText) {
    SetDlgItemTextW(hDlg, IDC_STATUS, lpszText);
    UpdateWindow(hDlg);
}

// Where this differs from the controller's first version, on purpose:
// - a file that is not a regular file (a device or a pipe, which would be
//   read without end or wait for ever) or is empty (which would erase the
//   registry area and write nothing) is refused, naming it, before anything
//   is erased;
// - the size is taken with its high word, and a file of 4 GiB or more fails
//   with "GetFileSize error" instead of being written short (as does one of
//   0xFFFFFFFF bytes, the error value);
// - an image whose segments do not all lie inside the image area that
//   GetFlashSize_Img reports is refused before anything is erased;
// - a read that fails or brings other than the segment's share of the file
//   ends the run as a failed library write does;
// - the transfer buffer starts on a page (aligned_alloc, released with free
//   as malloc's is): the copies of every segment into it and out of it to
//   the flash run at full speed, which they do not from malloc's 16-byte
//   offset into its own mapping.
int WriteImageToFlash(HWND hDlg, LPCWSTR lpszPath) {
    HANDLE hFile;
    DWORD dwFileSize, dwFileSizeHigh = 0, dwRead, dwWanted;
    // Neither supported segment size, so that a GetFlashSize_Img that stores
    // nothing ends with "Flash Size Unknown".
    DWORD dwSegmentSize = 0;
    LONG lImageArea, lImageSegments;
    BYTE* pBuffer = NULL;
    int intStartSegNo, intEndSegNo, intSegments, k, s;
    WCHAR szStatus[STATUS_CHARS];

    hFile = CreateFileW(lpszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return FailImageWrite(hDlg, TEXT("OpenFile error"), hFile, NULL);
    if (GetFileType(hFile) != FILE_TYPE_DISK)
        return FailImageFile(hDlg, TEXT("%s: not a regular file"), lpszPath, hFile);

    // 0xFFFFFFFF stays the error value, as it was when the high word was not
    // asked for: a file of 4 GiB less one byte fails here too.
    dwFileSize = GetFileSize(hFile, &dwFileSizeHigh);
    if (dwFileSize == INVALID_FILE_SIZE || dwFileSizeHigh != 0)
        return FailImageWrite(hDlg, TEXT("GetFileSize error"), hFile, NULL);
    if (dwFileSize == 0) return FailImageFile(hDlg, TEXT("%s: the file is empty"), lpszPath, hFile);

    lImageArea = GetFlashSize_Img(&dwSegmentSize);
    if (dwSegmentSize == FLASH_SEGMENT_SIZE_128K) {
        pBuffer = (BYTE*)aligned_alloc(BUFFER_ALIGNMENT, FLASH_SEGMENT_SIZE_128K);
        if (!pBuffer) return FailImageWrite(hDlg, TEXT("Memory allocate failed"), hFile, NULL);
        intSegments = (int)ceil((double)dwFileSize / (double)FLASH_SEGMENT_SIZE_128K);
        intStartSegNo = FIRST_IMAGE_SEGMENT_128K;
        intEndSegNo = intStartSegNo + intSegments;
    } else if (dwSegmentSize == FLASH_SEGMENT_SIZE_256K) {
        pBuffer = (BYTE*)aligned_alloc(BUFFER_ALIGNMENT, FLASH_SEGMENT_SIZE_256K);
        if (!pBuffer) return FailImageWrite(hDlg, TEXT("Memory allocate failed"), hFile, NULL);
        intSegments = (int)ceil((double)dwFileSize / (double)FLASH_SEGMENT_SIZE_256K);
        intStartSegNo = FIRST_IMAGE_SEGMENT_256K;
        intEndSegNo = intStartSegNo + intSegments;
        NKDbgPrintfW(TEXT("intStartSegNo=%d\n\r"), intStartSegNo);
        NKDbgPrintfW(TEXT("intEndSegNo=%d\n\r"), intEndSegNo);
    } else {
        return FailImageWrite(hDlg, TEXT("Flash Size Unknown"), hFile, NULL);
    }

    // The image area holds whole segments only; an image that needs more
    // would erase the registry and the old image and then fail, leaving a
    // controller that cannot start.
    lImageSegments = lImageArea > 0 ? lImageArea / (LONG)dwSegmentSize : 0;
    if (intSegments > lImageSegments)
        return FailImageWrite(hDlg, TEXT("Image file is larger than flash"), hFile, pBuffer);

    SendDlgItemMessageW(hDlg, IDC_PROGRESS, PBM_SETRANGE32, (WPARAM)intStartSegNo, (LPARAM)intEndSegNo);

    for (k = 0; k < REGISTRY_SEGMENT_COUNT; k++) FlashErase_Reg(k);

    for (k = 0; k < intSegments; k++) {
        s = intStartSegNo + k;
        SendDlgItemMessageW(hDlg, IDC_PROGRESS, PBM_SETPOS, (WPARAM)s, 0);
        FlashErase_Img(s);
        wsprintfW(szStatus, TEXT("Erase Flash Memory --> %d%c done"), (100 * (k + 1)) / intSegments, 37);
        ShowStatus(hDlg, szStatus);
    }
    ShowStatus(hDlg, TEXT("Erase Flash Memory --> 100 % done ! Now Write To Flash, Please wait !"));

    for (k = 0; k < intSegments; k++) {
        s = intStartSegNo + k;
        SendDlgItemMessageW(hDlg, IDC_PROGRESS, PBM_SETPOS, (WPARAM)s, 0);
        memset(pBuffer, 0, dwSegmentSize);
        // Every segment but the last takes a whole segment of the file; the
        // last takes the rest. A file that shrank, grew or became unreadable
        // since it was sized is not the image that was measured.
        dwWanted = dwSegmentSize;
        if (k == intSegments - 1 && dwFileSize % dwSegmentSize != 0) dwWanted = dwFileSize % dwSegmentSize;
        dwRead = 0;
        if (!ReadFile(hFile, pBuffer, dwSegmentSize, &dwRead, NULL) || dwRead != dwWanted) {
            ReleaseWriteResources(hFile, pBuffer);
            return 0;
        }
        if (!FlashWriteString_Img(s, 0, pBuffer, dwRead)) {
            ReleaseWriteResources(hFile, pBuffer);
            return 0;
        }
        wsprintfW(szStatus, TEXT("Write Flash Memory --> %d%c done"), (100 * (k + 1)) / intSegments, 37);
        ShowStatus(hDlg, szStatus);
    }
    ShowStatus(hDlg, TEXT("Write Flash Memory --> 100 % done !"));

    ReleaseWriteResources(hFile, pBuffer);
    return 1;
}
