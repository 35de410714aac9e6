// The "System Config" page's own procedures beyond its dialog procedure
// (which shell/shell.h declares).
#pragma once

#include "platform/wince.h"

// Asks the I/O module in nSlot (low eight bits) for its own name over "COM0:".
// szName (at least six bytes) receives five characters and a NUL: the
// module's name, or five spaces when no usable reply came. Reports nothing.
void QuerySlotModuleName(int nSlot, char* szName);

// Takes the module's name out of its reply to the name request. szReply holds
// nine bytes and a NUL: the reply as read, spaces where it did not reach.
// szName (at least six bytes) receives five characters and a NUL: bytes 3 to
// 7 of a reply that starts with "!" (up to the byte before its first zero
// byte, spaces after), else five spaces.
void ParseModuleReply(const char* szReply, char* szName);
