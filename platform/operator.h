// What the operator does, as frontends report it. Each call changes the model
// or posts the message that Windows would post for the same input; the
// application sees it when the modal loop dispatches.
#pragma once

#include <string>

#include "platform/wince.h"

namespace orva::platform {

// A click on a push button: WM_COMMAND (id, BN_CLICKED) posted to its parent.
void press_button(HWND button);
// Replaces the text of an edit, as typed. The application is not told.
void type_text(HWND edit, const std::u16string& text);
// Chooses item `index` of a drop-down list (-1 clears the choice).
void choose_item(HWND combo, int index);
// A click on tab `index` (from 0) of a property sheet.
void select_page(HWND sheet, int index);
// The sheet's OK and Cancel buttons (Cancel is also its close box and Esc).
void press_sheet_ok(HWND sheet);
void press_sheet_cancel(HWND sheet);
// A menu or accelerator command sent to a window (the main window's menu).
void menu_command(HWND hwnd, int command);
// The close box / Esc of a dialog box (IDCANCEL), or its caption OK (IDOK).
void close_dialog(HWND dialog, int id);

}  // namespace orva::platform
