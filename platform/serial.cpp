// The serial port "COMn:" on a host terminal device: exclusive opening, the
// line settings (DCB) mapped onto termios, and reads and writes bounded by the
// Windows time-outs (COMMTIMEOUTS), waited for with poll().
#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>

#include "common/syscalls.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "controller/controller.h"

namespace orva::platform {
namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// DCB field values that only the port itself interprets.
constexpr DWORD kDtrControlEnable = 1;
constexpr DWORD kRtsControlEnable = 1;
constexpr DWORD kRtsControlHandshake = 2;
constexpr BYTE kMarkParity = 3;
constexpr BYTE kSpaceParity = 4;
constexpr BYTE kOne5StopBits = 1;

struct Speed {
    DWORD baud;
    speed_t code;
};
constexpr Speed kSpeeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::optional<speed_t> speed_code(DWORD baud) {
    for (const Speed& s : kSpeeds)
        if (s.baud == baud) return s.code;
    return std::nullopt;
}

DWORD speed_baud(speed_t code) {
    for (const Speed& s : kSpeeds)
        if (s.code == code) return s.baud;
    return 0;
}

// Milliseconds until `until`, rounded up, for poll(); 0 when it has passed.
int millis_until(Clock::time_point until) {
    auto left = std::chrono::ceil<Millis>(until - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : int(left);
}

class SerialPort : public KernelObject {
public:
    SerialPort(int fd, DWORD access)
        : m_fd(fd), m_can_read(access & GENERIC_READ), m_can_write(access & GENERIC_WRITE) {}
    DWORD file_type() const override { return FILE_TYPE_CHAR; }
    ~SerialPort() override {
        sys::ioctl(m_fd, TIOCNXCL, nullptr);
        sys::close(m_fd);  // also releases the lock
    }

    // The settings of the line as found on opening. From then on the DCB
    // last applied is what GetCommState returns: some devices (a
    // pseudo-terminal) accept framing they cannot show.
    void init_state(const termios& tio) {
        DCB& dcb = m_state;
        std::memset(&dcb, 0, sizeof dcb);
        dcb.DCBlength = sizeof(DCB);
        dcb.fBinary = TRUE;
        dcb.fDtrControl = kDtrControlEnable;
        dcb.fTXContinueOnXoff = TRUE;
        dcb.XonLim = 2048;
        dcb.XoffLim = 512;
        dcb.BaudRate = speed_baud(cfgetospeed(&tio));
        switch (tio.c_cflag & CSIZE) {
            case CS5:
                dcb.ByteSize = 5;
                break;
            case CS6:
                dcb.ByteSize = 6;
                break;
            case CS7:
                dcb.ByteSize = 7;
                break;
            default:
                dcb.ByteSize = 8;
                break;
        }
        if (!(tio.c_cflag & PARENB)) dcb.Parity = NOPARITY;
        else if (tio.c_cflag & CMSPAR) dcb.Parity = (tio.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
        else dcb.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
        dcb.StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
        dcb.fParity = (tio.c_iflag & INPCK) ? TRUE : FALSE;
        dcb.fOutX = (tio.c_iflag & IXON) ? TRUE : FALSE;
        dcb.fInX = (tio.c_iflag & IXOFF) ? TRUE : FALSE;
        dcb.XonChar = char(tio.c_cc[VSTART]);
        dcb.XoffChar = char(tio.c_cc[VSTOP]);
        bool hw = tio.c_cflag & CRTSCTS;
        dcb.fOutxCtsFlow = hw;
        dcb.fRtsControl = hw ? kRtsControlHandshake : kRtsControlEnable;
    }

    void get_state(DCB* dcb) const { *dcb = m_state; }

    // Hardware flow control is one termios flag: CTS output flow or RTS
    // handshaking turns it on for both directions. DSR flow, DTR control,
    // the error and event characters and the XON/XOFF limits are kept and
    // returned by GetCommState but not applied to the line.
    BOOL set_state(const DCB& dcb) {
        std::optional<speed_t> speed = speed_code(dcb.BaudRate);
        if (!speed || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kSpaceParity ||
            (dcb.StopBits != ONESTOPBIT && dcb.StopBits != TWOSTOPBITS &&
             !(dcb.StopBits == kOne5StopBits && dcb.ByteSize == 5)))
            return fail(ERROR_INVALID_PARAMETER);
        termios tio{};
        if (sys::tcgetattr(m_fd, &tio) != 0) return fail(error_from_errno(errno));
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        tio.c_cflag |= kSizes[dcb.ByteSize - 5] | CREAD | CLOCAL;
        if (dcb.Parity != NOPARITY) tio.c_cflag |= PARENB;
        if (dcb.Parity == ODDPARITY || dcb.Parity == kMarkParity) tio.c_cflag |= PARODD;
        if (dcb.Parity == kMarkParity || dcb.Parity == kSpaceParity) tio.c_cflag |= CMSPAR;
        if (dcb.StopBits != ONESTOPBIT) tio.c_cflag |= CSTOPB;
        if (dcb.fOutxCtsFlow || dcb.fRtsControl == kRtsControlHandshake) tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~(INPCK | IXON | IXOFF);
        if (dcb.fParity) tio.c_iflag |= INPCK;
        if (dcb.fOutX) tio.c_iflag |= IXON;
        if (dcb.fInX) tio.c_iflag |= IXOFF;
        tio.c_cc[VSTART] = cc_t(dcb.XonChar);
        tio.c_cc[VSTOP] = cc_t(dcb.XoffChar);
        cfsetispeed(&tio, *speed);
        cfsetospeed(&tio, *speed);
        if (sys::tcsetattr(m_fd, TCSANOW, &tio) != 0) return fail(error_from_errno(errno));
        m_state = dcb;
        m_state.DCBlength = sizeof(DCB);
        return TRUE;
    }

    void set_timeouts(const COMMTIMEOUTS& t) { m_timeouts = t; }

    // Windows time-out rules. ReadIntervalTimeout MAXDWORD with both totals 0:
    // return at once with what has arrived. MAXDWORD with multiplier MAXDWORD
    // and a constant between: wait up to the constant for the first byte and
    // return as soon as any has arrived. Otherwise the read ends when `size`
    // bytes have arrived, when multiplier * size + constant ms have passed
    // (no limit when both are 0), or when more than the interval (0: none)
    // passes between two bytes once the first has come. A time-out is not an
    // error: TRUE with the bytes that came.
    BOOL read(void* buffer, DWORD size, DWORD* done) override {
        *done = 0;
        if (!m_can_read) return fail(ERROR_ACCESS_DENIED);
        const COMMTIMEOUTS& t = m_timeouts;
        const auto start = Clock::now();
        const bool at_once =
            t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
        const bool first_byte_ends = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                                     t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
        std::optional<Clock::time_point> total_deadline;
        if (first_byte_ends) total_deadline = start + Millis(t.ReadTotalTimeoutConstant);
        else if (!at_once && (t.ReadTotalTimeoutMultiplier || t.ReadTotalTimeoutConstant))
            total_deadline = start + Millis(uint64_t(t.ReadTotalTimeoutMultiplier) * size + t.ReadTotalTimeoutConstant);
        std::optional<Millis> interval;
        if (!at_once && !first_byte_ends && t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD)
            interval = Millis(t.ReadIntervalTimeout);

        auto* out = static_cast<uint8_t*>(buffer);
        DWORD total = 0;
        Clock::time_point last_byte = start;
        while (total < size) {
            ssize_t n = sys::read(m_fd, out + total, size - total);
            if (n > 0) {
                DWORD kept = keep_received(out + total, DWORD(n));
                if (kept) last_byte = Clock::now();
                total += kept;
                if (first_byte_ends && total > 0) break;
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                // 0 is the end of input: the device hung up.
                *done = total;
                return fail(n == 0 ? ERROR_READ_FAULT : error_from_errno(errno));
            }
            if (at_once) break;
            std::optional<Clock::time_point> until = total_deadline;
            if (interval && total > 0 && (!until || last_byte + *interval < *until)) until = last_byte + *interval;
            const Wait w = wait_for(POLLIN, until, ERROR_READ_FAULT);
            if (w == Wait::Expired) break;
            if (w == Wait::Failed) {
                *done = total;
                return FALSE;
            }
        }
        *done = total;
        return TRUE;
    }

    // Gives up after WriteTotalTimeoutMultiplier * size +
    // WriteTotalTimeoutConstant ms (no limit when both are 0): TRUE with the
    // bytes that the device took.
    BOOL write(const void* buffer, DWORD size, DWORD* done) override {
        *done = 0;
        if (!m_can_write) return fail(ERROR_ACCESS_DENIED);
        const COMMTIMEOUTS& t = m_timeouts;
        std::optional<Clock::time_point> deadline;
        if (t.WriteTotalTimeoutMultiplier || t.WriteTotalTimeoutConstant)
            deadline =
                Clock::now() + Millis(uint64_t(t.WriteTotalTimeoutMultiplier) * size + t.WriteTotalTimeoutConstant);
        auto* in = static_cast<const uint8_t*>(buffer);
        DWORD total = 0;
        while (total < size) {
            ssize_t n = sys::write(m_fd, in + total, size - total);
            if (n > 0) {
                total += DWORD(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                *done = total;
                return fail(errno == EIO ? ERROR_WRITE_FAULT : error_from_errno(errno));
            }
            const Wait w = wait_for(POLLOUT, deadline, ERROR_WRITE_FAULT);
            if (w == Wait::Expired) break;
            if (w == Wait::Failed) {
                *done = total;
                return FALSE;
            }
        }
        *done = total;
        return TRUE;
    }

private:
    enum class Wait { Again, Expired, Failed };

    // Waits until the device is ready for `events` (POLLIN or POLLOUT) or
    // `until` comes (no limit without one). Again: try the transfer again
    // (ready, interrupted or timed out); Expired: `until` had already come;
    // Failed: the last error is set, `hangup_error` when the device hung up.
    Wait wait_for(short events, std::optional<Clock::time_point> until, DWORD hangup_error) const {
        const int wait = until ? millis_until(*until) : -1;
        if (wait == 0) return Wait::Expired;
        pollfd p{m_fd, events, 0};
        const int r = sys::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR) {
            SetLastError(error_from_errno(errno));
            return Wait::Failed;
        }
        if (r > 0 && !(p.revents & events)) {
            SetLastError(hangup_error);
            return Wait::Failed;
        }
        return Wait::Again;
    }

    // fNull: received zero bytes are discarded. Returns how many bytes stay.
    DWORD keep_received(uint8_t* bytes, DWORD count) const {
        if (!m_state.fNull) return count;
        DWORD kept = 0;
        for (DWORD i = 0; i < count; ++i)
            if (bytes[i] != 0) bytes[kept++] = bytes[i];
        return kept;
    }

    int m_fd;
    bool m_can_read;
    bool m_can_write;
    DCB m_state{};  // the line settings as last applied
    COMMTIMEOUTS m_timeouts{MAXDWORD, 0, 0, 10, 1000};
};

}  // namespace

bool is_serial_port_name(std::u16string_view name) {
    return name.size() == 5 && equal_no_case(name.substr(0, 3), u"com") && name[3] >= u'0' && name[3] <= u'9' &&
           name[4] == u':';
}

HANDLE open_serial_port(std::u16string_view name, DWORD access, DWORD share) {
    if (share != 0) return fail_handle(ERROR_INVALID_PARAMETER);
    auto* controller = orva::ctl::current();
    if (!controller) return fail_handle(ERROR_FILE_NOT_FOUND);
    std::optional<std::string> device = controller->serial_device(to_utf8(name.substr(0, 4)));
    if (!device) return fail_handle(ERROR_FILE_NOT_FOUND);
    return open_serial_device(*device, access, share);
}

HANDLE open_serial_device(const std::string& host_path, DWORD access, DWORD share) {
    if (share != 0) return fail_handle(ERROR_INVALID_PARAMETER);
    int fd = sys::open(host_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) return fail_handle(error_from_errno(errno));
    auto give_up = [fd](DWORD error) {
        sys::close(fd);
        return fail_handle(error);
    };
    if (!sys::isatty(fd)) return give_up(ERROR_FILE_NOT_FOUND);
    // TIOCEXCL keeps out other openers, except privileged ones; the lock
    // keeps out every opener that also asks for it.
    if (sys::flock(fd, LOCK_EX | LOCK_NB) != 0) return give_up(ERROR_SHARING_VIOLATION);
    termios tio{};
    if (sys::tcgetattr(fd, &tio) != 0) return give_up(error_from_errno(errno));
    speed_t in_speed = cfgetispeed(&tio), out_speed = cfgetospeed(&tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, in_speed);
    cfsetospeed(&tio, out_speed);
    if (sys::tcsetattr(fd, TCSANOW, &tio) != 0) return give_up(error_from_errno(errno));
    sys::tcflush(fd, TCIFLUSH);
    if (sys::ioctl(fd, TIOCEXCL, nullptr) != 0) return give_up(error_from_errno(errno));
    auto port = std::make_unique<SerialPort>(fd, access);
    port->init_state(tio);
    return add_handle(std::move(port));
}

}  // namespace orva::platform

using namespace orva::platform;

namespace {

// The port behind a handle, when `argument` (the structure the call reads
// or fills) is given too; nullptr with ERROR_INVALID_HANDLE or
// ERROR_INVALID_PARAMETER otherwise.
SerialPort* serial_port(HANDLE handle, const void* argument) {
    auto* port = find_handle_as<SerialPort>(handle);
    if (!port) SetLastError(ERROR_INVALID_HANDLE);
    else if (!argument) SetLastError(ERROR_INVALID_PARAMETER);
    return port && argument ? port : nullptr;
}

}  // namespace

BOOL GetCommState(HANDLE port, LPDCB dcb) {
    SerialPort* p = serial_port(port, dcb);
    if (!p) return FALSE;
    p->get_state(dcb);
    return TRUE;
}

BOOL SetCommState(HANDLE port, LPDCB dcb) {
    SerialPort* p = serial_port(port, dcb);
    return p ? p->set_state(*dcb) : FALSE;
}

BOOL SetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS timeouts) {
    SerialPort* p = serial_port(port, timeouts);
    if (!p) return FALSE;
    p->set_timeouts(*timeouts);
    return TRUE;
}
