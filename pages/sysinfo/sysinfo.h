// The "System Config" page's own procedures beyond its dialog procedure
// (which shell/shell.h declares).
#pragma once

#include "platform/wince.h"

// Asks the I/O module in nSlot (low eight bits) for its own name over "COM0:".
// szName (at least six bytes) receives five characters and a NUL: the
// module's name, or five spaces when no usable reply came. Reports nothing.
void QuerySlotModuleName(int nSlot, char* szName);
