// The base-unit rule: x pixels = du * average char width / 4, y pixels =
// du * font height / 8, both with Windows' MulDiv rounding.
#include "frontends/qt/dialog_units.h"

#include <QFontMetrics>
#include <QStringList>

#include "platform/text.h"

namespace orva::qt {
namespace {

int mul_div(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

QFont dialog_font(const DLGTEMPLATE* tmpl) {
    int points = tmpl && tmpl->pointSize ? tmpl->pointSize : 8;
    QString face = tmpl && tmpl->typeface
                       ? QString::fromStdString(platform::to_utf8(platform::wide_view(tmpl->typeface)))
                       : QString();
    QFont font;
    if (face.isEmpty() || face.compare(QLatin1String("System"), Qt::CaseInsensitive) == 0) {
        QStringList families;
        // Liberation Sans is installed with the program; the others have the
        // same widths (Arial's) where it is missing, DejaVu Sans is wider.
        families << QStringLiteral("Liberation Sans") << QStringLiteral("Arial") << QStringLiteral("Nimbus Sans")
                 << QStringLiteral("DejaVu Sans");
        font.setFamilies(families);
        font.setStyleHint(QFont::SansSerif);
    } else {
        font.setFamily(face);
    }
    // Points on the controller's display (96 pixels to the inch), whatever
    // the host screen says, so that a page always has the same pixel size.
    font.setPixelSize(mul_div(points, 96, 72));
    return font;
}

BaseUnits base_units(const QFont& font) {
    QFontMetrics metrics(font);
    int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    BaseUnits units;
    units.x = std::max(1, (width / 26 + 1) / 2);
    units.y = std::max(1, metrics.height());
    return units;
}

QRect du_to_pixels(const RECT& du, BaseUnits units) {
    int left = mul_div(du.left, units.x, 4), top = mul_div(du.top, units.y, 8);
    int right = mul_div(du.right, units.x, 4), bottom = mul_div(du.bottom, units.y, 8);
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace orva::qt
