// ChangeSlotToVex on the board: routing the serial port to the slot's module
// bus through what board.toml names: nothing (the port is wired to it), a
// value written to a control file (a GPIO or multiplexer attribute under
// /sys), or a GPIO line driven through the GPIO character device.
#pragma once

#include <string>

#include "board/board_config.h"

namespace orva::board {

class SlotRouter {
public:
    explicit SlotRouter(SlotRoute route) : m_route(std::move(route)) {}
    ~SlotRouter() { release(); }
    SlotRouter(const SlotRouter&) = delete;
    SlotRouter& operator=(const SlotRouter&) = delete;

    // Routes the port to slot 1. A GPIO line stays requested (and so driven)
    // until release(): the kernel lets a released line go. false and why
    // when the file or the line cannot be set.
    bool route(std::string* why);
    void release();

private:
    bool drive_gpio(std::string* why);

    SlotRoute m_route;
    int m_line_fd = -1;  // the request of the GPIO line, once made
};

}  // namespace orva::board
