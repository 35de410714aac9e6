// The window model as the browser draws it: every live window with its
// place, text and the state of its kind, the message box and the open-file
// dialog being shown, as one JSON state message. Read on the main thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/window_model.h"

namespace orva::web {

// A message box being shown. `seq` tells one box from the next, so that an
// answer meant for one never answers another.
struct BoxView {
    uint64_t seq = 0;
    std::u16string caption, text;
    UINT flags = 0;
    HWND owner = nullptr;
};

// One window: handle, kind, parent, owner, identifier, text, template
// rectangle in dialog units, and what its styles mean for drawing it
// (visible, enabled, tab stop, frame; a static's centring and "&" prefix, a
// push button's heavy frame, a dialog's OK in the caption), and its kind's
// state (list items, progress, image (0 when the resources hold none),
// dialog template, sheet pages, painted text). The page gets no style bits.
nlohmann::json window_view(const platform::Window& w);

// Every live window, each top-level window (oldest first) followed by its
// children in creation (tab) order, each after its parent.
nlohmann::json windows_view();

// The box as the browser shows it: caption, text, icon name (null for none),
// buttons (answer word and label) left to right, the default button's index,
// the answer of Esc, and the window it belongs to; null when there is none.
nlohmann::json box_view(const BoxView* box);

// The images of the program's resources by identifier (BMP files' bytes):
// bitmaps, and the largest image of each icon.
std::map<int, std::string> resource_images();

}  // namespace orva::web
