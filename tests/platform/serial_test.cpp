// The serial port against real pseudo-terminals: exclusive opening, the line
// settings, the read and write time-outs, the bytes as sent.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/handles.h"
#include "platform/serial_port.h"
#include "tests/platform/serial_port_io.h"

namespace {

using namespace orva::test;
using orva::platform::open_serial_device;

// A pseudo-terminal whose master side the test plays.
struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master < 0 || ::grantpt(master) || ::unlockpt(master) || ::ptsname_r(master, name, sizeof name))
            ADD_FAILURE() << "no pseudo-terminal";
        else slave = name;
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    void send(const std::string& bytes) const {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // What has arrived at the master within `ms`.
    std::string receive(int ms = 50) const {
        std::string got;
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        while (Clock::now() < end) {
            char buf[256];
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) got.append(buf, size_t(n));
            else std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return got;
    }
};

// ------------------------------------------------------------------ opening

TEST(SerialOpen, RefusesWhatIsNoTerminalOrSharedOrMissing) {
    struct Row {
        std::string path;
        DWORD share;
        DWORD error;
    };
    Pty pty;
    for (const Row& row : {Row{"/nonexistent/ttyX", 0, ERROR_FILE_NOT_FOUND}, Row{"/dev/null", 0, ERROR_FILE_NOT_FOUND},
                           Row{pty.slave, FILE_SHARE_READ, ERROR_INVALID_PARAMETER}}) {
        SetLastError(0);
        EXPECT_EQ(open_serial_device(row.path, GENERIC_READ | GENERIC_WRITE, row.share), INVALID_HANDLE_VALUE)
            << row.path;
        EXPECT_EQ(GetLastError(), row.error) << row.path;
    }
    EXPECT_EQ(orva::platform::open_handle_count(), 0u);
}

