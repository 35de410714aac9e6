// The window model: every window and control the application creates, in a
// handle table. The model is the truth; frontends (frontends/) draw it and
// turn the operator's input into messages through platform/operator.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/wince.h"

namespace orva::platform {

enum class Kind {
    Window,       // a window of a registered class (the main window)
    CommandBar,   // the command bar with its menu bar
    Dialog,       // a dialog from a template: property page, About box
    Sheet,        // the property sheet frame
    Static,       // static text
    Bitmap,       // static showing a bitmap resource
    Icon,         // static showing an icon resource
    Edit,
    Button,       // push button
    GroupBox,
    ComboBox,     // drop-down list
    Progress,
};

struct SheetPage {
    PROPSHEETPAGEW descriptor{};
    const DLGTEMPLATE* tmpl = nullptr;
    HWND hwnd = nullptr;  // null until the page is first selected
};

struct SheetState {
    std::vector<SheetPage> pages;
    int current = -1;
};

struct Window {
    HWND handle = nullptr;
    Kind kind = Kind::Window;
    std::u16string class_name;
    std::u16string text;
    int id = 0;
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect{};   // pixels; children relative to the parent's client area
    RECT du{};     // the template's rectangle in dialog units (template-made windows)
    HWND parent = nullptr;
    HWND owner = nullptr;
    std::vector<HWND> children;  // in creation (tab) order
    WNDPROC wndproc = nullptr;
    DLGPROC dlgproc = nullptr;
    bool visible = false;
    bool destroyed = false;
    const DLGTEMPLATE* tmpl = nullptr;  // dialogs
    int image_id = 0;                   // bitmap and icon statics
    int menu_id = 0;                    // command bar
    std::vector<std::u16string> items;  // combo box
    int cursel = -1;
    int low = 0, high = 100, pos = 0;   // progress bar
    bool modal = false;                 // dialog run by a modal loop
    bool ended = false;                 // EndDialog was called
    INT_PTR result = 0;
    std::unique_ptr<SheetState> sheet;  // Kind::Sheet
    std::u16string painted;             // what the window's WM_PAINT drew with DrawTextW
    int busy = 0;                       // procedures of this window now running
    bool destroying = false;            // DestroyWindow is under way
};

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
