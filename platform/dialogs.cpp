// Dialogs made from templates, modal dialog boxes, the dialog-item calls and
// message boxes.
#include "platform/errors.h"
#include "platform/text.h"
#include "platform/windowing_internal.h"

namespace orva::platform {
namespace {

Kind kind_of(const DLGITEM& item) {
    std::u16string cls = fold_case(wide_view(item.className));
    if (cls == u"static") {
        DWORD type = item.style & 0x1F;
        if (type == SS_BITMAP) return Kind::Bitmap;
        if (type == SS_ICON) return Kind::Icon;
        return Kind::Static;
    }
    if (cls == u"button") return (item.style & 0x0F) == BS_GROUPBOX ? Kind::GroupBox : Kind::Button;
    if (cls == u"edit") return Kind::Edit;
    if (cls == u"combobox") return Kind::ComboBox;
    if (cls == u"msctls_progress32") return Kind::Progress;
    return Kind::Static;
}

}  // namespace

Window& create_dialog_from_template(const DLGTEMPLATE* tmpl, HWND parent, HWND owner, DLGPROC proc) {
    WindowShape shape;
    shape.kind = Kind::Dialog;
    shape.class_name = u"#32770";
    shape.text = std::u16string(wide_view(tmpl->caption));
    // A page is a child of its sheet: its popup frame and caption go.
    shape.style = parent ? (tmpl->style & ~(WS_POPUP | WS_CAPTION | WS_SYSMENU)) | WS_CHILD : tmpl->style;
    shape.ex_style = tmpl->exStyle;
    shape.du = RECT{tmpl->x, tmpl->y, LONG(tmpl->x + tmpl->cx), LONG(tmpl->y + tmpl->cy)};
    shape.rect = dialog_units_to_pixels(shape.du, tmpl->pointSize);
    if (!parent && (shape.style & WS_CAPTION) == WS_CAPTION) shape.rect.bottom += kCaptionHeight;
    shape.parent = parent;
    shape.owner = parent ? nullptr : owner;
    shape.dlgproc = proc;
    DialogState state;
    state.tmpl = tmpl;
    Window& dialog = create_window_object(std::move(shape), std::move(state));
    HWND h = dialog.handle;
    for (UINT i = 0; i < tmpl->itemCount; ++i) {
        const DLGITEM& item = tmpl->items[i];
        WindowShape c;
        c.kind = kind_of(item);
        c.class_name = std::u16string(wide_view(item.className));
        c.text = std::u16string(wide_view(item.text));
        c.id = item.id;
        c.style = item.style | WS_CHILD;
        c.ex_style = item.exStyle;
        c.du = RECT{item.x, item.y, LONG(item.x + item.cx), LONG(item.y + item.cy)};
        c.rect = dialog_units_to_pixels(c.du, tmpl->pointSize);
        c.parent = h;
        KindState state = state_for(c.kind);
        if (auto* image = std::get_if<ImageState>(&state)) image->image_id = item.imageId;
        Window& control = create_window_object(std::move(c), std::move(state));
        if (item.style & WS_VISIBLE) control.visible = true;
    }
    return *find_window(h);
}

}  // namespace orva::platform

using namespace orva::platform;

// Runs a dialog box from a template until EndDialog; the owner stays as it
// is (no disabling is modelled). -1 for a missing template.
INT_PTR DialogBoxIndirectParamW(HINSTANCE, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc, LPARAM param) {
    if (!tmpl || !proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Window& dialog = create_dialog_from_template(tmpl, nullptr, is_window(owner) ? owner : nullptr, proc);
    dialog.as<DialogState>()->modal = true;
    HWND h = dialog.handle;
    SendMessageW(h, WM_INITDIALOG, 0, param);
    if (Window* w = find_window(h); w && !w->modal_state()->ended) show_window(*w, true);
    return run_modal_window(h);
}

// Ends a modal dialog box with a result. A modeless dialog (a property page)
// is hidden instead, as Windows does.
BOOL EndDialog(HWND dialog, INT_PTR result) {
    Window* w = find_window(dialog);
    DialogState* state = w ? w->as<DialogState>() : nullptr;
    if (!state) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    state->ended = true;
    state->result = result;
    if (!state->modal) show_window(*w, false);
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    HWND h = find_control(dialog, id);
    if (!h) SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return h;
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    HWND h = GetDlgItem(dialog, id);
    if (!h) return FALSE;
    return SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u"")) ? TRUE : FALSE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int max) {
    HWND h = GetDlgItem(dialog, id);
    if (!h) {
        if (text && max > 0) text[0] = 0;
        return 0;
    }
    if (max <= 0) return 0;
    return UINT(SendMessageW(h, WM_GETTEXT, WPARAM(max), reinterpret_cast<LPARAM>(text)));
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND h = GetDlgItem(dialog, id);
    return h ? SendMessageW(h, msg, wParam, lParam) : 0;
}

// Asks the frontend. An owner that is not a window counts as no owner. A
// stop requested from outside ends the program before or after the box.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    stop_if_requested();
    const int answer = frontend().message_box(is_window(owner) ? owner : nullptr, wide_view(text),
                                              caption ? wide_view(caption) : std::u16string_view(u"Error"), type);
    stop_if_requested();
    return answer;
}
