// Processes and Sleep. Starting programs is not yet supported: CreateProcessW
// fails as for a missing program file.
#include <time.h>

#include <cerrno>

#include "platform/wince.h"

BOOL CreateProcessW(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                    LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

DWORD ResumeThread(HANDLE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0xFFFFFFFFu;
}

void Sleep(DWORD milliseconds) {
    timespec ts{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}
