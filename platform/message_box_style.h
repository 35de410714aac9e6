// What a MessageBoxW type asks for, decoded once for the platform and every
// frontend: the buttons and the answer each gives, the icon, the default
// button, the answer of Esc, and the window the box belongs to. The MB_* and
// ID* names and values are Windows' own; the application itself uses only
// the few that platform/wince.h declares.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "platform/wince.h"

// The parts of a type.
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L
#define MB_DEFMASK 0x00000F00L

// Button sets (MB_OK, MB_OKCANCEL and MB_YESNO are in platform/wince.h).
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_RETRYCANCEL 0x00000005L

// Icons (MB_ICONQUESTION and MB_ICONEXCLAMATION are in platform/wince.h).
#define MB_ICONHAND 0x00000010L
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK

// The default button.
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFBUTTON4 0x00000300L

// Answers (IDOK, IDCANCEL, IDYES and IDNO are in platform/wince.h).
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5

namespace orva::platform {

enum class BoxIcon { None, Stop, Question, Exclamation, Information };

struct BoxButton {
    int id = IDOK;              // the answer it gives
    std::u16string_view label;  // "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"
    std::string_view word;      // the same in ASCII small letters: "ok", "cancel", ...
};

struct MessageBoxStyle {
    std::vector<BoxButton> buttons;  // left to right; OK alone for a set Windows does not define
    BoxIcon icon = BoxIcon::None;
    size_t default_button = 0;  // index into buttons: MB_DEFBUTTONn, the first when there is no n-th
    // What Esc, the close box and a frontend that cannot ask answer: Cancel
    // where the box has it, else No, else its first button.
    int escape = IDOK;
    // The top-level window the box belongs to (the owner's, when the owner
    // is a page or a control); nullptr for a box without an owner.
    HWND owner = nullptr;

    // The button that gives answer `id`, or the one whose word is `word`
    // (letters of either case); nullopt when the box has none.
    std::optional<BoxButton> button(int id) const;
    std::optional<BoxButton> button(std::string_view word) const;
};

// Decodes a MessageBoxW type for a box owned by `owner` (a live window or
// nullptr). Bits of the type that no part above names are ignored.
MessageBoxStyle message_box_style(HWND owner, UINT type);

}  // namespace orva::platform
