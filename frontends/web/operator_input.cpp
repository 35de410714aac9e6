// Checking and applying the browser's actions.
#include "frontends/web/operator_input.h"

#include "platform/operator.h"
#include "platform/text.h"
#include "platform/window_model.h"

namespace orva::web {
namespace {

using nlohmann::json;
using platform::Kind;
using platform::Window;

// The handle an action names, or nullptr.
HWND handle_of(const json& action) {
    auto it = action.find("h");
    if (it == action.end() || !it->is_number_unsigned()) return nullptr;
    return reinterpret_cast<HWND>(uintptr_t(it->get<uint64_t>()));
}

// The control `h` when it is live, of `kind`, shown, and on the dialog that
// has the operator's attention.
Window* control_in_reach(HWND h, Kind kind) {
    Window* w = platform::find_window(h);
    if (!w || w->kind != kind || !w->visible || (w->style & WS_DISABLED)) return nullptr;
    HWND dialog = platform::active_dialog();
    return dialog && w->parent == dialog ? w : nullptr;
}

// The newest sheet, when nothing modal stands above it.
HWND sheet_in_reach() {
    HWND sheet = platform::active_sheet();
    HWND dialog = platform::active_dialog();
    const Window* page = platform::find_window(dialog);
    return sheet && page && page->parent == sheet ? sheet : nullptr;
}

bool integer(const json& action, const char* key, int* out) {
    auto it = action.find(key);
    if (it == action.end() || !it->is_number_integer()) return false;
    const long long value = it->get<long long>();
    if (value < -1000000 || value > 1000000) return false;
    *out = int(value);
    return true;
}

}  // namespace

bool apply_operator_input(const json& action) {
    if (!action.is_object()) return false;
    auto op_it = action.find("op");
    if (op_it == action.end() || !op_it->is_string()) return false;
    const std::string op = *op_it;
    if (op == "press") {
        Window* w = control_in_reach(handle_of(action), Kind::Button);
        if (!w) return false;
        platform::press_button(w->handle);
        return true;
    }
    if (op == "type") {
        Window* w = control_in_reach(handle_of(action), Kind::Edit);
        auto text = action.find("text");
        if (!w || text == action.end() || !text->is_string()) return false;
        std::u16string typed = platform::to_utf16(text->get<std::string>());
        if (typed.size() > kMaxTypedText) return false;
        platform::type_text(w->handle, typed);
        return true;
    }
    if (op == "choose") {
        Window* w = control_in_reach(handle_of(action), Kind::ComboBox);
        int index = 0;
        if (!w || !integer(action, "index", &index)) return false;
        const auto* list = w->as<platform::ComboBoxState>();
        if (index < -1 || index >= int(list->items.size())) return false;
        platform::choose_item(w->handle, index);
        return true;
    }
    if (op == "tab") {
        HWND sheet = sheet_in_reach();
        int index = 0;
        if (!sheet || !integer(action, "index", &index)) return false;
        const auto* state = platform::find_window(sheet)->as<platform::SheetState>();
        if (index < 0 || index >= int(state->pages.size())) return false;
        platform::select_page(sheet, index);
        return true;
    }
    if (op == "sheet") {
        HWND sheet = sheet_in_reach();
        auto button = action.find("button");
        if (!sheet || button == action.end() || !button->is_string()) return false;
        if (*button == "ok") platform::press_sheet_ok(sheet);
        else if (*button == "cancel") platform::press_sheet_cancel(sheet);
        else return false;
        return true;
    }
    if (op == "close") {
        HWND h = handle_of(action);
        const Window* w = platform::find_window(h);
        const auto* dialog = w ? w->as<platform::DialogState>() : nullptr;
        int id = 0;
        if (!dialog || !dialog->modal || h != platform::active_dialog() || !integer(action, "id", &id) ||
            (id != IDOK && id != IDCANCEL))
            return false;
        platform::close_dialog(h, id);
        return true;
    }
    return false;
}

}  // namespace orva::web
