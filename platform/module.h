// The program's module as the loader sees it: its resource section, which
// the resource calls read. The Linux entry installs it before WinMain.
#pragma once

#include "platform/wince.h"

namespace orva::platform {

void set_resource_section(const RESOURCE_SECTION* section);
// The installed section; an empty one when none is installed.
const RESOURCE_SECTION& resource_section();

}  // namespace orva::platform
