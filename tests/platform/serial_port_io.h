// What the serial port tests share: a port opened as the program opens it,
// its read time-outs set, a read of up to N bytes, and the time since a
// moment.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/serial_port.h"

namespace orva::test {

using Clock = std::chrono::steady_clock;

inline long elapsed_ms(Clock::time_point since) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The port at `path`, opened for reading and writing, not shared.
inline HANDLE open_port(const std::string& path) {
    return platform::open_serial_device(path, GENERIC_READ | GENERIC_WRITE, 0);
}

inline void set_timeouts(HANDLE port, DWORD interval, DWORD multiplier, DWORD constant) {
    COMMTIMEOUTS t{interval, multiplier, constant, 10, 1000};
    ASSERT_TRUE(SetCommTimeouts(port, &t));
}

// What one ReadFile of `size` bytes gives; `*ok` its result.
inline std::string read_port(HANDLE port, DWORD size, BOOL* ok = nullptr) {
    std::string buf(size, '\0');
    DWORD got = 12345;
    BOOL r = ReadFile(port, buf.data(), size, &got, nullptr);
    if (ok) *ok = r;
    buf.resize(got);
    return buf;
}

}  // namespace orva::test
