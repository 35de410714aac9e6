// Control widgets. Windows styles become Qt frames: WS_BORDER a plain line,
// WS_EX_STATICEDGE a thin sunken edge, WS_EX_CLIENTEDGE a deep one and
// WS_EX_DLGMODALFRAME on a push button a heavier frame.
#include "frontends/qt/controls.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include "frontends/qt/images.h"
#include "frontends/qt/windows.h"
#include "platform/text.h"

namespace orva::qt {
namespace {

using platform::Change;
using platform::Kind;
using platform::Window;

QString qs(const std::u16string& text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

// The smallest pixel size a static text is drawn in: below it the dialog
// font is no longer comfortably readable on the controller's display.
constexpr int kSmallestPixelSize = 10;
// What a text that takes free room beside it keeps clear of other controls
// and frames, in dialog units.
constexpr LONG kRoomGapDu = 4;

bool single_line(const Window& c, const QFontMetrics& metrics, BaseUnits units) {
    QRect r = du_to_pixels(c.du, units);
    return r.height() < 2 * metrics.lineSpacing();
}

int frame_width(const Window& c) {
    return (c.style & WS_BORDER) || (c.ex_style & (WS_EX_STATICEDGE | WS_EX_CLIENTEDGE)) ? 6 : 0;
}

// Whether a static's text fits `room` in `font`: its width on one line, its
// height when wrapped at the room's width.
bool text_fits(const Window& c, const QFont& font, QSize room, bool one_line) {
    QFontMetrics metrics(font);
    if (one_line) return metrics.horizontalAdvance(qs(c.text)) + frame_width(c) + 1 <= room.width();
    QRect wrapped =
        metrics.boundingRect(QRect(0, 0, room.width(), 1 << 20), Qt::TextWordWrap | Qt::AlignLeft, qs(c.text));
    return wrapped.height() <= room.height();
}

void set_frame(QLabel* label, const Window& c) {
    if (c.ex_style & WS_EX_CLIENTEDGE) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(2);
    } else if (c.ex_style & WS_EX_STATICEDGE) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
    } else if (c.style & WS_BORDER) {
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        label->setLineWidth(1);
    }
    if (label->frameShape() != QFrame::NoFrame) label->setIndent(2);
}

// The list's items and choice, as the model holds them.
void show_items(QComboBox* combo, const Window& c) {
    const auto& list = *c.as<platform::ComboBoxState>();
    combo->clear();
    for (const auto& item : list.items) combo->addItem(qs(item));
    combo->setCurrentIndex(list.cursel);
}

// The bar's range (either way round) and position.
void show_progress(QProgressBar* bar, const Window& c) {
    const auto& state = *c.as<platform::ProgressState>();
    bar->setRange(std::min(state.low, state.high), std::max(state.low, state.high));
    bar->setValue(state.pos);
}

void show_image(QLabel* label, const Window& c) {
    QSize room = label->contentsRect().size();
    const int image_id = c.as<platform::ImageState>()->image_id;
    if (c.kind == Kind::Icon) {
        QIcon icon = resource_icon(image_id);
        label->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(room.boundedTo(QSize(32, 32))));
        return;
    }
    QPixmap pixmap = resource_bitmap(image_id);
    if (!pixmap.isNull() && !room.isEmpty())
        pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    label->setPixmap(pixmap);
}

