// The calling thread's last error: errno translated to Windows codes in one
// place, and the one way a platform call fails.
#pragma once

#include "platform/wince.h"

namespace orva::platform {

DWORD error_from_errno(int err);

// Sets the last error and returns FALSE: how a BOOL call fails.
BOOL fail(DWORD error);
// Sets the last error and returns INVALID_HANDLE_VALUE: how a call that
// opens a kernel object fails.
HANDLE fail_handle(DWORD error);

}  // namespace orva::platform
