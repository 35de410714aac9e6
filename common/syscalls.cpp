// The system call table: each entry's real call, and putting them back.
#include "common/syscalls.h"

#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/reboot.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace orva::sys {
namespace {

// Whether a guarded call may reach the kernel: never in a build that has
// its tests.
bool guarded_call_allowed(const char* name) {
#ifdef ORVA_REFUSE_REBOOT
    std::fprintf(stderr, "%s(2) refused: this build has its tests, and they never restart the machine\n", name);
    errno = EPERM;
    return false;
#else
    (void)name;
    return true;
#endif
}

// The real calls, each with the entry's own parameters (open, openat, fcntl
// and ioctl take a variable argument list; fcntl's and ioctl's argument goes
// on as a pointer-sized word, as the C library takes it).
#define ORVA_REAL_retry(call, result, params, args) \
    result real_##call params { return ::call args; }
#define ORVA_REAL_once ORVA_REAL_retry
#define ORVA_REAL_guarded(call, result, params, args) \
    result real_##call params { return guarded_call_allowed(#call) ? ::call args : result(-1); }
#define ORVA_SYSCALL_REAL(call, result, params, args, policy) ORVA_REAL_##policy(call, result, params, args)
ORVA_SYSCALLS(ORVA_SYSCALL_REAL)
#undef ORVA_SYSCALL_REAL

}  // namespace

constinit Table g_table = {
#define ORVA_SYSCALL_DEFAULT(call, result, params, args, policy) {#call, &real_##call},
    ORVA_SYSCALLS(ORVA_SYSCALL_DEFAULT)
#undef ORVA_SYSCALL_DEFAULT
};

void restore_all() {
#define ORVA_SYSCALL_RESTORE(call, result, params, args, policy) g_table.call.restore();
    ORVA_SYSCALLS(ORVA_SYSCALL_RESTORE)
#undef ORVA_SYSCALL_RESTORE
}

std::vector<std::string> overridden() {
    std::vector<std::string> out;
#define ORVA_SYSCALL_CHECK(call, result, params, args, policy) \
    if (g_table.call.overridden()) out.emplace_back(g_table.call.name);
    ORVA_SYSCALLS(ORVA_SYSCALL_CHECK)
#undef ORVA_SYSCALL_CHECK
    return out;
}

}  // namespace orva::sys