// The room a single-line static may take, in dialog units: its template
// rectangle and, beside it (to the right, or both ways when centred), what
// is free up to the next control on its rows, its group box's frame or the
// dialog's edge.
RECT free_room(const Window& c) {
    RECT r = c.du;
    const Window* dialog = platform::find_window(c.parent);
    const auto* state = dialog ? dialog->as<platform::DialogState>() : nullptr;
    const DLGTEMPLATE* tmpl = state ? state->tmpl : nullptr;
    if (!tmpl) return r;
    LONG left = kRoomGapDu, right = tmpl->cx - kRoomGapDu;
    for (UINT i = 0; i < tmpl->itemCount; ++i) {
        const DLGITEM& item = tmpl->items[i];
        RECT o{item.x, item.y, item.x + item.cx, item.y + item.cy};
        if ((o.left == r.left && o.top == r.top && o.right == r.right && o.bottom == r.bottom) || o.bottom <= r.top ||
            o.top >= r.bottom)
            continue;  // itself, or a control above or below it
        bool group = (item.style & 0xF) == BS_GROUPBOX && item.className &&
                     platform::wide_view(item.className) == std::u16string_view(u"BUTTON");
        if (group && o.left <= r.left && o.right >= r.right) {
            left = std::max(left, o.left + kRoomGapDu);
            right = std::min(right, o.right - kRoomGapDu);
        } else if (o.left >= r.right) {
            right = std::min(right, o.left - kRoomGapDu);
        } else if (o.right <= r.left) {
            left = std::max(left, o.right + kRoomGapDu);
        }
    }
    if ((c.style & 0x1F) == SS_CENTER) {
        LONG grow = std::max(LONG{0}, std::min(r.left - left, right - r.right));
        r.left -= grow;
        r.right += grow;
    } else {
        r.right = std::max(r.right, right);
    }
    return r;
}

}  // namespace

