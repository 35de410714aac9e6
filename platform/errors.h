// The calling thread's last error, and errno translated to Windows codes in
// one place.
#pragma once

#include "platform/wince.h"

namespace orva::platform {

DWORD error_from_errno(int err);

}  // namespace orva::platform
