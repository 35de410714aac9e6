// The built-in controls: static text, bitmap and icon statics, edit, push
// button, group box, drop-down list and progress bar. Their state lives in
// the window model; every change the application makes is told to the
// frontend.
#include "platform/text.h"
#include "platform/windowing_internal.h"

namespace orva::platform {
namespace {

LRESULT combo_proc(Window& w, ComboBoxState& list, UINT msg, WPARAM wParam, LPARAM lParam) {
    int count = int(list.items.size());
    switch (msg) {
        case CB_INSERTSTRING: {
            int index = int(intptr_t(wParam));
            auto* text = reinterpret_cast<LPCWSTR>(lParam);
            if (index < 0) index = count;
            if (index > count) return CB_ERR;
            list.items.insert(list.items.begin() + index, std::u16string(wide_view(text)));
            if (list.cursel >= index) ++list.cursel;
            notify_change(w, Change::ItemAdded, index, true);
            return index;
        }
        case CB_SETCURSEL: {
            int index = int(intptr_t(wParam));
            list.cursel = (index >= 0 && index < count) ? index : -1;
            notify_change(w, Change::Selection, list.cursel, true);
            return list.cursel >= 0 ? list.cursel : CB_ERR;
        }
        case CB_GETCURSEL:
            return list.cursel >= 0 ? list.cursel : CB_ERR;
        case CB_GETCOUNT:
            return count;
        case CB_GETLBTEXT: {
            int index = int(intptr_t(wParam));
            if (index < 0 || index >= count || !lParam) return CB_ERR;
            auto* out = reinterpret_cast<LPWSTR>(lParam);
            const auto& item = list.items[size_t(index)];
            std::copy(item.begin(), item.end(), out);
            out[item.size()] = 0;
            return LRESULT(item.size());
        }
        case CB_RESETCONTENT:
            list.items.clear();
            list.cursel = -1;
            notify_change(w, Change::Items, 0, true);
            return TRUE;
        default:
            return DefWindowProcW(w.handle, msg, wParam, lParam);
    }
}

// A position outside the range is clamped to it, as the common control does.
LRESULT progress_proc(Window& w, ProgressState& bar, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case PBM_SETRANGE32: {
            LRESULT previous = LRESULT((bar.low & 0xFFFF) | ((bar.high & 0xFFFF) << 16));
            bar.low = int(intptr_t(wParam));
            bar.high = int(lParam);
            bar.pos = std::clamp(bar.pos, std::min(bar.low, bar.high), std::max(bar.low, bar.high));
            notify_change(w, Change::Range, 0, true);
            return previous;
        }
        case PBM_SETPOS: {
            int previous = bar.pos;
            bar.pos = std::clamp(int(intptr_t(wParam)), std::min(bar.low, bar.high), std::max(bar.low, bar.high));
            notify_change(w, Change::Position, bar.pos, true);
            return previous;
        }
        case PBM_GETPOS:
            return bar.pos;
        case PBM_GETRANGE:
            return wParam ? bar.low : bar.high;
        default:
            return DefWindowProcW(w.handle, msg, wParam, lParam);
    }
}

}  // namespace

LRESULT control_proc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (auto* list = w.as<ComboBoxState>()) return combo_proc(w, *list, msg, wParam, lParam);
    if (auto* bar = w.as<ProgressState>()) return progress_proc(w, *bar, msg, wParam, lParam);
    return DefWindowProcW(w.handle, msg, wParam, lParam);
}

}  // namespace orva::platform
