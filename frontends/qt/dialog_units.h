// Dialog units to pixels for the Qt frontend: the Windows base-unit rule
// applied to the font a dialog template asks for.
#pragma once

#include <QFont>
#include <QRect>

#include "platform/wince.h"

namespace orva::qt {

struct BaseUnits {
    int x = 1;  // average width of "A".."Z" "a".."z", rounded: 4 dialog units across
    int y = 1;  // the font's height: 8 dialog units down
};

// The font of a template: its typeface at its point size. "System" (the
// controller's raster font, absent here) becomes a plain sans-serif face.
QFont dialog_font(const DLGTEMPLATE* tmpl);
BaseUnits base_units(const QFont& font);
// A rectangle in dialog units (left, top, right, bottom) in pixels.
QRect du_to_pixels(const RECT& du, BaseUnits units);

}  // namespace orva::qt
