// The slot module's reply: whatever the module sends, the name is five
// characters and a NUL, taken from where the reply says and nowhere else.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pages/sysinfo/sysinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // As the query reads it: at most nine bytes over nine spaces, then a NUL.
    char reply[10];
    std::memset(reply, ' ', 9);
    reply[9] = 0;
    std::memcpy(reply, data, size < 9 ? size : 9);
    char name[8];
    std::memset(name, 0x7F, sizeof name);
    ParseModuleReply(reply, name);

    // Byte 3 + i of a reply starting with "!" when the reply reaches the byte
    // after it (before its first zero byte), else a space.
    const size_t length = std::strlen(reply);
    for (size_t i = 0; i < 5; ++i) {
        const char expected = reply[0] == '!' && 3 + i + 1 < length ? reply[3 + i] : ' ';
        if (name[i] != expected) {
            std::fprintf(stderr, "slot_reply_fuzz: name byte %zu is 0x%02X, not 0x%02X\n", i, name[i] & 0xFF,
                         expected & 0xFF);
            std::abort();
        }
    }
    if (name[5] != 0 || name[6] != 0x7F || name[7] != 0x7F) {
        std::fprintf(stderr, "slot_reply_fuzz: the name is not five characters and a NUL\n");
        std::abort();
    }
    return 0;
}
