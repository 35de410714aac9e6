// The program's module as the loader sees it: its resource section, which
// the resource calls read, and its start. The Linux entry installs the
// section before it starts the program.
#pragma once

#include "platform/wince.h"

namespace orva::platform {

void set_resource_section(const RESOURCE_SECTION* section);
// The installed section; an empty one when none is installed.
const RESOURCE_SECTION& resource_section();

// The instance handle the loader gives the program's module: its load address.
inline const HINSTANCE kModuleInstance = reinterpret_cast<HINSTANCE>(uintptr_t(0x00400000));

// Starts the program as the loader does: WinMain with the module's instance
// handle, no previous instance, an empty command line, shown normally.
// Returns WinMain's result.
inline int start_program() { return WinMain(kModuleInstance, nullptr, const_cast<LPWSTR>(u""), SW_SHOW); }

}  // namespace orva::platform
