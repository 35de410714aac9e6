// The "Version Update" page: its dialog procedure (declared in shell/shell.h)
// and the flash writer it calls.
#pragma once

#include "platform/wince.h"

// Writes the file at `lpszPath` into the OS image area of flash, segment by
// segment, after erasing the registry area and the segments the image will
// occupy; drives progress bar IDC_PROGRESS and status line IDC_STATUS of
// `hDlg`. Returns 1 when the whole image was written, 0 on failure. Failures
// before the first erase leave the flash untouched and show their own box;
// a failed write or read of a segment shows no box of its own.
int WriteImageToFlash(HWND hDlg, LPCWSTR lpszPath);
