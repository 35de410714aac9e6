// What the platform's windowing files share among themselves: the handle
// table, the message queue, window procedures of the built-in classes and the
// modal loop. Frontends use window_model.h and operator.h instead.
#pragma once

#include <functional>

#include "platform/frontend.h"
#include "platform/window_model.h"

namespace orva::platform {

// The height of a popup's caption bar, which its client area lies below.
inline constexpr LONG kCaptionHeight = 20;

// A built-in class's window procedure (controls, the sheet, the command bar).
using BuiltinProc = LRESULT (*)(Window&, UINT, WPARAM, LPARAM);

// Adds a window to the table, links it to its parent and tells the frontend.
// It starts with `state`, or with the empty state of its kind when none is
// given, and is not visible until show_window().
Window& create_window_object(WindowShape shape, KindState state = {});
void show_window(Window& w, bool visible);
// Tells the frontend about a change the application made (by_application) or
// the operator made.
void notify_change(const Window& w, Change change, int value, bool by_application);
// The procedure of a built-in kind, or nullptr.
BuiltinProc builtin_proc(Kind kind);
// Runs the queue (and the frontend's input) until done() is true or a quit
// message is seen; a quit message is left in the queue for the outer loop.
void run_modal_loop(const std::function<bool()>& done);
// Runs the modal loop of a dialog box or sheet until it ends (EndDialog, or
// the sheet's OK or Cancel) or is destroyed; destroys it if it is still there
// and returns its result (0 when it was destroyed from outside).
INT_PTR run_modal_window(HWND hwnd);
// Creates a dialog's window and controls from a template, as a popup owned by
// `owner` or as a child of `parent`. Does not send WM_INITDIALOG.
Window& create_dialog_from_template(const DLGTEMPLATE* tmpl, HWND parent, HWND owner, DLGPROC proc);
// The screen's size in pixels (the controller's display).
RECT screen_rect();

// The sheet's procedure: OK, Cancel and tab selection.
LRESULT sheet_proc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT control_proc(Window& w, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace orva::platform

namespace orva::platform {

// Keeps a window's object alive while one of its procedures runs: a window
// destroyed meanwhile is freed when the last guard goes.
class BusyGuard {
public:
    explicit BusyGuard(HWND hwnd);
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    HWND m_hwnd;
};

// Forgets every window, class, queued message and pending quit (tests).
void reset_windowing();

// Sees every message on its way to a window's procedures, and whether a
// message loop dispatched it from the queue (posted) or a call sent it: the
// platform's tests record message sequences with it, as Wine's tests do with
// their hooks. An empty observer removes it.
using MessageObserver = std::function<void(const MSG& msg, bool posted)>;
void set_message_observer(MessageObserver observer);

}  // namespace orva::platform
