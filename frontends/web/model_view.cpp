// The window model as JSON for the browser.
#include "frontends/web/model_view.h"

#include "platform/message_box_style.h"
#include "platform/module.h"
#include "platform/text.h"

namespace orva::web {
namespace {

using nlohmann::json;
using platform::Kind;
using platform::Window;

std::string utf8(std::u16string_view text) { return platform::to_utf8(text); }

// The bits of a static's style that say what kind of static it is
// (Windows' SS_TYPEMASK).
constexpr DWORD kStaticType = 0x1F;

uint64_t number(HWND h) { return uint64_t(reinterpret_cast<uintptr_t>(h)); }

const char* kind_name(Kind kind) {
    switch (kind) {
        case Kind::Window:
            return "window";
        case Kind::CommandBar:
            return "commandbar";
        case Kind::Dialog:
            return "dialog";
        case Kind::Sheet:
            return "sheet";
        case Kind::Static:
            return "static";
        case Kind::Bitmap:
            return "bitmap";
        case Kind::Icon:
            return "icon";
        case Kind::Edit:
            return "edit";
        case Kind::Button:
            return "button";
        case Kind::GroupBox:
            return "group";
        case Kind::ComboBox:
            return "combo";
        case Kind::Progress:
            return "progress";
    }
    return "window";
}

// The icon's name, which the page's style sheet knows; null for none.
json icon_name(platform::BoxIcon icon) {
    switch (icon) {
        case platform::BoxIcon::Stop:
            return "stop";
        case platform::BoxIcon::Question:
            return "question";
        case platform::BoxIcon::Exclamation:
            return "exclamation";
        case platform::BoxIcon::Information:
            return "information";
        case platform::BoxIcon::None:
            break;
    }
    return nullptr;
}

json template_view(const DLGTEMPLATE* tmpl) {
    if (!tmpl) return nullptr;
    return json{{"id", tmpl->resourceId},
                {"cx", tmpl->cx},
                {"cy", tmpl->cy},
                {"points", tmpl->pointSize ? tmpl->pointSize : 8},
                {"face", utf8(platform::wide_view(tmpl->typeface))},
                {"caption", utf8(platform::wide_view(tmpl->caption))}};
}

// Whether the resources hold image `id` (the About box asks for an icon
// they do not hold).
bool image_exists(int id) {
    const RESOURCE_SECTION& section = platform::resource_section();
    for (UINT i = 0; i < section.bitmapCount; ++i)
        if (section.bitmaps[i].resourceId == id) return true;
    for (UINT i = 0; i < section.iconCount; ++i)
        if (section.icons[i].resourceId == id) return true;
    return false;
}

void add_children(const Window& w, json& out) {
    for (HWND c : w.children)
        if (const Window* child = platform::find_window(c)) {
            out.push_back(window_view(*child));
            add_children(*child, out);
        }
}

}  // namespace

// The frame a control's styles give it: "client" (sunken), "static" (thin
// sunken), "border" (a line), or null for none.
json edge_of(const Window& w) {
    if (w.ex_style & WS_EX_CLIENTEDGE) return "client";
    if (w.ex_style & WS_EX_STATICEDGE) return "static";
    if (w.style & WS_BORDER) return "border";
    return nullptr;
}

json window_view(const Window& w) {
    json out{{"h", number(w.handle)},
             {"kind", kind_name(w.kind)},
             {"parent", number(w.parent)},
             {"owner", number(w.owner)},
             {"id", w.id},
             {"text", utf8(w.text)},
             {"du", {w.du.left, w.du.top, w.du.right, w.du.bottom}},
             {"visible", w.visible},
             {"enabled", !(w.style & WS_DISABLED)},
             {"tabstop", (w.style & WS_TABSTOP) != 0},
             {"edge", edge_of(w)}};
    switch (w.kind) {
        case Kind::Static:
            out["center"] = (w.style & kStaticType) == SS_CENTER;
            out["prefix"] = !(w.style & SS_NOPREFIX);  // "&" marks the next letter
            break;
        case Kind::Button:
            out["heavy"] = (w.ex_style & WS_EX_DLGMODALFRAME) != 0;
            break;
        case Kind::Dialog:
            out["caption_ok"] = (w.ex_style & WS_EX_CAPTIONOKBTN) != 0;
            break;
        default:
            break;
    }
    if (const auto* list = w.as<platform::ComboBoxState>()) {
        json items = json::array();
        for (const auto& item : list->items) items.push_back(utf8(item));
        out["items"] = std::move(items);
        out["sel"] = list->cursel;
    } else if (const auto* bar = w.as<platform::ProgressState>()) {
        out["low"] = bar->low;
        out["high"] = bar->high;
        out["pos"] = bar->pos;
    } else if (const auto* image = w.as<platform::ImageState>()) {
        out["image"] = image_exists(image->image_id) ? image->image_id : 0;
    } else if (const auto* paint = w.as<platform::PaintState>()) {
        out["painted"] = utf8(paint->painted);
    } else if (const auto* dialog = w.as<platform::DialogState>()) {
        out["template"] = template_view(dialog->tmpl);
        out["modal"] = dialog->modal;
    } else if (const auto* sheet = w.as<platform::SheetState>()) {
        json pages = json::array();
        for (const auto& page : sheet->pages)
            pages.push_back(json{{"h", number(platform::is_window(page.hwnd) ? page.hwnd : nullptr)},
                                 {"template", template_view(page.tmpl)}});
        out["pages"] = std::move(pages);
        out["current"] = sheet->current;
    }
    return out;
}

json windows_view() {
    json out = json::array();
    for (HWND top : platform::top_level_windows())
        if (const Window* w = platform::find_window(top)) {
            out.push_back(window_view(*w));
            add_children(*w, out);
        }
    return out;
}

json box_view(const BoxView* box) {
    if (!box) return nullptr;
    const platform::MessageBoxStyle style = platform::message_box_style(box->owner, box->flags);
    json buttons = json::array();
    for (const platform::BoxButton& b : style.buttons)
        buttons.push_back(json{{"answer", std::string(b.word)}, {"label", utf8(b.label)}});
    return json{{"seq", box->seq},
                {"caption", utf8(box->caption)},
                {"text", utf8(box->text)},
                {"icon", icon_name(style.icon)},
                {"buttons", std::move(buttons)},
                {"default", style.default_button},
                {"escape", std::string(style.button(style.escape)->word)},
                {"owner", number(style.owner)}};
}

std::map<int, std::string> resource_images() {
    std::map<int, std::string> out;
    const RESOURCE_SECTION& section = platform::resource_section();
    for (UINT i = 0; i < section.bitmapCount; ++i) {
        const IMAGE_ORVA& b = section.bitmaps[i];
        out[b.resourceId].assign(reinterpret_cast<const char*>(b.data), b.size);
    }
    // Each icon's images come largest first.
    for (UINT i = 0; i < section.iconCount; ++i) {
        const IMAGE_ORVA& icon = section.icons[i];
        if (!out.count(icon.resourceId))
            out[icon.resourceId].assign(reinterpret_cast<const char*>(icon.data), icon.size);
    }
    return out;
}

}  // namespace orva::web
