// Faults injected into real system calls through the system call table. An
// injector puts its own function in every entry of the table while it lives;
// disarmed, each passes the call on to what the entry held before (the real
// call, or a test's double of a device). Armed with a fault and a
// number N, the Nth call that the fault can hit (counted on the arming
// thread, among the calls to the files watched) fails with the fault's errno
// or moves only part of its bytes, and nothing else is touched. A campaign
// arms N = 1, 2, ... until a run no longer reaches the Nth call.
#pragma once

#include <set>
#include <string>
#include <thread>

namespace orva::test {

struct Fault {
    std::string name;             // for messages: "EIO"
    int error = 0;                // the errno it fails with; 0: a short transfer
    std::set<std::string> calls;  // the entries of the table it can hit
};

// EIO from any call on a file or folder.
const Fault& io_error();
// ENOSPC from a call that may need room: a write, a sync, growing a file,
// creating one (an open with O_CREAT) or a folder, a rename.
const Fault& disk_full();
// A read or write that moves half of what was asked (at least one byte) and
// succeeds; the caller must ask again for the rest.
const Fault& short_transfer();

class FaultInjector {
public:
    FaultInjector();
    ~FaultInjector();  // puts back what every entry held before
    FaultInjector(const FaultInjector&) = delete;
    FaultInjector& operator=(const FaultInjector&) = delete;

    // Counts only calls on files whose path holds `part` (every call when
    // nothing is watched); may be called for several parts.
    void watch(const std::string& part);
    // The `nth` call (from 1) that `fault` can hit fails so.
    void arm(const Fault& fault, int nth);
    void disarm();
    // Whether the armed fault was injected, and where ("pwrite FILE").
    bool fired() const;
    std::string hit() const;

    // Every call, on every thread, first fails with EINTR and succeeds when
    // made again (close is made and reports EINTR: its descriptor is gone).
    void interrupt_every_call(bool on);
    long interruptions() const;
};

}  // namespace orva::test
