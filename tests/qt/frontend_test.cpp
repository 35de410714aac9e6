// The Qt frontend's widgets on their own: message boxes against their flags,
// every dialog template's widget tree against the template, the open-file
// dialog's confinement to the controller's file system, and the display check.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>

#include "frontends/qt/controls.h"
#include "frontends/qt/dialog_units.h"
#include "frontends/qt/message_box.h"
#include "frontends/qt/open_file_dialog.h"
#include "frontends/qt/qt_frontend.h"
#include "platform/handles.h"
#include "platform/module.h"
#include "platform/windowing_internal.h"
#include "resources/dialogs.h"
#include "resources/resource.h"
#include "simulator/sim_controller.h"

using namespace orva;
namespace fs = std::filesystem;

Q_DECLARE_METATYPE(QMessageBox::StandardButtons)
Q_DECLARE_METATYPE(const DLGTEMPLATE*)

class FrontendTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        platform::set_resource_section(&g_resourceSection);
        m_frontend = std::make_unique<qt::QtFrontend>();
        platform::set_frontend(m_frontend.get());
    }
    void cleanupTestCase() {
        platform::set_frontend(nullptr);
        m_frontend.reset();
    }
    void cleanup() {
        const size_t windows_left = platform::live_window_count(), handles_left = platform::open_handle_count();
        // What a failed test left is destroyed; its widgets must go with it.
        for (HWND h : platform::top_level_windows()) DestroyWindow(h);
        platform::reset_windowing();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // No window or handle of a test outlives it.
        for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        QCOMPARE(windows_left, size_t(0));
        QCOMPARE(handles_left, size_t(0));
    }

    void box_data() {
        QTest::addColumn<uint>("flags");
        QTest::addColumn<QMessageBox::StandardButtons>("buttons");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("initial");  // the default button
        QTest::addColumn<int>("press");    // the button pressed; 0: Esc
        QTest::addColumn<int>("answer");
        using B = QMessageBox;
        const int ok = B::Ok, yes = B::Yes;
        QTest::newRow("ok") << uint(MB_OK) << B::StandardButtons(B::Ok) << int(B::NoIcon) << ok << ok << IDOK;
        QTest::newRow("ok, Esc") << uint(MB_OK) << B::StandardButtons(B::Ok) << int(B::NoIcon) << ok << 0 << IDOK;
        QTest::newRow("ok cancel: ok") << uint(MB_OKCANCEL) << (B::Ok | B::Cancel) << int(B::NoIcon) << ok << ok
                                       << IDOK;
        QTest::newRow("ok cancel: cancel")
            << uint(MB_OKCANCEL) << (B::Ok | B::Cancel) << int(B::NoIcon) << ok << int(B::Cancel) << IDCANCEL;
        QTest::newRow("ok cancel: Esc") << uint(MB_OKCANCEL) << (B::Ok | B::Cancel) << int(B::NoIcon) << ok << 0
                                        << IDCANCEL;
        QTest::newRow("yes no: yes") << uint(MB_YESNO) << (B::Yes | B::No) << int(B::NoIcon) << yes << yes << IDYES;
        QTest::newRow("yes no question: no")
            << uint(MB_YESNO | MB_ICONQUESTION) << (B::Yes | B::No) << int(B::Question) << yes << int(B::No) << IDNO;
        QTest::newRow("yes no question: Esc")
            << uint(MB_YESNO | MB_ICONQUESTION) << (B::Yes | B::No) << int(B::Question) << yes << 0 << IDNO;
        QTest::newRow("exclamation") << uint(MB_ICONEXCLAMATION) << B::StandardButtons(B::Ok) << int(B::Warning) << ok
                                     << ok << IDOK;
        QTest::newRow("abort retry ignore, stop: ignore")
            << uint(MB_ABORTRETRYIGNORE | MB_ICONHAND | MB_DEFBUTTON2) << (B::Abort | B::Retry | B::Ignore)
            << int(B::Critical) << int(B::Retry) << int(B::Ignore) << IDIGNORE;
        QTest::newRow("abort retry ignore: Esc") << uint(MB_ABORTRETRYIGNORE) << (B::Abort | B::Retry | B::Ignore)
                                                 << int(B::NoIcon) << int(B::Abort) << 0 << IDABORT;
        QTest::newRow("yes no cancel, information: Esc")
            << uint(MB_YESNOCANCEL | MB_ICONASTERISK | MB_DEFBUTTON3) << (B::Yes | B::No | B::Cancel)
            << int(B::Information) << int(B::Cancel) << 0 << IDCANCEL;
        QTest::newRow("retry cancel: retry") << uint(MB_RETRYCANCEL) << (B::Retry | B::Cancel) << int(B::NoIcon)
                                             << int(B::Retry) << int(B::Retry) << IDRETRY;
    }
    // A box has the buttons, icon and default button of its flags, and
    // answers with the Windows code of the button pressed; Esc and the close
    // box are Cancel, else No, else the first button.
    void box() {
        QFETCH(uint, flags);
        QFETCH(QMessageBox::StandardButtons, buttons);
        QFETCH(int, icon);
        QFETCH(int, initial);
        QFETCH(int, press);
        QFETCH(int, answer);
        QMessageBox::StandardButtons seen;
        int seen_icon = -1, seen_default = -1;
        QString seen_text, seen_title;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen = box->standardButtons();
            seen_icon = box->icon();
            seen_default = box->standardButton(box->defaultButton());
            seen_text = box->text();
            seen_title = box->windowTitle();
            if (press) QTest::mouseClick(box->button(QMessageBox::StandardButton(press)), Qt::LeftButton);
            else QTest::keyClick(box, Qt::Key_Escape);
        });
        int got = MessageBoxW(nullptr, u"Update OS image now ?", u"Update OS image", flags);
        QCOMPARE(seen, buttons);
        QCOMPARE(seen_icon, icon);
        QCOMPARE(seen_default, initial);
        QCOMPARE(seen_text, QStringLiteral("Update OS image now ?"));
        QCOMPARE(seen_title, QStringLiteral("Update OS image"));
        QCOMPARE(got, answer);
    }

    // A box owned by a dialog sits on that dialog's window.
    void box_is_owned_by_its_window() {
        HWND h = platform::create_dialog_from_template(&g_aboutDialog, nullptr, nullptr, nullptr).handle;
        ShowWindow(h, SW_SHOW);
        QWidget* frame = m_frontend->widget(h)->window();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QWidget* parent = nullptr;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            parent = box->parentWidget();
            box->button(QMessageBox::Ok)->click();
        });
        QCOMPARE(MessageBoxW(h, u"RegFlushKey failed", u"Save Registry", MB_ICONEXCLAMATION), IDOK);
        QCOMPARE(parent, frame);
        DestroyWindow(h);  // frees the model's window: only the handle is left
        QVERIFY(!m_frontend->widget(h));
    }

    void tree_data() {
        QTest::addColumn<const DLGTEMPLATE*>("tmpl");
        QTest::newRow("103 About") << &g_aboutDialog;
        QTest::newRow("104 Save Registry") << &g_settingsDialog;
        QTest::newRow("108 System Config") << &g_sysInfoDialog;
        QTest::newRow("109 Auto-execute") << &g_autoRunDialog;
        QTest::newRow("110 Version Update") << &g_updateDialog;
    }
    // Every control of a template has a widget at its place in dialog units,
    // with its text, visibility and tab order; no text is cut and no two
    // controls (other than frames) overlap.
    void tree() {
        QFETCH(const DLGTEMPLATE*, tmpl);
        platform::Window& dialog = platform::create_dialog_from_template(tmpl, nullptr, nullptr, nullptr);
        HWND h = dialog.handle;
        ShowWindow(h, SW_SHOW);
        QWidget* client = m_frontend->widget(h);
        QVERIFY(client);
        QVERIFY(QTest::qWaitForWindowExposed(client->window()));
        qt::BaseUnits units = qt::base_units(qt::dialog_font(tmpl));
        QCOMPARE(client->size(), qt::du_to_pixels(RECT{0, 0, tmpl->cx, tmpl->cy}, units).size());
        QList<QWidget*> tab_stops;
        std::vector<std::pair<const DLGITEM*, QWidget*>> shown;
        platform::Window* model = platform::find_window(h);
        QCOMPARE(model->children.size(), size_t(tmpl->itemCount));
        for (UINT i = 0; i < tmpl->itemCount; ++i) {
            const DLGITEM& item = tmpl->items[i];
            platform::Window* c = platform::find_window(model->children[i]);
            QWidget* w = m_frontend->widget(c->handle);
            QVERIFY(w);
            QCOMPARE(w->parentWidget(), client);
            QRect want = qt::du_to_pixels(RECT{item.x, item.y, item.x + item.cx, item.y + item.cy}, units);
            QRect got = w->geometry();
            QCOMPARE(got.top(), want.top());
            QVERIFY2(got.left() <= want.left() && got.right() >= want.right(), qPrintable(w->objectName()));
            QCOMPARE(w->isVisible(), (item.style & WS_VISIBLE) != 0);
            QString text = item.text ? QString::fromUtf16(item.text) : QString();
            if (auto* label = qobject_cast<QLabel*>(w); label && c->kind == platform::Kind::Static) {
                QCOMPARE(label->text(), text);
                if (!label->wordWrap())
                    QVERIFY2(label->fontMetrics().horizontalAdvance(text) <= label->contentsRect().width(),
                             qPrintable(text + QStringLiteral(" %1 in %2 (%3)")
                                                   .arg(label->fontMetrics().horizontalAdvance(text))
                                                   .arg(label->contentsRect().width())
                                                   .arg(label->font().toString())));
                else QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(text));
            }
            if (auto* button = qobject_cast<QPushButton*>(w)) {
                QCOMPARE(button->text(), text);
                QVERIFY2(button->fontMetrics().horizontalAdvance(text) < button->width(), qPrintable(text));
            }
            if (c->kind == platform::Kind::Bitmap) QVERIFY(!qobject_cast<QLabel*>(w)->pixmap().isNull());
            if (c->kind == platform::Kind::Icon)  // icon 101 is not in the resources
                QVERIFY(qobject_cast<QLabel*>(w)->pixmap().isNull());
            if (item.style & WS_TABSTOP) tab_stops << w;
            if (w->isVisible() && c->kind != platform::Kind::GroupBox && c->kind != platform::Kind::Bitmap)
                shown.emplace_back(&item, w);
        }
        for (size_t a = 0; a < shown.size(); ++a)
            for (size_t b = a + 1; b < shown.size(); ++b)
                QVERIFY2(!shown[a].second->geometry().intersects(shown[b].second->geometry()),
                         qPrintable(shown[a].second->objectName() + " / " + shown[b].second->objectName()));
        // Tab moves through the tab stops in template order.
        if (!tab_stops.isEmpty()) {
            QList<QWidget*> chain;
            QWidget* w = tab_stops.first();
            do {
                if (tab_stops.contains(w) && !chain.contains(w)) chain << w;
                w = w->nextInFocusChain();
            } while (w != tab_stops.first() && chain.size() < tab_stops.size());
            QCOMPARE(chain, tab_stops);
        }
        DestroyWindow(h);
        QVERIFY(!m_frontend->widget(h));
    }

    void fonts_data() {
        // The static texts drawn smaller than the dialog font, in template order.
        QTest::addColumn<const DLGTEMPLATE*>("tmpl");
        QTest::addColumn<QStringList>("liberation");
        QTest::addColumn<QStringList>("dejavu");
        const QString save = QStringLiteral(
            "It will take several seconds to save your settings to registry, and settings "
            "you changed will take effect after system reboot.");
        QTest::newRow("103 About") << &g_aboutDialog << QStringList() << QStringList();
        QTest::newRow("104 Save Registry") << &g_settingsDialog << QStringList() << QStringList{save};
        QTest::newRow("108 System Config") << &g_sysInfoDialog << QStringList() << QStringList();
        QTest::newRow("109 Auto-execute") << &g_autoRunDialog << QStringList() << QStringList();
        QTest::newRow("110 Version Update") << &g_updateDialog << QStringList() << QStringList();
    }
    // The dialog font is the family this machine is meant to have
    // ($ORVA_EXPECT_FONT: Liberation Sans, which the program's package
    // installs, or DejaVu Sans alone under a fontconfig file that shows
    // nothing else). The texts that do not fit their template rectangle and
    // the free room beside it are drawn smaller, and no smaller than 10 pixels.
    void fonts() {
        QFETCH(const DLGTEMPLATE*, tmpl);
        QFETCH(QStringList, liberation);
        QFETCH(QStringList, dejavu);
        const QByteArray expected = qgetenv("ORVA_EXPECT_FONT");
        if (expected.isEmpty()) QSKIP("ORVA_EXPECT_FONT names the family the test expects");
        const QFont font = qt::dialog_font(tmpl);
        QCOMPARE(QFontInfo(font).family(), QString::fromUtf8(expected));
        HWND h = platform::create_dialog_from_template(tmpl, nullptr, nullptr, nullptr).handle;
        QStringList smaller;
        for (HWND child : platform::find_window(h)->children) {
            auto* label = qobject_cast<QLabel*>(m_frontend->widget(child));
            if (!label || platform::find_window(child)->kind != platform::Kind::Static) continue;
            QVERIFY2(label->font().pixelSize() >= 10, qPrintable(label->text()));
            if (label->font().pixelSize() < font.pixelSize()) smaller << label->text();
        }
        const QStringList& want = expected == "DejaVu Sans" ? dejavu : liberation;
        QCOMPARE(smaller.join(QStringLiteral(" / ")), want.join(QStringLiteral(" / ")));
        DestroyWindow(h);
    }

    // A text the application sets is fitted again: a long one in a wrapped
    // static is drawn smaller, a short one back in the dialog font.
    void changed_text_is_fitted_again() {
        HWND h = platform::create_dialog_from_template(&g_updateDialog, nullptr, nullptr, nullptr).handle;
        auto* label = qobject_cast<QLabel*>(m_frontend->widget(GetDlgItem(h, IDC_STATUS)));
        QVERIFY(label);
        const int normal = qt::dialog_font(&g_updateDialog).pixelSize();
        SetDlgItemTextW(h, IDC_STATUS, u"Writing segment 12 of 112 ...");
        QCOMPARE(label->font().pixelSize(), normal);
        SetDlgItemTextW(h, IDC_STATUS,
                        u"A status text far too long for its place, which the template gives room for one line only");
        QVERIFY(label->font().pixelSize() < normal);
        QVERIFY(label->font().pixelSize() >= 10);
        SetDlgItemTextW(h, IDC_STATUS, u"Done");
        QCOMPARE(label->font().pixelSize(), normal);
        DestroyWindow(h);
    }

    // The application's changes reach the widgets and are not reported back
    // as the operator's input.
    void application_changes_are_shown_not_echoed() {
        platform::Window& dialog = platform::create_dialog_from_template(&g_settingsDialog, nullptr, nullptr, nullptr);
        HWND h = dialog.handle;
        SendDlgItemMessageW(h, IDC_RESOLUTION, CB_INSERTSTRING, WPARAM(-1), LPARAM(u"640 x 480"));
        SendDlgItemMessageW(h, IDC_RESOLUTION, CB_INSERTSTRING, WPARAM(-1), LPARAM(u"800 x 600"));
        SendDlgItemMessageW(h, IDC_RESOLUTION, CB_SETCURSEL, 1, 0);
        SetDlgItemTextW(h, IDC_FTP_DIR, u"\\Temp");
        SetDlgItemTextW(h, IDC_RESOLUTION_LABEL, u"Resolution : 800 x 600");
        auto* combo = qobject_cast<QComboBox*>(m_frontend->widget(GetDlgItem(h, IDC_RESOLUTION)));
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentText(), QStringLiteral("800 x 600"));
        QCOMPARE(qobject_cast<QLineEdit*>(m_frontend->widget(GetDlgItem(h, IDC_FTP_DIR)))->text(),
                 QStringLiteral("\\Temp"));
        QCOMPARE(qobject_cast<QLabel*>(m_frontend->widget(GetDlgItem(h, IDC_RESOLUTION_LABEL)))->text(),
                 QStringLiteral("Resolution : 800 x 600"));
        // The operator's typing and choosing change the model.
        auto* edit = qobject_cast<QLineEdit*>(m_frontend->widget(GetDlgItem(h, IDC_FTP_DIR)));
        edit->clear();
        QTest::keyClicks(edit, "\\Windows");
        WCHAR buffer[100];
        GetDlgItemTextW(h, IDC_FTP_DIR, buffer, 100);
        QCOMPARE(QString::fromUtf16(buffer), QStringLiteral("\\Windows"));
        combo->activated(0);
        QCOMPARE(SendDlgItemMessageW(h, IDC_RESOLUTION, CB_GETCURSEL, 0, 0), LRESULT(0));
        DestroyWindow(h);
    }

    // Typing a path that leaves fs/ is refused; a file inside is returned as
    // a controller path.
    void open_file_dialog_stays_inside() {
        auto detach = attach_controller();
        qt::OpenFileDialog dialog(request(u"*.*"), nullptr);
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("file-name"));
        QTimer::singleShot(0, [&] {
            QTest::keyClicks(name, "..\\outside.bin");
            QTest::keyClick(name, Qt::Key_Return);
            QVERIFY(dialog.isVisible());  // refused
            name->clear();
            QTest::keyClicks(name, "Storage Card");
            QTest::keyClick(name, Qt::Key_Return);  // opens the folder
            QCOMPARE(dialog.folder(), QStringLiteral("\\Storage Card"));
            QTest::keyClicks(name, "NK.BIN");  // names match in either case, as on the controller
            QTest::keyClick(name, Qt::Key_Return);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.chosen(), QStringLiteral("\\Storage Card\\nk.bin"));
    }

    // Folders open with one tap, a file's tap names it, "Up" goes back and
    // stops at the root; Enter on a file of the list chooses it.
    void open_file_dialog_walks_the_list() {
        auto detach = attach_controller();
        qt::OpenFileDialog dialog(request(u"*.bin"), nullptr);
        auto* list = dialog.findChild<QListWidget*>();
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("file-name"));
        auto* up = dialog.findChild<QPushButton*>(QStringLiteral("up"));
        auto tap = [&](const QString& text) {
            QList<QListWidgetItem*> items = list->findItems(text, Qt::MatchExactly);
            QVERIFY2(items.size() == 1, qPrintable(text));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(items[0]).center());
            QCoreApplication::processEvents();
        };
        QTimer::singleShot(0, [&] {
            auto close = qScopeGuard([&] { dialog.reject(); });  // what a failed check leaves open
            QVERIFY(up && !up->isEnabled());
            tap(QStringLiteral("Storage Card"));
            QCOMPARE(dialog.folder(), QStringLiteral("\\Storage Card"));
            QVERIFY(up->isEnabled());
            tap(QStringLiteral("nk.bin"));
            QCOMPARE(name->text(), QStringLiteral("nk.bin"));
            up->click();
            QCOMPARE(dialog.folder(), QStringLiteral("\\"));
            tap(QStringLiteral("Storage Card"));
            list->setCurrentRow(0);
            QTest::keyClick(list, Qt::Key_Return);
            if (!dialog.isVisible()) close.dismiss();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.chosen(), QStringLiteral("\\Storage Card\\nk.bin"));
    }

    // A path longer than the program's buffer is refused with the reason,
    // and the dialog stays open until the operator cancels.
    void open_file_dialog_refuses_a_path_longer_than_the_program_takes() {
        auto detach = attach_controller();
        const std::string name(199, 'q');  // "\qqq…" is 200 characters: no room for the NUL
        { std::ofstream(m_controller->fs_root() / name) << "x"; }
        qt::OpenFileDialog dialog(request(u"*.*"), nullptr);
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("file-name"));
        auto* message = dialog.findChild<QLabel*>(QStringLiteral("message"));
        QTimer::singleShot(0, [&] {
            auto close = qScopeGuard([&] { dialog.reject(); });
            QTest::keyClicks(edit, QString::fromStdString(name));
            QTest::keyClick(edit, Qt::Key_Return);
            QVERIFY(dialog.isVisible());
            QCOMPARE(message->text(), QStringLiteral("This path is longer than the program takes (199 characters)."));
            QCOMPARE(edit->text(), QString::fromStdString(name));
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(dialog.chosen(), QString());
    }

    void display_check_data() {
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<bool>("available");
        QTest::newRow("offscreen") << QByteArray("offscreen") << QByteArray() << true;
        QTest::newRow("nothing set") << QByteArray() << QByteArray() << false;
        QTest::newRow("X display nobody serves") << QByteArray() << QByteArray(":977") << false;
        QTest::newRow("malformed display") << QByteArray("xcb") << QByteArray("nonsense") << false;
    }
    // Without a display the frontend is refused with a message, never an abort.
    void display_check() {
        QFETCH(QByteArray, platform);
        QFETCH(QByteArray, display);
        QFETCH(bool, available);
        QByteArray saved_platform = qgetenv("QT_QPA_PLATFORM"), saved_display = qgetenv("DISPLAY"),
                   saved_wayland = qgetenv("WAYLAND_DISPLAY");
        auto set = [](const char* name, const QByteArray& value) {
            if (value.isEmpty()) qunsetenv(name);
            else qputenv(name, value);
        };
        set("QT_QPA_PLATFORM", platform);
        set("DISPLAY", display);
        qunsetenv("WAYLAND_DISPLAY");
        std::string reason;
        bool got = qt::display_available(&reason);
        set("QT_QPA_PLATFORM", saved_platform);
        set("DISPLAY", saved_display);
        set("WAYLAND_DISPLAY", saved_wayland);
        QCOMPARE(got, available);
        if (!got) QVERIFY(!reason.empty());
    }

private:
    static platform::OpenFileRequest request(std::u16string pattern, size_t capacity = 200) {
        return platform::OpenFileRequest{u"All Documents (*.*)", std::move(pattern), u"", capacity};
    }
    // A controller in a temporary directory, made current until the guard
    // goes; "Storage Card" holds nk.bin and outside.bin lies next to the
    // controller.
    QScopeGuard<std::function<void()>> attach_controller() {
        m_dir = std::make_unique<QTemporaryDir>();
        const fs::path top = m_dir->path().toStdString();
        std::string error;
        if (sim::init_controller(top / "c", 262144, false, &error))
            m_controller = sim::SimController::open_dir(top / "c", &error);
        if (!m_controller) qFatal("cannot make a controller: %s", error.c_str());
        sim::set_current(m_controller.get());
        fs::create_directories(m_controller->fs_root() / "Storage Card");
        { std::ofstream(m_controller->fs_root() / "Storage Card" / "nk.bin") << "image"; }
        { std::ofstream(top / "outside.bin") << "x"; }
        return qScopeGuard(std::function<void()>([this] {
            sim::set_current(nullptr);
            m_controller->close();
            m_controller.reset();
            m_dir.reset();
        }));
    }

    std::unique_ptr<qt::QtFrontend> m_frontend;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<sim::Controller> m_controller;
};

QTEST_MAIN(FrontendTest)
#include "frontend_test.moc"
