// Message boxes: the flags become Qt's standard buttons and icons; the box is
// modal to the whole program, as every box of the controller is.
#include "frontends/qt/message_box.h"

#include <QGuiApplication>
#include <QScreen>

#include "frontends/qt/windows.h"

namespace orva::qt {

QMessageBox::StandardButtons box_buttons(UINT flags) {
    switch (flags & 0xF) {
        case MB_OKCANCEL:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MB_YESNO:
            return QMessageBox::Yes | QMessageBox::No;
        default:
            return QMessageBox::Ok;
    }
}

QMessageBox::Icon box_icon(UINT flags) {
    switch (flags & 0xF0) {
        case 0x10:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case 0x40:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButton box_escape_button(UINT flags) {
    switch (flags & 0xF) {
        case MB_OKCANCEL:
            return QMessageBox::Cancel;
        case MB_YESNO:
            return QMessageBox::No;
        default:
            return QMessageBox::Ok;
    }
}

int answer_code(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

int run_message_box(QWidget* owner, const QString& text, const QString& caption, UINT flags) {
    QWidget* parent = owner ? owner->window() : nullptr;
    QMessageBox box(box_icon(flags), caption, text, box_buttons(flags), parent);
    box.setObjectName(QStringLiteral("orva-message-box"));
    box.setWindowFlags(Qt::Dialog | kCaptionHints);
    box.setWindowModality(Qt::ApplicationModal);
    box.setEscapeButton(box_escape_button(flags));
    box.setDefaultButton(QMessageBox::StandardButton(int(box_buttons(flags)) & -int(box_buttons(flags))));
    box.setProperty("orva_flags", uint(flags));
    // A touch display has no hover: large enough buttons, text wrapped.
    box.setTextFormat(Qt::PlainText);
    // A frame of its own: on a display without a window manager (the
    // controller's) the box would otherwise melt into the page under it.
    box.setStyleSheet(QStringLiteral("QMessageBox { border: 2px solid #4a4a4a; }"));
    if (!parent) {
        box.adjustSize();
        if (QScreen* screen = QGuiApplication::primaryScreen())
            box.move(screen->geometry().center() - box.rect().center());
    }
    box.exec();
    auto clicked = box.standardButton(box.clickedButton());
    if (clicked == QMessageBox::NoButton) clicked = box_escape_button(flags);
    return answer_code(clicked);
}

}  // namespace orva::qt
