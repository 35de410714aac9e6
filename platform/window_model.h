// The window model: every window and control the application creates, in a
// handle table. The model is the truth; frontends (frontends/) draw it and
// turn the operator's input into messages through platform/operator.h.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "platform/wince.h"

namespace orva::platform {

enum class Kind {
    Window,      // a window of a registered class (the main window)
    CommandBar,  // the command bar with its menu bar
    Dialog,      // a dialog from a template: property page, About box
    Sheet,       // the property sheet frame
    Static,      // static text
    Bitmap,      // static showing a bitmap resource
    Icon,        // static showing an icon resource
    Edit,
    Button,  // push button
    GroupBox,
    ComboBox,  // drop-down list
    Progress,
};

// What a window is made with: its class, text and identifier, its place and
// its procedures.
struct WindowShape {
    Kind kind = Kind::Window;
    std::u16string class_name;
    std::u16string text;
    int id = 0;
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect{};  // pixels; children relative to the parent's client area
    RECT du{};    // the template's rectangle in dialog units (template-made windows)
    HWND parent = nullptr;
    HWND owner = nullptr;
    WNDPROC wndproc = nullptr;
    DLGPROC dlgproc = nullptr;
};

// What each kind of window keeps besides its shape.
struct PaintState {          // Kind::Window
    std::u16string painted;  // what its WM_PAINT drew with DrawTextW
};
struct CommandBarState {
    int menu_id = 0;  // the menu bar's resource
};
struct ImageState {  // Kind::Bitmap and Kind::Icon
    int image_id = 0;
};
struct ComboBoxState {
    std::vector<std::u16string> items;
    int cursel = -1;
};
struct ProgressState {
    int low = 0, high = 100, pos = 0;
};
// A dialog box or sheet that a modal loop runs until it ends with a result.
struct ModalState {
    bool ended = false;  // EndDialog, or the sheet's OK or Cancel
    INT_PTR result = 0;
};
struct DialogState : ModalState {
    const DLGTEMPLATE* tmpl = nullptr;
    bool modal = false;  // a dialog box (not a page)
};
struct SheetPage {
    PROPSHEETPAGEW descriptor{};
    const DLGTEMPLATE* tmpl = nullptr;
    HWND hwnd = nullptr;  // null until the page is first selected
};
struct SheetState : ModalState {
    std::vector<SheetPage> pages;
    int current = -1;
};
using KindState = std::variant<std::monostate, PaintState, CommandBarState, ImageState, ComboBoxState, ProgressState,
                               DialogState, SheetState>;

struct Window : WindowShape {
    HWND handle = nullptr;
    std::vector<HWND> children;  // in creation (tab) order
    bool visible = false;
    KindState state;  // the state of its kind (see state_for)
    bool destroyed = false;
    bool destroying = false;  // DestroyWindow is under way
    int busy = 0;             // procedures of this window now running

    // The state of kind T, or nullptr when the window is of another kind.
    template <class T>
    T* as() {
        return std::get_if<T>(&state);
    }
    template <class T>
    const T* as() const {
        return std::get_if<T>(&state);
    }
    // Dialogs and sheets; nullptr for other windows.
    ModalState* modal_state();
};

// The empty state a window of `kind` starts with.
KindState state_for(Kind kind);

// The window behind a handle; nullptr for an unknown or destroyed one.
Window* find_window(HWND hwnd);
// Whether the handle names a window that has not been destroyed.
bool is_window(HWND hwnd);
// All live top-level windows (no parent), oldest first.
std::vector<HWND> top_level_windows();
// The dialog (page, sheet or dialog box) that has the operator's attention:
// the newest live modal dialog box, else the current page of the newest
// live sheet. nullptr when there is none.
HWND active_dialog();
// The newest live property sheet, or nullptr.
HWND active_sheet();
// The child of `dialog` with control identifier `id`, or nullptr.
HWND find_control(HWND dialog, int id);

// Dialog units to pixels for a template's font (the Windows base-unit rule
// with fixed base units for the System font).
RECT dialog_units_to_pixels(const RECT& du, int point_size);

// How many windows are alive (tests check that nothing leaks).
size_t live_window_count();

}  // namespace orva::platform
