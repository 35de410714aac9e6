// Routing the serial port to the slot's module bus.
#include "board/slot_route.h"

#include <fcntl.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>

#include <cstring>

#include "common/syscalls.h"

namespace orva::board {

namespace {

std::string failed(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

bool SlotRouter::route(std::string* why) {
    switch (m_route.kind) {
        case SlotRoute::Kind::None:
            return true;
        case SlotRoute::Kind::Gpio:
            return drive_gpio(why);
        case SlotRoute::Kind::File: {
            // A sysfs attribute takes the value in one write.
            const std::string path = m_route.path.string();
            const int fd = sys::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY, 0);
            if (fd < 0) return *why = failed(path), false;
            const ssize_t n = sys::write(fd, m_route.value.data(), m_route.value.size());
            const bool ok = n == ssize_t(m_route.value.size());
            if (!ok) *why = n < 0 ? failed(path) : path + ": the value was not taken whole";
            if (sys::close(fd) != 0 && ok) return *why = failed(path), false;
            return ok;
        }
    }
    return false;
}

bool SlotRouter::drive_gpio(std::string* why) {
    const std::string chip = m_route.path.string();
    gpio_v2_line_values values{};
    values.mask = 1;
    values.bits = m_route.high ? 1 : 0;
    if (m_line_fd >= 0) {
        if (sys::ioctl(m_line_fd, GPIO_V2_LINE_SET_VALUES_IOCTL, &values) == 0) return true;
        *why = failed(chip + " line " + std::to_string(m_route.line));
        return false;
    }
    const int chip_fd = sys::open(chip.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (chip_fd < 0) return *why = failed(chip), false;
    // An output line with its level given in the request itself, so that it
    // never shows another one.
    gpio_v2_line_request request{};
    request.offsets[0] = m_route.line;
    request.num_lines = 1;
    std::strncpy(request.consumer, "orva-utility", sizeof request.consumer - 1);
    request.config.flags = GPIO_V2_LINE_FLAG_OUTPUT;
    request.config.num_attrs = 1;
    request.config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
    request.config.attrs[0].attr.values = values.bits;
    request.config.attrs[0].mask = 1;
    const int r = sys::ioctl(chip_fd, GPIO_V2_GET_LINE_IOCTL, &request);
    if (r != 0) *why = failed(chip + " line " + std::to_string(m_route.line));
    sys::close(chip_fd);
    if (r != 0) return false;
    m_line_fd = request.fd;
    return true;
}

void SlotRouter::release() {
    if (m_line_fd >= 0) sys::close(m_line_fd);
    m_line_fd = -1;
}

}  // namespace orva::board
