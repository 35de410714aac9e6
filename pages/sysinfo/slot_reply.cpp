// The slot module's reply to the name request: where the name sits in it.
#include <string.h>

#include "pages/sysinfo/sysinfo.h"

// Positions of the reply: "!" first, the name in bytes 3 to 7.
#define NAME_SIZE 5
#define NAME_START 3

void ParseModuleReply(const char* szReply, char* szName) {
    char szModule[NAME_SIZE + 1];
    size_t nLength;
    size_t i;

    memset(szModule, ' ', NAME_SIZE);
    szModule[NAME_SIZE] = 0;

    // Positions the reply did not reach still hold spaces; a zero byte in
    // the reply ends the part that is used, and the last byte before it is
    // never part of the name.
    if (szReply[0] == '!') {
        nLength = strlen(szReply);
        for (i = NAME_START; i + 1 < nLength && i - NAME_START < NAME_SIZE; i++) szModule[i - NAME_START] = szReply[i];
    }
    memcpy(szName, szModule, NAME_SIZE + 1);
}
