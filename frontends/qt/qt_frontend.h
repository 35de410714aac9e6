// The Qt 6 Widgets frontend: a view of the window model on the display. It
// makes a widget for every window the application creates, keeps it equal
// to the model, and turns the operator's input into platform/operator.h
// calls; message boxes and the open-file dialog are modal Qt dialogs.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <unordered_map>

#include "platform/frontend.h"

class QApplication;

namespace orva::qt {

class SheetWidget;

class QtFrontend : public platform::Frontend {
public:
    // Uses the running QApplication; `app` is one to own (the program's).
    explicit QtFrontend(std::unique_ptr<QApplication> app = nullptr);
    ~QtFrontend() override;

    void window_created(const platform::Window& w) override;
    void window_changed(const platform::Window& w, platform::Change change, int value, bool by_application) override;
    void window_destroyed(const platform::Window& w) override;
    void update_window(const platform::Window& w) override;
    void wait_for_input() override;
    int message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) override;
    bool open_file(HWND owner, const platform::OpenFileRequest& request, std::u16string* path) override;
    // Runs the platform's stop once the main thread is back in a wait for
    // the operator (a posted event; any thread).
    void interrupt() override;
    void rebooting() override;
    void program_ending(int exit_code) override;

    // The widget that shows a window (a control, a page, the sheet, a dialog
    // box's client area, the main window); nullptr when there is none.
    QWidget* widget(HWND hwnd) const;
    // The newest sheet's window, or nullptr.
    SheetWidget* sheet() const;

private:
    QWidget* frame_of(HWND hwnd) const;
    void close_all();

    // ORVA_QT_FIRST_FRAME (bench/qt_startup): once the sheet is on screen,
    // report the times and end the program as a quit message would.
    void report_first_frame();

    std::unique_ptr<QApplication> m_app;
    bool m_bench = false;
    long long m_ready_ns = 0, m_sheet_created_ns = 0, m_page_created_ns = 0, m_page_shown_ns = 0;
    std::unordered_map<HWND, QPointer<QWidget>> m_widgets;  // client areas and controls
    std::unordered_map<HWND, QPointer<QWidget>> m_frames;   // top-level windows (sheet, box, main)
    QPointer<SheetWidget> m_sheet;
};

// Whether a display can be opened: the platform plugin Qt will pick
// (QT_QPA_PLATFORM, else Wayland or X11 from the environment) must have a
// server to talk to. false and the reason otherwise.
bool display_available(std::string* reason);

}  // namespace orva::qt
