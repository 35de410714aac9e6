// The Qt frontend: model windows to widgets, operator input to messages.
#include "frontends/qt/qt_frontend.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QTabBar>
#include <QWindow>
#include <ctime>

#include "frontends/frontends.h"
#include "frontends/qt/controls.h"
#include "frontends/qt/message_box.h"
#include "frontends/qt/open_file_dialog.h"
#include "frontends/qt/windows.h"
#include "platform/operator.h"
#include "platform/text.h"

namespace orva::qt {

using platform::Change;
using platform::Kind;
using platform::Window;

namespace {

QString qs(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

long long now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

bool can_connect(const std::string& socket_path, bool abstract) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    size_t offset = abstract ? 1 : 0;
    if (socket_path.size() + offset >= sizeof addr.sun_path) {
        ::close(fd);
        return false;
    }
    std::copy(socket_path.begin(), socket_path.end(), addr.sun_path + offset);
    socklen_t len = socklen_t(offsetof(sockaddr_un, sun_path) + offset + socket_path.size() + (abstract ? 0 : 1));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0;
    ::close(fd);
    return ok;
}

// An X display ":N" or "unix:N" (with an optional ".screen") is reached on
// its local socket; a remote "host:N" is left for Qt to try.
bool x_display_reachable(const std::string& display) {
    size_t colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = display.substr(0, colon);
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
    if (!host.empty() && host != "unix" && host != "localhost") return true;
    std::string path = "/tmp/.X11-unix/X" + number;
    return can_connect(path, false) || can_connect(path, true);
}

// Whether the main thread waits for the operator now (in an event loop of
// wait_for_input, a message box or the open-file dialog): only there may a
// stop end the program, never in the middle of device work.
bool g_waiting = false;

class Waiting {
public:
    Waiting() : m_was(g_waiting) { g_waiting = true; }
    ~Waiting() { g_waiting = m_was; }

private:
    bool m_was;
};

}  // namespace

bool display_available(std::string* reason) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::string name = platform ? platform : "";
    if (name == "offscreen" || name == "minimal" || name == "vnc" || name.rfind("offscreen:", 0) == 0) return true;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* x11 = std::getenv("DISPLAY");
    bool want_wayland = name.rfind("wayland", 0) == 0 || (name.empty() && wayland && *wayland);
    if (want_wayland && wayland && *wayland) {
        std::string path = wayland;
        if (path[0] != '/') {
            const char* runtime = std::getenv("XDG_RUNTIME_DIR");
            path = std::string(runtime ? runtime : "") + "/" + path;
        }
        if (can_connect(path, false)) return true;
    }
    if ((name.empty() || name.rfind("xcb", 0) == 0 || want_wayland) && x11 && *x11) {
        if (x_display_reachable(x11)) return true;
        *reason = std::string("cannot open the display ") + x11 + " (no X server answers there)";
        return false;
    }
    *reason = want_wayland ? "cannot reach the Wayland display " + std::string(wayland ? wayland : "")
                           : "no display to open: neither DISPLAY nor WAYLAND_DISPLAY is set";
    return false;
}

QtFrontend::QtFrontend(std::unique_ptr<QApplication> app) : m_app(std::move(app)) {
    QApplication::setQuitOnLastWindowClosed(false);
    m_bench = std::getenv("ORVA_QT_FIRST_FRAME") != nullptr;
    if (m_bench) m_ready_ns = now_ns();
}

QtFrontend::~QtFrontend() { close_all(); }

QWidget* QtFrontend::widget(HWND hwnd) const {
    auto it = m_widgets.find(hwnd);
    return it == m_widgets.end() ? nullptr : it->second.data();
}

QWidget* QtFrontend::frame_of(HWND hwnd) const {
    auto it = m_frames.find(hwnd);
    return it == m_frames.end() ? nullptr : it->second.data();
}

SheetWidget* QtFrontend::sheet() const { return m_sheet.data(); }

