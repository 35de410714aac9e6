// Where the kernel debug output goes besides the frontend.
#pragma once

namespace orva::platform {

// Whether each NKDbgPrintfW text is also written to standard error (the
// default). A frontend that owns standard error (the one-shot commands) turns
// it off; the frontend is told of every text either way.
void set_debug_echo(bool to_stderr);

}  // namespace orva::platform
