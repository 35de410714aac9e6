// The screen frontends, made by the program according to its options.
#pragma once

#include <memory>
#include <string>

#include "platform/frontend.h"

namespace orva {

// Qt 6 Widgets on the display. nullptr and a message when no display can be
// opened (or Qt is not built in).
std::unique_ptr<platform::Frontend> make_qt_frontend(int& argc, char** argv, std::string* error);
// ncurses on the terminal of standard input and output. nullptr and a
// message when the terminal cannot be used.
std::unique_ptr<platform::Frontend> make_terminal_frontend(std::string* error);

}  // namespace orva
