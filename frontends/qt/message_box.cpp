// Message boxes: the decoded flags become Qt's standard buttons and icons;
// the box is modal to the whole program, as every box of the controller is.
#include "frontends/qt/message_box.h"

#include <QGuiApplication>
#include <QScreen>

#include "frontends/qt/windows.h"

namespace orva::qt {
namespace {

QMessageBox::Icon icon_of(platform::BoxIcon icon) {
    switch (icon) {
        case platform::BoxIcon::Stop:
            return QMessageBox::Critical;
        case platform::BoxIcon::Question:
            return QMessageBox::Question;
        case platform::BoxIcon::Exclamation:
            return QMessageBox::Warning;
        case platform::BoxIcon::Information:
            return QMessageBox::Information;
        case platform::BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

constexpr std::pair<int, QMessageBox::StandardButton> kButtons[] = {
    {IDOK, QMessageBox::Ok},       {IDCANCEL, QMessageBox::Cancel}, {IDABORT, QMessageBox::Abort},
    {IDRETRY, QMessageBox::Retry}, {IDIGNORE, QMessageBox::Ignore}, {IDYES, QMessageBox::Yes},
    {IDNO, QMessageBox::No},
};

}  // namespace

QMessageBox::StandardButton standard_button(int id) {
    for (auto [code, button] : kButtons)
        if (code == id) return button;
    return QMessageBox::NoButton;
}

int answer_code(QMessageBox::StandardButton button) {
    for (auto [code, b] : kButtons)
        if (b == button) return code;
    return 0;
}

int run_message_box(QWidget* owner, const QString& text, const QString& caption, const platform::MessageBoxStyle& style,
                    UINT flags) {
    QWidget* parent = owner ? owner->window() : nullptr;
    QMessageBox::StandardButtons buttons;
    for (const platform::BoxButton& b : style.buttons) buttons |= standard_button(b.id);
    QMessageBox box(icon_of(style.icon), caption, text, buttons, parent);
    box.setObjectName(QStringLiteral("orva-message-box"));
    box.setWindowFlags(Qt::Dialog | kCaptionHints);
    box.setWindowModality(Qt::ApplicationModal);
    box.setEscapeButton(standard_button(style.escape));
    box.setDefaultButton(standard_button(style.buttons[style.default_button].id));
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
    const int answer = answer_code(box.standardButton(box.clickedButton()));
    return answer ? answer : style.escape;
}

}  // namespace orva::qt