QFont static_font(const Window& c, const QFont& dialog_font, BaseUnits units) {
    const bool one_line = single_line(c, QFontMetrics(dialog_font), units);
    const QSize room = du_to_pixels(one_line ? free_room(c) : c.du, units).size();
    QFont font = dialog_font;
    while (!text_fits(c, font, room, one_line) && font.pixelSize() > kSmallestPixelSize)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

QRect control_geometry(const Window& c, const QWidget* dialog, BaseUnits units) {
    QRect r = du_to_pixels(c.du, units);
    QFontMetrics metrics(dialog->font());
    switch (c.kind) {
        case Kind::Static:
            if (single_line(c, metrics, units)) {
                // Only what is still too wide at the smallest size takes more room.
                QFontMetrics drawn(static_font(c, dialog->font(), units));
                int frame = frame_width(c);
                int need = drawn.horizontalAdvance(qs(c.text)) + frame + 1;
                if ((c.style & 0x1F) == SS_CENTER) {
                    if (need > r.width()) r.adjust(-(need - r.width()) / 2, 0, (need - r.width() + 1) / 2, 0);
                } else {
                    r.setWidth(std::max(r.width(), need));
                }
                r.setHeight(std::max(r.height(), drawn.height() + (frame ? 2 : 0)));
            }
            break;
        case Kind::ComboBox:
            // The template's height is the dropped-down list's; the closed box
            // is one line high: the font's height and the edges around it, as
            // Windows sizes it, so that lists a line and a half apart never meet.
            r.setHeight(metrics.height() + 6);
            break;
        case Kind::Button: {
            int need = metrics.horizontalAdvance(qs(c.text).remove(QLatin1Char('&'))) + 10;
            if (need > r.width()) r.adjust(-(need - r.width()) / 2, 0, (need - r.width() + 1) / 2, 0);
            r.setHeight(std::max(r.height(), metrics.height() + 2));
            break;
        }
        case Kind::Edit:
            r.setHeight(std::max(r.height(), metrics.height() + 4));
            break;
        default:
            break;
    }
    return r;
}

QWidget* make_control(const Window& c, QWidget* dialog, BaseUnits units, const ControlInput& input) {
    HWND h = c.handle;
    QWidget* widget = nullptr;
    switch (c.kind) {
        case Kind::Static:
        case Kind::Bitmap:
        case Kind::Icon: {
            auto* label = new QLabel(dialog);
            set_frame(label, c);
            if (c.kind == Kind::Static) {
                label->setTextFormat(Qt::PlainText);
                label->setText(qs(c.text));
                label->setWordWrap(!single_line(c, QFontMetrics(dialog->font()), units));
                label->setAlignment(((c.style & 0x1F) == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
            } else {
                label->setAlignment(Qt::AlignCenter);
            }
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget = label;
            break;
        }
        case Kind::GroupBox: {
            auto* box = new QGroupBox(qs(c.text), dialog);
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            box->setFocusPolicy(Qt::NoFocus);
            widget = box;
            break;
        }
        case Kind::Edit: {
            auto* edit = new QLineEdit(qs(c.text), dialog);
            edit->setFrame((c.style & WS_BORDER) != 0);
            edit->setTextMargins(1, 0, 1, 0);
            QObject::connect(edit, &QLineEdit::textEdited, edit, [h, typed = input.typed](const QString& text) {
                if (typed) typed(h, text.toStdU16String());
            });
            widget = edit;
            break;
        }
        case Kind::Button: {
            auto* button = new QPushButton(qs(c.text), dialog);
            button->setAutoDefault(true);  // Enter presses the focused button
            button->setProperty("heavy", (c.ex_style & WS_EX_DLGMODALFRAME) != 0);
            button->setStyleSheet(style_sheet());
            QObject::connect(button, &QPushButton::clicked, button, [h, pressed = input.pressed] {
                if (pressed) pressed(h);
            });
            widget = button;
            break;
        }
        case Kind::ComboBox: {
            auto* combo = new QComboBox(dialog);
            combo->setEditable(false);
            show_items(combo, c);
            QObject::connect(combo, &QComboBox::activated, combo, [h, chosen = input.chosen](int index) {
                if (chosen) chosen(h, index);
            });
            widget = combo;
            break;
        }
        case Kind::Progress: {
            auto* bar = new QProgressBar(dialog);
            bar->setTextVisible(false);
            show_progress(bar, c);
            widget = bar;
            break;
        }
        default:
            widget = new QWidget(dialog);
            break;
    }
    // Set on each control: a style sheet stops fonts from passing down.
    widget->setFont(c.kind == Kind::Static ? static_font(c, dialog->font(), units) : dialog->font());
    widget->setObjectName(QStringLiteral("control-%1").arg(c.id));
    widget->setProperty(kHandleProperty, quintptr(h));
    widget->setGeometry(control_geometry(c, dialog, units));
    widget->setFocusPolicy((c.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::NoFocus);
    if (c.kind == Kind::Bitmap || c.kind == Kind::Icon) show_image(static_cast<QLabel*>(widget), c);
    if (c.style & WS_DISABLED) widget->setEnabled(false);
    // Frames and group boxes lie under the controls they frame.
    if (c.kind == Kind::GroupBox) widget->lower();
    widget->setVisible((c.style & WS_VISIBLE) != 0 || c.visible);
    return widget;
}

void apply_change(QWidget* widget, const Window& c, Change change) {
    QSignalBlocker block(widget);
    switch (change) {
        case Change::Text:
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                if (c.kind == Kind::Static) label->setText(qs(c.text));
            } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                if (edit->text() != qs(c.text)) edit->setText(qs(c.text));
            } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
                button->setText(qs(c.text));
            } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
                box->setTitle(qs(c.text));
            }
            if (c.kind == Kind::Static) {
                if (auto* parent = widget->parentWidget()) {
                    // A longer text may need the room a single-line static is
                    // allowed to take.
                    QVariant units = parent->property("orva_base_units");
                    if (units.isValid()) {
                        QPoint p = units.toPoint();
                        widget->setFont(static_font(c, parent->font(), BaseUnits{p.x(), p.y()}));
                        widget->setGeometry(control_geometry(c, parent, BaseUnits{p.x(), p.y()}));
                    }
                }
            }
            break;
        case Change::ItemAdded:
        case Change::Items:
        case Change::Selection:
            if (auto* combo = qobject_cast<QComboBox*>(widget)) show_items(combo, c);
            break;
        case Change::Range:
        case Change::Position:
            if (auto* bar = qobject_cast<QProgressBar*>(widget)) show_progress(bar, c);
            break;
        case Change::Visible:
            widget->setVisible(c.visible);
            break;
        default:
            break;
    }
}

}  // namespace orva::qt
