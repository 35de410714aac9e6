// The serial port "COMn:" as a kernel object (platform/serial.cpp).
#pragma once

#include <string_view>

#include "platform/wince.h"

namespace orva::platform {

// Whether a CreateFileW name is a serial port ("COM0:" to "COM9:", any case).
bool is_serial_port_name(std::u16string_view name);
// Opens the host device the controller maps the port to. INVALID_HANDLE_VALUE
// and the last error on failure.
HANDLE open_serial_port(std::u16string_view name, DWORD access, DWORD share);

}  // namespace orva::platform
