// SQLite's system calls for the registry's files, routed through the system
// call table (common/syscalls.h), so that a test can fail SQLite's reads,
// writes and syncs of one registry file as it fails the program's own.
//
// SQLite's own mechanism does it: the unix VFS's calls "open", "close",
// "access", "stat", "fstat", "ftruncate", "fcntl", "read", "pread64",
// "write", "pwrite64", "fchmod" and "unlink" are set to the table's with
// xSetSystemCall. The unix VFS syncs with fdatasync, which it does not let
// be replaced; the VFS named here wraps it and syncs each file through the
// table's fdatasync before the unix VFS's own sync, which then finds nothing
// left to write (it also syncs the folder of a new journal, which the table
// does not see).
#pragma once

namespace orva::sim {

// The VFS to open the registry's files with. The first call sets up the
// routing for the whole process.
const char* sqlite_vfs_name();

// How many of SQLite's reads (read, pread, fstat) on this thread have
// failed so far. SQLite reports some failed reads as damage (an integrity
// check row, "database disk image is malformed"); a count that grew during
// a check says the file could not be read rather than that it is damaged.
long sqlite_read_failures();

}  // namespace orva::sim
