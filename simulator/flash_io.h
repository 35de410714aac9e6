// Every system call the flash and its erased-segment map make, in one place:
// opening without blocking, whole reads and writes at an offset, sizing,
// syncing and replacing a small file. Failures leave errno set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace orva::sim::flash_io {

struct OpenResult {
    int fd = -1;
    bool read_only = false;   // could only be opened for reading (EACCES, EROFS)
    int read_only_error = 0;  // then why not for writing: the errno of that open
};

// Opens an existing regular file, falling back to reading only when it may
// not be written. Never blocks: a FIFO, a device, a directory or anything
// else that is not a regular file is refused with a message naming what it
// is. fd -1 and `why` on failure (errno ENOENT when it is missing).
OpenResult open_regular(const std::filesystem::path& file, std::string* why);

void close_fd(int fd);

// The file's size in bytes; -1 on error.
int64_t file_size(int fd);
// Makes the file `size` bytes long (only ever longer).
bool extend(int fd, int64_t size);

// Reads n bytes at off, retrying short reads and EINTR; bytes past the end
// of the file read as `past_end`.
bool pread_all(int fd, uint8_t* buf, size_t n, int64_t off, uint8_t past_end = 0);
// Writes n bytes at off, retrying short writes and EINTR.
bool pwrite_all(int fd, const uint8_t* buf, size_t n, int64_t off);

// Whether [off, off+len) holds no data (a hole or unwritten extents, which
// read as zeros). false when unknown.
bool is_hole(int fd, int64_t off, int64_t len);
// Starts writing [off, off+len) to the disk without waiting for it (nothing
// where the file system cannot).
void start_writeback(int fd, int64_t off, int64_t len);
// Waits until the file's data is on the disk.
bool sync_data(int fd);

// Replaces `file` with `bytes` through a synced temporary file renamed over
// it, so that a reader sees the old file or the whole new one.
bool replace_file(const std::filesystem::path& file, const std::string& bytes);

}  // namespace orva::sim::flash_io
