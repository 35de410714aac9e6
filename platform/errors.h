// The calling thread's last error: errno translated to Windows codes in one
// place, and the one way a platform call fails.
#pragma once

#include "platform/wince.h"

// Win32 errors the platform gives that the application never names.
#define ERROR_GEN_FAILURE 31L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

namespace orva::platform {

DWORD error_from_errno(int err);

// Sets the last error and returns FALSE: how a BOOL call fails.
BOOL fail(DWORD error);
// Sets the last error and returns INVALID_HANDLE_VALUE: how a call that
// opens a kernel object fails.
HANDLE fail_handle(DWORD error);

}  // namespace orva::platform
