// The serial port "COMn:". Not yet connected to a host device: opening fails
// as for a port that does not exist.
#include "platform/serial_port.h"
#include "platform/text.h"

namespace orva::platform {

bool is_serial_port_name(std::u16string_view name) {
    return name.size() == 5 && equal_no_case(name.substr(0, 3), u"com") && name[3] >= u'0' && name[3] <= u'9' &&
           name[4] == u':';
}

HANDLE open_serial_port(std::u16string_view, DWORD, DWORD) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

}  // namespace orva::platform

BOOL GetCommState(HANDLE, LPDCB) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
BOOL SetCommState(HANDLE, LPDCB) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
BOOL SetCommTimeouts(HANDLE, LPCOMMTIMEOUTS) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
