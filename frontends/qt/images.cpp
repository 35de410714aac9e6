// Bitmaps and icons decoded from the BMP bytes of the resource section.
#include "frontends/qt/images.h"

#include <QImage>

#include "platform/module.h"

namespace orva::qt {
namespace {

QPixmap decode(const IMAGE_ORVA& image) {
    if (!image.data || image.size == 0) return {};
    QImage decoded = QImage::fromData(image.data, static_cast<int>(image.size), "BMP");
    return decoded.isNull() ? QPixmap() : QPixmap::fromImage(decoded);
}

}  // namespace

QPixmap resource_bitmap(int id) {
    const RESOURCE_SECTION& section = platform::resource_section();
    for (UINT i = 0; i < section.bitmapCount; ++i)
        if (section.bitmaps[i].resourceId == id) return decode(section.bitmaps[i]);
    return {};
}

QIcon resource_icon(int id) {
    const RESOURCE_SECTION& section = platform::resource_section();
    QIcon icon;
    for (UINT i = 0; i < section.iconCount; ++i)
        if (section.icons[i].resourceId == id) {
            QPixmap pixmap = decode(section.icons[i]);
            if (!pixmap.isNull()) icon.addPixmap(pixmap);
        }
    return icon;
}

}  // namespace orva::qt
