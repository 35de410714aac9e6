// The slot module query: routes "COM0:" to a slot's module bus, sends the
// name request "$00M\r" and takes the five-character name out of the reply.
#include <cstring>

#include "device/device_library.h"
#include "pages/sysinfo/sysinfo.h"

// A complete reply: "!", two bytes, the five-character name, one byte.
#define REPLY_SIZE 9

// The read waits for the reply: up to 100 ms in all, and it ends early when
// the reply stops for 30 ms (or when all nine bytes have come). A read that
// took only what had arrived at once would almost never hear the module.
#define REPLY_INTERVAL_MS 30
#define REPLY_TOTAL_MS 100

void QuerySlotModuleName(int nSlot, char* szName) {
    static const char szRequest[] = "$00M\r";
    char szReceive[REPLY_SIZE + 1];
    DCB dcb;
    COMMTIMEOUTS timeouts;
    DWORD dwWritten = 0;
    DWORD dwRead = 0;

    HANDLE hPort = CreateFileW(TEXT("COM0:"), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ChangeSlotToVex((BYTE)(nSlot & 0xFF));

    memset(szReceive, ' ', REPLY_SIZE);
    szReceive[REPLY_SIZE] = 0;

    if (hPort != INVALID_HANDLE_VALUE) {
        // A failed GetCommState leaves the settings below on a cleared DCB.
        memset(&dcb, 0, sizeof(dcb));
        dcb.DCBlength = sizeof(dcb);
        GetCommState(hPort, &dcb);
        dcb.BaudRate = CBR_115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fParity = FALSE;
        dcb.fNull = FALSE;
        if (SetCommState(hPort, &dcb)) {
            timeouts.ReadIntervalTimeout = REPLY_INTERVAL_MS;
            timeouts.ReadTotalTimeoutMultiplier = 0;
            timeouts.ReadTotalTimeoutConstant = REPLY_TOTAL_MS;
            timeouts.WriteTotalTimeoutMultiplier = 10;
            timeouts.WriteTotalTimeoutConstant = 1000;
            if (SetCommTimeouts(hPort, &timeouts)) {
                WriteFile(hPort, szRequest, 5, &dwWritten, NULL);
                ReadFile(hPort, szReceive, REPLY_SIZE, &dwRead, NULL);
            }
        }
    }

    ParseModuleReply(szReceive, szName);

    if (hPort != INVALID_HANDLE_VALUE) CloseHandle(hPort);
}
