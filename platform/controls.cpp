// The built-in controls: static text, bitmap and icon statics, edit, push
// button, group box, drop-down list and progress bar. Their state lives in
// the window model; every change the application makes is told to the
// frontend.
#include "platform/text.h"
#include "platform/windowing_internal.h"

namespace orva::platform {
namespace {

LRESULT combo_proc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
    int count = int(w.items.size());
    switch (msg) {
    case CB_INSERTSTRING: {
        int index = int(intptr_t(wParam));
        auto* text = reinterpret_cast<LPCWSTR>(lParam);
        if (index < 0) index = count;
        if (index > count) return CB_ERR;
        w.items.insert(w.items.begin() + index, std::u16string(wide_view(text)));
        if (w.cursel >= index) ++w.cursel;
        notify_change(w, Change::ItemAdded, index, true);
        return index;
    }
    case CB_SETCURSEL: {
        int index = int(intptr_t(wParam));
        w.cursel = (index >= 0 && index < count) ? index : -1;
        notify_change(w, Change::Selection, w.cursel, true);
        return w.cursel >= 0 ? w.cursel : CB_ERR;
    }
    case CB_GETCURSEL:
        return w.cursel >= 0 ? w.cursel : CB_ERR;
    case CB_GETCOUNT:
        return count;
    case CB_GETLBTEXT: {
        int index = int(intptr_t(wParam));
        if (index < 0 || index >= count || !lParam) return CB_ERR;
        auto* out = reinterpret_cast<LPWSTR>(lParam);
        const auto& item = w.items[size_t(index)];
        std::copy(item.begin(), item.end(), out);
        out[item.size()] = 0;
        return LRESULT(item.size());
    }
    case CB_RESETCONTENT:
        w.items.clear();
        w.cursel = -1;
        notify_change(w, Change::Items, 0, true);
        return TRUE;
    default:
        return DefWindowProcW(w.handle, msg, wParam, lParam);
    }
}

// A position outside the range is clamped to it, as the common control does.
LRESULT progress_proc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case PBM_SETRANGE32: {
        LRESULT previous = LRESULT((w.low & 0xFFFF) | ((w.high & 0xFFFF) << 16));
        w.low = int(intptr_t(wParam));
        w.high = int(lParam);
        w.pos = std::clamp(w.pos, std::min(w.low, w.high), std::max(w.low, w.high));
        notify_change(w, Change::Range, 0, true);
        return previous;
    }
    case PBM_SETPOS: {
        int previous = w.pos;
        w.pos = std::clamp(int(intptr_t(wParam)), std::min(w.low, w.high), std::max(w.low, w.high));
        notify_change(w, Change::Position, w.pos, true);
        return previous;
    }
    case PBM_GETPOS:
        return w.pos;
    case PBM_GETRANGE:
        return wParam ? w.low : w.high;
    default:
        return DefWindowProcW(w.handle, msg, wParam, lParam);
    }
}

}  // namespace

LRESULT control_proc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (w.kind) {
    case Kind::ComboBox: return combo_proc(w, msg, wParam, lParam);
    case Kind::Progress: return progress_proc(w, msg, wParam, lParam);
    default: return DefWindowProcW(w.handle, msg, wParam, lParam);
    }
}

}  // namespace orva::platform
