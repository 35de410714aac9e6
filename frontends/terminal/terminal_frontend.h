// The terminal frontend: the window model drawn on a character grid with
// ncurses, and the operator's keys (and mouse clicks, where the terminal
// sends them) turned into operator actions.
#pragma once

#include <pthread.h>

#include <map>
#include <string>
#include <vector>

#include "frontends/terminal/edit_line.h"
#include "frontends/terminal/grid_layout.h"
#include "frontends/terminal/screen.h"
#include "platform/frontend.h"

namespace orva::terminal {

class TerminalFrontend : public platform::Frontend {
public:
    TerminalFrontend();
    // false and a message when the terminal cannot be used.
    bool open(std::string* error) { return m_screen.open(error); }

    void window_created(const platform::Window& w) override;
    void window_changed(const platform::Window& w, platform::Change change, int value, bool by_application) override;
    void window_destroyed(const platform::Window& w) override;
    void update_window(const platform::Window& w) override;
    void wait_for_input() override;
    int message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) override;
    bool open_file(HWND owner, const platform::OpenFileRequest& request, std::u16string* path) override;
    // Wakes the main thread's wait for a key (from any thread).
    void interrupt() override;
    void rebooting() override;
    void program_ending(int exit_code) override;
    bool draws_on_terminal() const override { return true; }

private:
    // What a mouse click on a part of the screen does.
    struct Hit {
        enum What { Control, Tab, SheetOk, SheetCancel, DialogOk, DialogClose, Menu } what;
        Box box;
        HWND hwnd = nullptr;  // the control, the sheet or the dialog
        int index = 0;        // tab index, menu command
    };
    // Where a dialog lies on the screen and what of it is hidden.
    struct View {
        Box area;                // the screen cells the dialog is shown in
        int row0 = 0, col0 = 0;  // the screen cell of the dialog's cell (0, 0)
        bool more_up = false, more_down = false, more_left = false, more_right = false;
    };

    // ---- drawing (dialog_view.cpp, sheet_view.cpp)
    void draw();
    void draw_sheet(const platform::Window& sheet);
    void draw_dialog_box(const platform::Window& dialog);
    void draw_main_window(const platform::Window& main);
    // Below 1 when the dialog is wider than the room for it.
    static double col_scale(const platform::Window& dialog, const Box& area);
    View place(const platform::Window& dialog, const Box& area, const std::vector<Placed>& placed);
    void draw_controls(const platform::Window& dialog, const View& view, const std::vector<Placed>& placed);
    void draw_control(const platform::Window& w, const Placed& p, const View& view, bool focused);
    void draw_scroll_marks(const View& view);

    // ---- input (terminal_frontend.cpp)
    void handle(const Key& key);
    void handle_sheet(platform::Window& sheet, const Key& key);
    void handle_dialog_box(platform::Window& dialog, const Key& key);
    void handle_main_window(platform::Window& main, const Key& key);
    // The control that has the focus in a dialog (or kSheetOk/kSheetCancel).
    HWND focus_of(const platform::Window& dialog, bool sheet_buttons);
    void set_focus(HWND dialog, HWND control);
    void move_focus(const platform::Window& dialog, bool sheet_buttons, int step);
    bool handle_control_key(const platform::Window& dialog, HWND control, const Key& key, bool sheet_buttons);
    const Hit* hit_at(int row, int col) const;
    void scroll_page(HWND dialog, int rows, int cols);

    // ---- prompts (prompts.cpp)
    void open_list(HWND combo);

    Screen m_screen;
    pthread_t m_main;                              // the thread that reads the keys
    std::map<HWND, HWND> m_focus;                  // dialog -> focused control
    std::map<HWND, EditState> m_edits;             // edit -> caret and scroll
    std::map<HWND, std::pair<int, int>> m_scroll;  // dialog -> rows, columns scrolled
    std::map<HWND, Box> m_on_screen;               // control -> where it was drawn
    std::vector<Hit> m_hits;
    bool m_follow_focus = true;  // the next drawing scrolls the focus into view
    int m_menu_focus = 0;
};

// Pseudo-handles for the sheet's own OK and Cancel buttons in a focus ring.
inline const HWND kSheetOk = reinterpret_cast<HWND>(uintptr_t(1));
inline const HWND kSheetCancel = reinterpret_cast<HWND>(uintptr_t(2));

}  // namespace orva::terminal