TEST(SerialOpen, IsExclusiveUntilClosedInThisProcessAndOthers) {
    Pty pty;
    HANDLE first = open_port(pty.slave);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    int exclusive = 0;
    int probe = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);  // privileged, or refused
    if (probe >= 0) {
        ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
        ::close(probe);
    }

    SetLastError(0);
    EXPECT_EQ(open_port(pty.slave), INVALID_HANDLE_VALUE);
    DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) << error;

    pid_t child = ::fork();
    if (child == 0) {
        HANDLE h = open_port(pty.slave);
        ::_exit(h == INVALID_HANDLE_VALUE ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened the port";

    ASSERT_TRUE(CloseHandle(first));
    probe = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0) << "still exclusive after closing";
    ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(probe);
    HANDLE again = open_port(pty.slave);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST(SerialOpen, FailsWhileAnotherProcessHoldsTheLock) {
    Pty pty;
    int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(open_port(pty.slave), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    ::close(fd);
}

// ------------------------------------------------------------------ line settings

TEST(SerialLine, SettingsRoundTripAndFlowControlFieldsAreKept) {
    Pty pty;
    HANDLE port = open_port(pty.slave);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb;
    std::memset(&dcb, 0xA5, sizeof dcb);
    ASSERT_TRUE(GetCommState(port, &dcb));
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.fBinary, 1u);

    dcb.BaudRate = 9600;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fParity = TRUE;
    dcb.fNull = TRUE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = TRUE;
    dcb.fDtrControl = 2;
    dcb.fRtsControl = 2;
    dcb.fDsrSensitivity = TRUE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.EvtChar = 0x7E;
    ASSERT_TRUE(SetCommState(port, &dcb));
    DCB back;
    std::memset(&back, 0, sizeof back);
    ASSERT_TRUE(GetCommState(port, &back));
    EXPECT_EQ(back.BaudRate, 9600u);
    EXPECT_EQ(back.ByteSize, 7);
    EXPECT_EQ(back.Parity, EVENPARITY);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    EXPECT_EQ(back.fParity, 1u);
    EXPECT_EQ(back.fNull, 1u);
    EXPECT_EQ(back.fOutX, 1u);
    EXPECT_EQ(back.fInX, 1u);
    EXPECT_EQ(back.fOutxCtsFlow, 1u);
    EXPECT_EQ(back.fOutxDsrFlow, 1u);
    EXPECT_EQ(back.fDtrControl, 2u);
    EXPECT_EQ(back.fRtsControl, 2u);
    EXPECT_EQ(back.fDsrSensitivity, 1u);
    EXPECT_EQ(back.XonChar, 0x11);
    EXPECT_EQ(back.XoffChar, 0x13);
    EXPECT_EQ(back.EvtChar, 0x7E);

    back.BaudRate = CBR_115200;
    back.ByteSize = 8;
    back.Parity = NOPARITY;
    back.StopBits = ONESTOPBIT;
    back.fParity = FALSE;
    back.fNull = FALSE;
    ASSERT_TRUE(SetCommState(port, &back));
    DCB last;
    ASSERT_TRUE(GetCommState(port, &last));
    EXPECT_EQ(last.BaudRate, 115200u);
    EXPECT_EQ(last.ByteSize, 8);
    EXPECT_EQ(last.Parity, NOPARITY);
    EXPECT_EQ(last.StopBits, ONESTOPBIT);
    EXPECT_EQ(last.fParity, 0u);
    EXPECT_EQ(last.fNull, 0u);
    EXPECT_EQ(last.fDtrControl, 2u);
    CloseHandle(port);
}

TEST(SerialLine, RejectsImpossibleSettingsAndKeepsTheOldOnes) {
    Pty pty;
    HANDLE port = open_port(pty.slave);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB good;
    ASSERT_TRUE(GetCommState(port, &good));
    good.BaudRate = CBR_115200;
    ASSERT_TRUE(SetCommState(port, &good));
    struct Row {
        const char* what;
        void (*spoil)(DCB&);
    };
    for (const Row& row :
         {Row{"baud 12345", [](DCB& d) { d.BaudRate = 12345; }}, Row{"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
          Row{"parity 7", [](DCB& d) { d.Parity = 7; }},
          Row{"1.5 stop bits with 8 data bits", [](DCB& d) { d.StopBits = 1; }}}) {
        DCB bad = good;
        row.spoil(bad);
        SetLastError(0);
        EXPECT_FALSE(SetCommState(port, &bad)) << row.what;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << row.what;
        DCB now;
        ASSERT_TRUE(GetCommState(port, &now));
        EXPECT_EQ(now.BaudRate, 115200u) << row.what;
        EXPECT_EQ(now.ByteSize, 8) << row.what;
    }
    EXPECT_FALSE(GetCommState(reinterpret_cast<HANDLE>(0x7777), &good));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    CloseHandle(port);
}

TEST(SerialLine, BytesPassUntranslatedAndZeroBytesFollowFNull) {
    Pty pty;
    HANDLE port = open_port(pty.slave);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    set_timeouts(port, 20, 0, 200);
    const std::string out("a\nb\r\x00\xff", 6);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, out.data(), DWORD(out.size()), &written, nullptr));
    EXPECT_EQ(written, 6u);
    EXPECT_EQ(pty.receive(), out);  // no CR added, nothing echoed back

    const std::string in("\r\n\x00x\x00y\x03\x7f", 8);
    pty.send(in);
    EXPECT_EQ(read_port(port, 8), in);

    DCB dcb;
    ASSERT_TRUE(GetCommState(port, &dcb));
    dcb.fNull = TRUE;
    ASSERT_TRUE(SetCommState(port, &dcb));
    pty.send(in);
    EXPECT_EQ(read_port(port, 8), std::string("\r\nxy\x03\x7f"));
    CloseHandle(port);
}

// ------------------------------------------------------------------ time-outs

