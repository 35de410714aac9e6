// The operator's input, as the frontends report it.
#include "platform/operator.h"

#include "platform/windowing_internal.h"

namespace orva::platform {

void press_button(HWND button) {
    Window* w = find_window(button);
    if (!w || !w->parent) return;
    PostMessageW(w->parent, WM_COMMAND, MAKEWPARAM(w->id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void type_text(HWND edit, const std::u16string& text) {
    Window* w = find_window(edit);
    if (!w) return;
    w->text = text;
    notify_change(*w, Change::Text, 0, false);
}

void choose_item(HWND combo, int index) {
    Window* w = find_window(combo);
    ComboBoxState* list = w ? w->as<ComboBoxState>() : nullptr;
    if (!list) return;
    list->cursel = (index >= 0 && index < int(list->items.size())) ? index : -1;
    notify_change(*w, Change::Selection, list->cursel, false);
}

void select_page(HWND sheet, int index) { PostMessageW(sheet, PSM_SETCURSEL, WPARAM(index), 0); }

void press_sheet_ok(HWND sheet) { PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

void press_sheet_cancel(HWND sheet) { PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

void menu_command(HWND hwnd, int command) { PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(command, 0), 0); }

void close_dialog(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

}  // namespace orva::platform
