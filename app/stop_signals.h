// SIGINT, SIGTERM and SIGHUP: while the program has a controller open they
// end it as its own end does (without waiting for the operator): at its next
// wait for the operator, the frontend told first, then the controller closed
// as at a normal exit. A second one ends the process at once.
#pragma once

namespace orva::app {

// Blocks the three signals in the calling thread, which must be the main
// thread before it starts any other (every thread started later inherits
// the mask, so none of them is cut short by these signals), and waits for
// them on a thread of its own. Until stop_signals_deliver(true) each ends
// the process at once, as by default; then the first is handed to the
// platform (platform::request_stop); after stop_signals_deliver(false)
// they are ignored (the program is ending by itself). While a stop is
// pending, another signal ends the process at once.
void catch_stop_signals();

// Whether the signals now go to the platform as a stop. Turning delivery off
// waits for a delivery in progress, so that the installed frontend may then
// go.
void stop_signals_deliver(bool deliver);

// Ends the process by `signal` as its default action would (the caller has
// cleaned up), so that whoever started it sees how it ended.
[[noreturn]] void end_by_signal(int signal);

}  // namespace orva::app
