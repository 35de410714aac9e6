// Modal message boxes with the icon and buttons a MessageBoxW type asks for.
#pragma once

#include <QMessageBox>
#include <QString>

#include "platform/wince.h"

namespace orva::qt {

// The buttons of a MessageBoxW type (MB_OK, MB_OKCANCEL, MB_YESNO; an
// unknown button set gets OK alone, so the operator can always answer).
QMessageBox::StandardButtons box_buttons(UINT flags);
// The icon: MB_ICONQUESTION a question mark, MB_ICONEXCLAMATION a warning.
QMessageBox::Icon box_icon(UINT flags);
// The answer the close box and Esc give: Cancel, No, or OK for a box with
// OK alone.
QMessageBox::StandardButton box_escape_button(UINT flags);
// A standard button as the Windows answer code (IDOK, IDCANCEL, IDYES, IDNO).
int answer_code(QMessageBox::StandardButton button);

// Shows the box modally, centred on `owner`'s window (on the screen when
// there is none), and returns the Windows answer code.
int run_message_box(QWidget* owner, const QString& text, const QString& caption, UINT flags);

}  // namespace orva::qt
