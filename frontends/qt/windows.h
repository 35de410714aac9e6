// The Qt windows of the model's frames: a dialog's client area (a page or a
// dialog box's contents), the property sheet, a dialog box and the main
// window with its command bar menu.
#pragma once

#include <QMainWindow>
#include <QWidget>
#include <functional>

#include "frontends/qt/dialog_units.h"
#include "platform/window_model.h"

class QLabel;
class QTabBar;
class QPushButton;
class QHBoxLayout;
class QVBoxLayout;
class QSpacerItem;

namespace orva::qt {

// A Windows CE caption: the title and the close box, no minimise or maximise
// box (a window manager would otherwise add them).
inline constexpr Qt::WindowFlags kCaptionHints =
    Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// A dialog's client area, in the template's font; controls are its children.
class DialogWidget : public QWidget {
public:
    // `font_of` is the template whose font it is drawn in (a sheet's page
    // takes the sheet's); its own when nullptr.
    DialogWidget(const DLGTEMPLATE* tmpl, QWidget* parent, const DLGTEMPLATE* font_of = nullptr);
    BaseUnits units() const { return m_units; }
    // The client size the template asks for.
    QSize template_size() const { return m_size; }

private:
    BaseUnits m_units;
    QSize m_size;
};

// What the sheet reports of the operator: a tab chosen, OK, Cancel (also its
// close box, Esc and Alt+F4).
struct SheetInput {
    std::function<void(int)> tab;
    std::function<void()> ok;
    std::function<void()> cancel;
};

// The template whose font a sheet and all its pages are drawn in, as
// property sheets show one font: its first page's; nullptr before it has one.
const DLGTEMPLATE* sheet_font_template(const platform::Window& sheet);

// A property sheet: the tab strip, the page area and OK and Cancel, laid out
// in the dialog units of its font. Ctrl+Tab and Ctrl+PgDn turn to the next
// page, Ctrl+Shift+Tab and Ctrl+PgUp to the previous one.
class SheetWidget : public QWidget {
public:
    SheetWidget(const platform::Window& sheet, SheetInput input);
    // Takes the pages' captions and sizes and the sheet's font from the
    // model (the model fills them in after the sheet's window exists).
    void sync_pages(const platform::Window& sheet);
    // Shows the model's current page on the tab strip.
    void set_current(int index);
    QWidget* page_host() const { return m_host; }
    QTabBar* tabs() const { return m_tabs; }
    QPushButton* ok_button() const { return m_ok; }
    QPushButton* cancel_button() const { return m_cancel; }
    // Places a page's widget in the middle of the page area.
    void place_page(QWidget* page);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Asks for the page `step` pages on from the current one, round the end.
    void turn_page(int step);

    SheetInput m_input;
    QTabBar* m_tabs;
    QWidget* m_host;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QVBoxLayout* m_frame;
    QHBoxLayout* m_buttons;
    QSpacerItem* m_gap;  // between the page area and the buttons
};

// A modal dialog box (the About box from the menu): the dialog's client area,
// and the caption OK button when the template asks for one. Its close box
// and Esc are IDCANCEL.
class DialogBoxWidget : public QWidget {
public:
    DialogBoxWidget(const platform::Window& dialog, QWidget* owner, std::function<void(int)> close);
    DialogWidget* client() const { return m_client; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<void(int)> m_close;
    DialogWidget* m_client;
};

// The main window: its painted text in the middle and the command bar's
// menu. Closing it is the accelerator command of Alt+F4.
class MainWindowWidget : public QMainWindow {
public:
    MainWindowWidget(const platform::Window& window, std::function<void(int)> command);
    void set_painted(const QString& text);
    // The command bar's menu; built when the window first shows (the sheet
    // runs before it does, and need not wait for a hidden menu bar).
    void set_menu(int menu_id);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build_menu();
    std::function<void(int)> m_command;
    QLabel* m_text;
    int m_menu_id = 0;
    bool m_menu_built = false;
};

// The sheet, buttons and statics share one look, made for a small touch
// display: plain frames, no hover effects.
QString style_sheet();

}  // namespace orva::qt