void QtFrontend::window_created(const Window& w) {
    HWND h = w.handle;
    switch (w.kind) {
        case Kind::Sheet: {
            SheetInput input;
            input.tab = [h](int index) { platform::select_page(h, index); };
            input.ok = [h] { platform::press_sheet_ok(h); };
            input.cancel = [h] { platform::press_sheet_cancel(h); };
            if (m_bench && !m_sheet_created_ns) m_sheet_created_ns = now_ns();
            auto* sheet = new SheetWidget(w, std::move(input));
            m_frames[h] = sheet;
            m_widgets[h] = sheet;
            sheet->setProperty(kHandleProperty, quintptr(h));
            m_sheet = sheet;
            return;
        }
        case Kind::Dialog: {
            if (auto* sheet = w.parent ? dynamic_cast<SheetWidget*>(frame_of(w.parent)) : nullptr) {
                const DLGTEMPLATE* tmpl = w.as<platform::DialogState>()->tmpl;
                const Window* sheet_window = platform::find_window(w.parent);
                auto* page = new DialogWidget(tmpl, sheet->page_host(),
                                              sheet_window ? sheet_font_template(*sheet_window) : nullptr);
                page->setObjectName(QStringLiteral("page-%1").arg(tmpl ? tmpl->resourceId : 0));
                page->setProperty(kHandleProperty, quintptr(h));
                page->hide();
                if (m_bench && !m_page_created_ns) m_page_created_ns = now_ns();
                sheet->place_page(page);
                m_widgets[h] = page;
                return;
            }
            QWidget* owner = w.owner ? frame_of(w.owner) : nullptr;
            if (owner && !owner->isVisible()) owner = nullptr;
            auto* box = new DialogBoxWidget(w, owner, [h](int id) { platform::close_dialog(h, id); });
            box->client()->setProperty(kHandleProperty, quintptr(h));
            m_frames[h] = box;
            m_widgets[h] = box->client();
            return;
        }
        case Kind::Window: {
            if (w.parent) break;
            auto* main = new MainWindowWidget(w, [h](int command) { platform::menu_command(h, command); });
            m_frames[h] = main;
            m_widgets[h] = main;
            return;
        }
        case Kind::CommandBar:
            return;  // its menu goes on the main window's menu bar
        default:
            break;
    }
    auto* dialog = dynamic_cast<DialogWidget*>(widget(w.parent));
    if (!dialog) return;
    ControlInput input;
    input.pressed = [](HWND button) { platform::press_button(button); };
    input.typed = [](HWND edit, const std::u16string& text) { platform::type_text(edit, text); };
    input.chosen = [](HWND combo, int index) { platform::choose_item(combo, index); };
    m_widgets[h] = make_control(w, dialog, dialog->units(), input);
}

void QtFrontend::window_changed(const Window& w, Change change, int value, bool by_application) {
    if (!by_application && change != Change::Visible) return;  // the widget already shows it
    if (w.kind == Kind::CommandBar) {
        if (auto* main = dynamic_cast<MainWindowWidget*>(frame_of(w.parent))) {
            if (change == Change::Items) main->set_menu(w.as<platform::CommandBarState>()->menu_id);
        }
        return;
    }
    if (w.kind == Kind::Sheet) {
        auto* sheet = dynamic_cast<SheetWidget*>(frame_of(w.handle));
        if (!sheet) return;
        sheet->sync_pages(w);
        if (change == Change::Page) sheet->set_current(value);
        if (change == Change::Text) sheet->setWindowTitle(qs(w.text));
        if (change == Change::Visible) {
            sheet->setVisible(w.visible);
            if (w.visible) {
                sheet->raise();
                sheet->activateWindow();
            }
        }
        return;
    }
    if (QWidget* frame = frame_of(w.handle)) {
        if (change == Change::Visible) {
            frame->setVisible(w.visible);
            if (w.visible) frame->activateWindow();
        } else if (change == Change::Text) {
            frame->setWindowTitle(qs(w.text));
        } else if (change == Change::Painted) {
            if (auto* main = dynamic_cast<MainWindowWidget*>(frame))
                main->set_painted(qs(w.as<platform::PaintState>()->painted));
        }
        return;
    }
    QWidget* widget = this->widget(w.handle);
    if (!widget) return;
    if (w.kind == Kind::Dialog) {
        if (change == Change::Visible) {
            widget->setVisible(w.visible);
            if (m_bench && w.visible && !m_page_shown_ns) m_page_shown_ns = now_ns();
            if (w.visible) {
                // The page's first tab stop takes the focus, as a dialog's does.
                for (QObject* child : widget->children()) {
                    auto* c = qobject_cast<QWidget*>(child);
                    if (c && c->isVisibleTo(widget) && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus)) {
                        c->setFocus(Qt::TabFocusReason);
                        break;
                    }
                }
            }
        }
        return;  // a page keeps its place in the page area
    }
    apply_change(widget, w, change);
}

