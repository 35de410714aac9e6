// The property sheet: a frame with a tab per page and OK and Cancel. A page
// is created the first time its tab is selected; OK sends PSN_APPLY to the
// created pages in page order, Cancel sends PSN_QUERYCANCEL to the current
// page; the sheet ends when it or its owner is destroyed.
#include "platform/text.h"
#include "platform/windowing_internal.h"

namespace orva::platform {
namespace {

// Room around the pages: the tab strip above them and the button row below
// (the caption is kCaptionHeight).
constexpr LONG kTabHeight = 24, kButtonRow = 36, kMargin = 6;

LRESULT notify(HWND page, HWND sheet, UINT code) {
    NMHDR header{sheet, 0, code};
    return SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
}

bool select(Window& sheet, int index) {
    HWND h = sheet.handle;
    SheetState& st = *sheet.as<SheetState>();
    if (index < 0 || index >= int(st.pages.size())) return false;
    if (st.current == index) return true;
    if (st.current >= 0) {
        HWND old = st.pages[size_t(st.current)].hwnd;
        if (is_window(old)) {
            if (notify(old, h, PSN_KILLACTIVE) != 0) return false;
            if (!is_window(h)) return false;
            if (Window* o = find_window(old)) show_window(*o, false);
        }
    }
    SheetPage& page = st.pages[size_t(index)];
    if (!is_window(page.hwnd)) {
        Window& p = create_dialog_from_template(page.tmpl, h, nullptr, page.descriptor.pfnDlgProc);
        p.rect = RECT{kMargin, kTabHeight, kMargin + (p.rect.right - p.rect.left),
                      kTabHeight + (p.rect.bottom - p.rect.top)};
        page.hwnd = p.handle;
        SendMessageW(page.hwnd, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&page.descriptor));
        if (!is_window(h)) return false;
    }
    st.current = index;
    if (Window* p = find_window(page.hwnd)) show_window(*p, true);
    notify_change(sheet, Change::Page, index, true);
    if (is_window(page.hwnd)) notify(page.hwnd, h, PSN_SETACTIVE);
    return true;
}

void apply(Window& sheet) {
    HWND h = sheet.handle;
    SheetState& st = *sheet.as<SheetState>();
    for (size_t i = 0; i < st.pages.size(); ++i) {
        if (!is_window(h)) return;
        HWND page = st.pages[i].hwnd;
        if (!is_window(page)) continue;
        if (notify(page, h, PSN_APPLY) != 0) {
            if (is_window(h)) select(sheet, int(i));
            return;
        }
    }
    if (is_window(h)) {
        st.ended = true;
        st.result = 1;
    }
}

void cancel(Window& sheet) {
    HWND h = sheet.handle;
    SheetState& st = *sheet.as<SheetState>();
    if (st.current >= 0 && is_window(st.pages[size_t(st.current)].hwnd)) {
        if (notify(st.pages[size_t(st.current)].hwnd, h, PSN_QUERYCANCEL) != 0) return;
    }
    for (auto& page : st.pages) {
        if (!is_window(h)) return;
        if (is_window(page.hwnd)) notify(page.hwnd, h, PSN_RESET);
    }
    if (is_window(h)) {
        st.ended = true;
        st.result = 0;
    }
}

const DLGTEMPLATE* page_template(const PROPSHEETPAGEW& page) {
    HRSRC res = FindResourceW(page.hInstance, page.pszTemplate, RT_DIALOG);
    return res ? reinterpret_cast<const DLGTEMPLATE*>(LoadResource(page.hInstance, res)) : nullptr;
}

}  // namespace

LRESULT sheet_proc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) apply(w);
            else if (LOWORD(wParam) == IDCANCEL) cancel(w);
            return 0;
        case WM_CLOSE:
            cancel(w);
            return 0;
        case PSM_SETCURSEL:
            return select(w, int(wParam)) ? TRUE : FALSE;
        default:
            return DefWindowProcW(w.handle, msg, wParam, lParam);
    }
}

}  // namespace orva::platform

using namespace orva::platform;

// Runs the sheet modally. Returns 1 when closed by OK, 0 by Cancel or when
// the sheet was destroyed from outside (its owner went), -1 when it cannot
// be made (a bad header or a page without a template).
INT_PTR PropertySheetW(const PROPSHEETHEADERW* header) {
    if (!header || header->dwSize != sizeof(PROPSHEETHEADERW) || !(header->dwFlags & PSH_PROPSHEETPAGE) ||
        !header->ppsp || header->nPages == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    SheetState st;
    LONG width = 0, height = 0;
    for (UINT i = 0; i < header->nPages; ++i) {
        const PROPSHEETPAGEW& d = header->ppsp[i];
        SheetPage page;
        page.descriptor = d;
        page.tmpl = d.dwSize == sizeof(PROPSHEETPAGEW) ? page_template(d) : nullptr;
        if (!page.tmpl) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        RECT px = dialog_units_to_pixels(RECT{0, 0, page.tmpl->cx, page.tmpl->cy}, page.tmpl->pointSize);
        width = std::max(width, px.right);
        height = std::max(height, px.bottom);
        st.pages.push_back(page);
    }
    WindowShape shape;
    shape.kind = Kind::Sheet;
    shape.class_name = u"PropertySheet";
    if (header->pszCaption && IS_INTRESOURCE(header->pszCaption)) {
        WCHAR buffer[100];
        LoadStringW(header->hInstance, UINT(reinterpret_cast<uintptr_t>(header->pszCaption)), buffer, 100);
        shape.text = buffer;
    } else {
        shape.text = std::u16string(wide_view(header->pszCaption));
    }
    shape.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    shape.owner = is_window(header->hwndParent) ? header->hwndParent : nullptr;
    LONG sheet_w = width + 2 * kMargin, sheet_h = kCaptionHeight + kTabHeight + height + kButtonRow;
    RECT screen = screen_rect();
    LONG x = std::max<LONG>(0, (screen.right - sheet_w) / 2), y = std::max<LONG>(0, (screen.bottom - sheet_h) / 2);
    shape.rect = RECT{x, y, x + sheet_w, y + sheet_h};
    Window& sheet = create_window_object(std::move(shape), std::move(st));
    HWND h = sheet.handle;
    {
        BusyGuard guard(h);
        UINT start = header->nStartPage < header->nPages ? header->nStartPage : 0;
        select(sheet, int(start));
        if (Window* w = find_window(h)) show_window(*w, true);
    }
    return run_modal_window(h);
}
