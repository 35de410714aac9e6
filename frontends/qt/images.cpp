// Bitmaps and icons decoded from the BMP bytes of the resource section.
#include "frontends/qt/images.h"

#include <QImage>
#include <map>

#include "platform/module.h"

namespace orva::qt {
namespace {

// Each image is decoded once: the program's icon goes on every window.
QPixmap decode(const IMAGE_ORVA& image) {
    if (!image.data || image.size == 0) return {};
    static std::map<std::pair<const void*, size_t>, QImage> decoded;
    auto it = decoded.find({image.data, image.size});
    if (it == decoded.end())
        it = decoded
                 .emplace(std::pair{static_cast<const void*>(image.data), image.size},
                          QImage::fromData(image.data, static_cast<int>(image.size), "BMP"))
                 .first;
    return it->second.isNull() ? QPixmap() : QPixmap::fromImage(it->second);
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