void QtFrontend::window_destroyed(const Window& w) {
    QPointer<QWidget> frame = frame_of(w.handle);
    QPointer<QWidget> widget = this->widget(w.handle);
    m_frames.erase(w.handle);
    m_widgets.erase(w.handle);
    if (frame) {
        frame->hide();
        delete frame.data();
    } else if (widget) {
        widget->hide();
        delete widget.data();
    }
}

// Paints the window's whole top-level window at once, and lets the window
// system show it, without taking the operator's input.
void QtFrontend::update_window(const Window& w) {
    QWidget* widget = this->widget(w.handle);
    if (!widget) return;
    QWidget* top = widget->window();
    if (!top->isVisible()) return;
    top->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtFrontend::report_first_frame() {
    m_bench = false;
    // The expose painted the sheet; what changed since is painted and the
    // frame reaches the server.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    std::fprintf(stderr,
                 "orva-utility: first-frame at %lld ns; page 1 init %lld ns; Qt ready at %lld ns; sheet made at %lld "
                 "ns\n",
                 now_ns(), m_page_shown_ns - m_page_created_ns, m_ready_ns, m_sheet_created_ns);
    std::fflush(stderr);
    PostQuitMessage(0);
}

void QtFrontend::interrupt() {
    QMetaObject::invokeMethod(
        qApp,
        [] {
            if (g_waiting) platform::stop_if_requested();
        },
        Qt::QueuedConnection);
}

void QtFrontend::wait_for_input() {
    Waiting waiting;
    if (m_bench && m_sheet && m_sheet->isVisible() && m_sheet->windowHandle() && m_sheet->windowHandle()->isExposed()) {
        report_first_frame();
        return;
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    // A tab click the model refused leaves the tab strip on the model's page.
    if (m_sheet) {
        HWND h = reinterpret_cast<HWND>(m_sheet->property(kHandleProperty).value<quintptr>());
        if (const Window* s = platform::find_window(h); s && s->as<platform::SheetState>())
            m_sheet->set_current(s->as<platform::SheetState>()->current);
    }
}

int QtFrontend::message_box(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) {
    Waiting waiting;
    const platform::MessageBoxStyle style = platform::message_box_style(owner, flags);
    QWidget* widget = style.owner ? this->widget(style.owner) : nullptr;
    if (widget && !widget->window()->isVisible()) widget = nullptr;
    return run_message_box(widget, qs(text), qs(caption), style, flags);
}

bool QtFrontend::open_file(HWND owner, const platform::OpenFileRequest& request, std::u16string* path) {
    Waiting waiting;
    QWidget* parent = owner ? this->widget(owner) : nullptr;
    OpenFileDialog dialog(request, parent ? parent->window() : nullptr);
    if (dialog.exec() != QDialog::Accepted) return false;
    *path = dialog.chosen().toStdU16String();
    return true;
}

void QtFrontend::close_all() {
    for (auto& [h, frame] : m_frames)
        if (frame) {
            frame->hide();
            delete frame.data();
        }
    m_frames.clear();
    m_widgets.clear();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtFrontend::rebooting() { close_all(); }

void QtFrontend::program_ending(int) { close_all(); }

}  // namespace orva::qt

namespace orva {

std::unique_ptr<platform::Frontend> make_qt_frontend(int& argc, char** argv, std::string* error) {
    if (QApplication::instance()) return std::make_unique<qt::QtFrontend>();
    if (!qt::display_available(error)) return nullptr;
    // Qt's own warnings go to standard error as the program's lines do.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        const QStringList lines = qFormatLogMessage(type, context, message).split(u'\n');
        for (const QString& line : lines) std::fprintf(stderr, "orva-utility: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    });
    auto app = std::make_unique<QApplication>(argc, argv);
    return std::make_unique<qt::QtFrontend>(std::move(app));
}

}  // namespace orva
