// Modal message boxes with the icon and buttons a MessageBoxW type asks for.
#pragma once

#include <QMessageBox>
#include <QString>

#include "platform/message_box_style.h"

namespace orva::qt {

// The standard button that gives Windows answer `id` (IDOK, IDCANCEL,
// IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO), and back.
QMessageBox::StandardButton standard_button(int id);
int answer_code(QMessageBox::StandardButton button);

// Shows the box modally, centred on `owner`'s window (the widget of
// style.owner; on the screen when there is none), and returns the Windows
// answer code. `flags` is kept on the box for tests to read.
int run_message_box(QWidget* owner, const QString& text, const QString& caption, const platform::MessageBoxStyle& style,
                    UINT flags);

}  // namespace orva::qt
