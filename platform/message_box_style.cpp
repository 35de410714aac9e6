// Decoding a MessageBoxW type.
#include "platform/message_box_style.h"

#include "platform/window_model.h"

namespace orva::platform {
namespace {

constexpr BoxButton kOk{IDOK, u"OK", "ok"};
constexpr BoxButton kCancel{IDCANCEL, u"Cancel", "cancel"};
constexpr BoxButton kAbort{IDABORT, u"Abort", "abort"};
constexpr BoxButton kRetry{IDRETRY, u"Retry", "retry"};
constexpr BoxButton kIgnore{IDIGNORE, u"Ignore", "ignore"};
constexpr BoxButton kYes{IDYES, u"Yes", "yes"};
constexpr BoxButton kNo{IDNO, u"No", "no"};

std::vector<BoxButton> buttons_of(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {kOk, kCancel};
        case MB_ABORTRETRYIGNORE:
            return {kAbort, kRetry, kIgnore};
        case MB_YESNOCANCEL:
            return {kYes, kNo, kCancel};
        case MB_YESNO:
            return {kYes, kNo};
        case MB_RETRYCANCEL:
            return {kRetry, kCancel};
        default:
            return {kOk};
    }
}

BoxIcon icon_of(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return BoxIcon::Stop;
        case MB_ICONQUESTION:
            return BoxIcon::Question;
        case MB_ICONEXCLAMATION:
            return BoxIcon::Exclamation;
        case MB_ICONASTERISK:
            return BoxIcon::Information;
        default:
            return BoxIcon::None;
    }
}

char small_letter(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

}  // namespace

std::optional<BoxButton> MessageBoxStyle::button(int id) const {
    for (const BoxButton& b : buttons)
        if (b.id == id) return b;
    return std::nullopt;
}

std::optional<BoxButton> MessageBoxStyle::button(std::string_view word) const {
    for (const BoxButton& b : buttons) {
        if (b.word.size() != word.size()) continue;
        size_t i = 0;
        while (i < word.size() && small_letter(word[i]) == b.word[i]) ++i;
        if (i == word.size()) return b;
    }
    return std::nullopt;
}

MessageBoxStyle message_box_style(HWND owner, UINT type) {
    MessageBoxStyle style;
    style.buttons = buttons_of(type);
    style.icon = icon_of(type);
    const size_t wanted = (type & MB_DEFMASK) >> 8;
    style.default_button = wanted < style.buttons.size() ? wanted : 0;
    style.escape = style.button(IDCANCEL) ? IDCANCEL : style.button(IDNO) ? IDNO : style.buttons.front().id;
    const Window* w = find_window(owner);
    while (w && w->parent && find_window(w->parent)) w = find_window(w->parent);
    style.owner = w ? w->handle : nullptr;
    return style;
}

}  // namespace orva::platform