TEST(SerialTimeouts, ReadEndsAsTheWindowsRulesSay) {
    struct Row {
        const char* what;
        DWORD interval, multiplier, constant;
        DWORD size;
        std::string early;  // sent before the read
        int late_after_ms;  // -1: nothing later
        std::string late;
        std::string expect;
        long min_ms, max_ms;
    };
    const Row rows[] = {
        {"at once, nothing there", MAXDWORD, 0, 0, 9, "", -1, "", "", 0, 15},
        {"at once, takes what is there", MAXDWORD, 0, 0, 9, "!00", -1, "", "!00", 0, 15},
        {"total constant, silence", 0, 0, 100, 9, "", -1, "", "", 95, 300},
        {"total multiplier and constant", 0, 10, 50, 5, "", -1, "", "", 95, 300},
        {"all bytes end the read at once", 30, 0, 1000, 9, "!00OR5DI\rXYZ", -1, "", "!00OR5DI\r", 0, 25},
        {"interval ends a short reply", 30, 0, 1000, 9, "!00AB\r", -1, "", "!00AB\r", 25, 200},
        {"interval waits for the first byte", 20, 0, 300, 9, "", 60, "!00", "!00", 70, 250},
        {"total ends a slow reply", 30, 0, 100, 9, "", 250, "!00", "", 95, 230},
        {"MAXDWORD multiplier returns at the first bytes", MAXDWORD, MAXDWORD, 300, 9, "", 50, "!0", "!0", 45, 200},
    };
    for (const Row& row : rows) {
        Pty pty;
        HANDLE port = open_port(pty.slave);
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        set_timeouts(port, row.interval, row.multiplier, row.constant);
        if (!row.early.empty()) pty.send(row.early);
        std::thread late;
        if (row.late_after_ms >= 0)
            late = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(row.late_after_ms));
                pty.send(row.late);
            });
        auto start = Clock::now();
        BOOL ok = FALSE;
        std::string got = read_port(port, row.size, &ok);
        long ms = elapsed_ms(start);
        if (late.joinable()) late.join();
        EXPECT_TRUE(ok) << row.what;
        EXPECT_EQ(got, row.expect) << row.what;
        EXPECT_GE(ms, row.min_ms) << row.what;
        EXPECT_LE(ms, row.max_ms) << row.what;
        CloseHandle(port);
    }
}

TEST(SerialTimeouts, BytesBeyondTheCountWaitForTheNextRead) {
    Pty pty;
    HANDLE port = open_port(pty.slave);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    set_timeouts(port, MAXDWORD, 0, 0);
    pty.send("!00OR5DI\r+++");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(read_port(port, 9), "!00OR5DI\r");
    EXPECT_EQ(read_port(port, 9), "+++");
    CloseHandle(port);
}

TEST(SerialTimeouts, WriteGivesUpWhenNobodyReads) {
    Pty pty;
    HANDLE port = open_port(pty.slave);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 100};
    ASSERT_TRUE(SetCommTimeouts(port, &t));
    std::string big(1 << 20, 'x');
    DWORD written = 0;
    auto start = Clock::now();
    EXPECT_TRUE(WriteFile(port, big.data(), DWORD(big.size()), &written, nullptr));
    long ms = elapsed_ms(start);
    EXPECT_LT(written, big.size());
    EXPECT_GE(ms, 95);
    EXPECT_LE(ms, 400);
    CloseHandle(port);
}

TEST(SerialTimeouts, AHungUpDeviceEndsTheReadWithAnError) {
    auto* pty = new Pty;
    HANDLE port = open_port(pty->slave);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    set_timeouts(port, 0, 0, 0);  // no time-out at all: only the hang-up can end it
    delete pty;
    BOOL ok = TRUE;
    auto start = Clock::now();
    EXPECT_EQ(read_port(port, 9, &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_LE(elapsed_ms(start), 200);
    CloseHandle(port);
}

}  // namespace
