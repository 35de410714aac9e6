// The command bar: a strip at the top of the main window holding the menu bar
// (a menu resource) and the adornments (close box). Frontends draw it and
// send its menu commands to the main window.
#include "platform/module.h"
#include "platform/windowing_internal.h"

using namespace orva::platform;

HWND CommandBar_Create(HINSTANCE, HWND parent, int id) {
    Window* p = find_window(parent);
    if (!p) return nullptr;
    WindowShape shape;
    shape.kind = Kind::CommandBar;
    shape.class_name = u"CommandBar";
    shape.id = id;
    shape.style = WS_CHILD | WS_VISIBLE;
    shape.parent = parent;
    shape.rect = RECT{0, 0, p->rect.right - p->rect.left, 26};
    Window& bar = create_window_object(std::move(shape));
    bar.visible = true;
    return bar.handle;
}

BOOL CommandBar_InsertMenubar(HWND bar, HINSTANCE, WORD menuId, WORD) {
    Window* w = find_window(bar);
    CommandBarState* bar_state = w ? w->as<CommandBarState>() : nullptr;
    if (!bar_state) return FALSE;
    for (UINT i = 0; i < resource_section().menuCount; ++i)
        if (resource_section().menus[i].resourceId == menuId) {
            bar_state->menu_id = menuId;
            notify_change(*w, Change::Items, menuId, true);
            return TRUE;
        }
    return FALSE;
}

BOOL CommandBar_AddAdornments(HWND bar, DWORD, DWORD) { return is_window(bar) ? TRUE : FALSE; }

BOOL CommandBar_Show(HWND bar, BOOL show) {
    Window* w = find_window(bar);
    if (!w) return FALSE;
    show_window(*w, show != FALSE);
    return TRUE;
}
