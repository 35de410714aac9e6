// Access to the program's resource section: strings, icons, accelerators and
// dialog templates. Resources are named by number only.
#include "platform/errors.h"
#include "platform/module.h"
#include "platform/text.h"
#include "platform/windowing_internal.h"

namespace orva::platform {
namespace {
const RESOURCE_SECTION* g_section = nullptr;
}

void set_resource_section(const RESOURCE_SECTION* section) { g_section = section; }

const RESOURCE_SECTION& resource_section() {
    static const RESOURCE_SECTION empty{};
    return g_section ? *g_section : empty;
}

}  // namespace orva::platform

using namespace orva::platform;

namespace {

WORD resource_number(LPCWSTR name) { return IS_INTRESOURCE(name) ? WORD(reinterpret_cast<uintptr_t>(name)) : 0; }

}  // namespace

// Copies at most max - 1 characters and terminates; 0 when there is no such
// string.
int LoadStringW(HINSTANCE, UINT id, LPWSTR buffer, int max) {
    if (!buffer || max <= 0) return 0;
    for (UINT i = 0; i < resource_section().stringCount; ++i) {
        if (resource_section().strings[i].id != id) continue;
        std::u16string_view text = wide_view(resource_section().strings[i].text);
        size_t n = std::min(text.size(), size_t(max - 1));
        std::copy_n(text.data(), n, buffer);
        buffer[n] = 0;
        return int(n);
    }
    buffer[0] = 0;
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}

// The handle of an icon group is its resource number; NULL when the section
// has no such icon.
HICON LoadIconW(HINSTANCE, LPCWSTR name) {
    WORD id = resource_number(name);
    for (UINT i = 0; i < resource_section().iconCount; ++i)
        if (resource_section().icons[i].resourceId == id) return reinterpret_cast<HICON>(uintptr_t(id));
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HACCEL LoadAcceleratorsW(HINSTANCE, LPCWSTR name) {
    WORD id = resource_number(name);
    for (UINT i = 0; i < resource_section().acceleratorCount; ++i)
        if (resource_section().accelerators[i].resourceId == id)
            return reinterpret_cast<HACCEL>(const_cast<ACCELTABLE_ORVA*>(&resource_section().accelerators[i]));
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

// A virtual-key entry matches WM_KEYDOWN / WM_SYSKEYDOWN of its key, a
// character entry WM_CHAR / WM_SYSCHAR of its character; FALT asks for the
// Alt key (bit 29 of lParam). A match sends WM_COMMAND (command, 1).
int TranslateAcceleratorW(HWND hwnd, HACCEL accel, LPMSG msg) {
    auto* table = reinterpret_cast<const ACCELTABLE_ORVA*>(accel);
    if (!table || !msg) return 0;
    bool alt = (msg->lParam & (1 << 29)) != 0;
    bool key = msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN;
    bool chr = msg->message == WM_CHAR || msg->message == WM_SYSCHAR;
    if (!key && !chr) return 0;
    for (UINT i = 0; i < table->count; ++i) {
        const ACCEL& a = table->entries[i];
        bool virt = (a.fVirt & FVIRTKEY) != 0;
        if ((virt && !key) || (!virt && !chr)) continue;
        if (a.key != WORD(msg->wParam)) continue;
        if (((a.fVirt & FALT) != 0) != alt) continue;
        SendMessageW(hwnd ? hwnd : msg->hwnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
        return 1;
    }
    return 0;
}

// Dialog templates and bitmaps: the handle points at the table entry, and
// LoadResource hands the same pointer out.
HRSRC FindResourceW(HINSTANCE, LPCWSTR name, LPCWSTR type) {
    WORD id = resource_number(name);
    if (type == RT_DIALOG) {
        for (UINT i = 0; i < resource_section().dialogCount; ++i)
            if (resource_section().dialogs[i]->resourceId == id)
                return reinterpret_cast<HRSRC>(const_cast<DLGTEMPLATE*>(resource_section().dialogs[i]));
    } else if (type == RT_BITMAP) {
        for (UINT i = 0; i < resource_section().bitmapCount; ++i)
            if (resource_section().bitmaps[i].resourceId == id)
                return reinterpret_cast<HRSRC>(const_cast<IMAGE_ORVA*>(&resource_section().bitmaps[i]));
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HGLOBAL LoadResource(HINSTANCE, HRSRC resource) { return reinterpret_cast<HGLOBAL>(resource); }
