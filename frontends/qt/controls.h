// The widgets of the built-in controls (static, bitmap, icon, edit, push
// button, group box, drop-down list, progress bar): made from a control's
// model window and kept equal to it.
#pragma once

#include <QWidget>
#include <functional>

#include "frontends/qt/dialog_units.h"
#include "platform/frontend.h"

namespace orva::qt {

// What a control's widget reports of the operator's input.
struct ControlInput {
    std::function<void(HWND)> pressed;                       // a push button was clicked
    std::function<void(HWND, const std::u16string&)> typed;  // an edit's text was edited
    std::function<void(HWND, int)> chosen;                   // a list item was chosen
};

// The widget of a control, child of its dialog's widget, at the template's
// position. Statics and group boxes let clicks through to what lies under
// them, as on Windows.
QWidget* make_control(const platform::Window& control, QWidget* dialog, BaseUnits units, const ControlInput& input);
// Shows a change of the model in the control's widget without reporting it
// back as input.
void apply_change(QWidget* widget, const platform::Window& control, platform::Change change);
// The geometry a control gets: the template's rectangle, where a single-line
// text would not fit made just wide (and high) enough for it, into the free
// room beside it first.
QRect control_geometry(const platform::Window& control, const QWidget* dialog, BaseUnits units);
// The font a static text is drawn in: the dialog's, or where the text does
// not fit (on one line: its template rectangle and the free room beside it;
// wrapped: its template rectangle's height) a pixel size smaller, step by
// step, down to a readable floor of 10 pixels. Windows would cut such a text
// instead.
QFont static_font(const platform::Window& control, const QFont& dialog_font, BaseUnits units);

// The property holding a widget's window handle (as quintptr).
inline constexpr const char* kHandleProperty = "orva_hwnd";

}  // namespace orva::qt
