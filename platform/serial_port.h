// The serial port "COMn:" as a kernel object (platform/serial.cpp): a host
// terminal device (a USB serial adapter, a pseudo-terminal) driven through
// termios, with the Windows line settings (DCB) and time-outs (COMMTIMEOUTS).
#pragma once

#include <string>
#include <string_view>

#include "platform/wince.h"

namespace orva::platform {

// Whether a CreateFileW name is a serial port ("COM0:" to "COM9:", any case).
bool is_serial_port_name(std::u16string_view name);

// Opens the host device the controller maps the port to. INVALID_HANDLE_VALUE
// and the last error on failure: ERROR_FILE_NOT_FOUND when the port is not
// mapped or the device is missing or not a terminal.
HANDLE open_serial_port(std::u16string_view name, DWORD access, DWORD share);

// Opens a host terminal device as a serial port, exclusively: the device is
// locked (flock) and marked exclusive (TIOCEXCL) until the handle is closed,
// so a second opener, in this process or another, fails with
// ERROR_SHARING_VIOLATION. A share mode other than 0 fails with
// ERROR_INVALID_PARAMETER: serial ports cannot be shared. The line is put in
// raw mode (no echo, no character processing, no modem control) with its
// speed and framing kept, and anything already received is discarded. Until
// SetCommTimeouts, reads return at once with what has arrived and writes give
// up after 10 ms a byte plus 1000 ms.
HANDLE open_serial_device(const std::string& host_path, DWORD access, DWORD share);

}  // namespace orva::platform
