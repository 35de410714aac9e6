// The interface a frontend implements: it is told what happens to the window
// model, runs the operator's side of modal loops, and answers message boxes
// and the open-file dialog. Exactly one frontend is installed at a time.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/window_model.h"

namespace orva::platform {

enum class Change {
    Text,       // window text (WM_SETTEXT / SetDlgItemTextW)
    ItemAdded,  // a combo box item was inserted (the value is its index)
    Items,      // combo box items were reset
    Selection,  // combo box selection
    Range,      // progress bar range
    Position,   // progress bar position
    Visible,    // shown or hidden
    Geometry,   // moved or sized
    Page,       // a sheet changed its current page
    Painted,    // the text a window's WM_PAINT drew (DrawTextW)
};

struct OpenFileRequest {
    std::u16string filter_name;     // "All Documents (*.*)"
    std::u16string filter_pattern;  // "*.*"
    std::u16string initial_path;    // what lpstrFile held
    size_t capacity = 0;            // characters, NUL included
};

class Frontend {
public:
    virtual ~Frontend() = default;

    virtual void window_created(const Window&) {}
    // by_application is false for the operator's own edits (typing, choosing).
    virtual void window_changed(const Window&, Change, int /*value*/, bool /*by_application*/) {}
    virtual void window_destroyed(const Window&) {}
    // UpdateWindow: show the window's current state now, even in the middle
    // of synchronous work.
    virtual void update_window(const Window&) {}

    // Blocks until the operator has done something (usually: a message was
    // posted). A frontend that has no more input ends the program itself.
    virtual void wait_for_input() = 0;

    // A modal message box; returns the answer of the button pressed (see
    // platform/message_box_style.h for what the flags ask for).
    virtual int message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) = 0;
    // The open-file dialog (see platform/open_file_model.h). true and the
    // chosen controller path, or false when the operator cancels.
    virtual bool open_file(HWND owner, const OpenFileRequest& request, std::u16string* path) = 0;

    // One call of the kernel debug output.
    virtual void debug_output(std::u16string_view) {}
    // Whether the frontend draws on the terminal (then kernel debug output
    // is kept off a standard error that is a terminal, so as not to write
    // over the screen).
    virtual bool draws_on_terminal() const { return false; }
    // The program started the program at controller path `path` (as
    // stored), suspended or running.
    virtual void program_started(std::u16string_view /*path*/) {}
    // From any thread, when the program is asked to end (stop_requested()):
    // a wait for the operator in progress is to return soon (a message box
    // with its Esc answer, the open-file dialog cancelled), so that the
    // platform can end the program. Must be safe to call from another
    // thread; work in progress is not cut short.
    virtual void interrupt() {}
    // The device library is about to restart the controller.
    virtual void rebooting() {}
    // The program is ending on `signal` (stop_requested()).
    virtual void stopping(int /*signal*/) {}
    // The program is about to end with this exit code.
    virtual void program_ending(int /*exit_code*/) {}
};

void set_frontend(Frontend* frontend);
// The installed frontend; when none is installed, a silent one that answers
// every box as Esc would and cancels every open-file dialog.
Frontend& frontend();

// Ending the program from outside (SIGINT, SIGTERM, SIGHUP), as its own end
// does, but without waiting for the operator. request_stop may be called
// from any thread: it records `signal` (the first one counts) and
// interrupts the installed frontend. The main thread ends the program at
// the next point where it waits for the operator (before and after every
// wait for input, message box and open-file dialog), never in the middle of
// device work, by calling the stop handler, which does not return.
void request_stop(int signal);
// The signal of the stop requested; 0 when none was.
int stop_requested();
// The handler that ends the program (empty: none, stops are left pending).
void set_stop_handler(std::function<void(int signal)> handler);
// On the main thread: when a stop was requested and a handler is set, runs it.
void stop_if_requested();

}  // namespace orva::platform
