// The program's bitmaps and icons from its resource section, as Qt images.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace orva::qt {

// The bitmap with this resource identifier; a null pixmap when the section
// has none (or its bytes are not a readable BMP).
QPixmap resource_bitmap(int id);
// Every image of the icon group `id`; a null icon when there is none (the
// About box's icon 101 is absent on purpose).
QIcon resource_icon(int id);

}  // namespace orva::qt
