// Takes the Qt frontend's screenshots: every page of the sheet and the boxes
// of an image write, on a real X display (run under Xvfb, see
// tests/qt/screenshots.sh). Not a test: it writes PNG files.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "frontends/qt/qt_frontend.h"
#include "frontends/qt/windows.h"
#include "platform/module.h"
#include "resources/resource.h"
#include "simulator/sim_controller.h"

using namespace orva;
namespace fs = std::filesystem;

namespace {

// `import` from ImageMagick, cropped to the window and a margin around it.
void shoot(QWidget* window, const QString& file, QWidget* under = nullptr) {
    QCoreApplication::processEvents();
    QTest::qWait(150);
    QRect r = window->frameGeometry();
    if (under && under->isVisible()) r = r.united(under->frameGeometry());
    r.adjust(-8, -8, 8, 8);
    QProcess::execute(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
                       QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()),
                       QStringLiteral("+repage"), file});
    std::printf("%s\n", qPrintable(file));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qt_screenshots CONTROLLER-DIR OUT-DIR\n");
        return 2;
    }
    fs::path dir = argv[1];
    QString out = QString::fromLocal8Bit(argv[2]);
    std::string error;
    if (!fs::exists(dir) && !sim::init_controller(dir, 262144, false, &error)) return 1;
    {
        std::string image(655360, '\x5A');
        std::ofstream(dir / "fs" / "Storage Card" / "nk.bin", std::ios::binary) << image;
    }
    auto controller = sim::SimController::open_dir(dir, &error);
    if (!controller) return 1;
    sim::set_current(controller.get());
    sim::set_reboot_handler([] { std::_Exit(3); });
    platform::set_resource_section(&g_resourceSection);
    QApplication app(argc, argv);
    qt::QtFrontend frontend;
    platform::set_frontend(&frontend);

    // One action a tick, so that the program handles each (a tab click
    // creates its page) before the next; a box is shot and answered as soon
    // as it is up.
    int step = 0, boxes = 0, wait = 0;
    QTimer driver;
    driver.setInterval(50);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            driver.stop();
            shoot(box, out + QStringLiteral("/qt-box-%1.png").arg(++boxes), frontend.sheet());
            auto b = box->button(QMessageBox::Yes) ? QMessageBox::No : QMessageBox::Ok;
            box->button(b)->click();
            driver.start();
            wait = 10;
            return;
        }
        if (auto* open = QApplication::activeModalWidget();
            open && open->objectName() == QLatin1String("orva-open-file")) {
            driver.stop();
            shoot(open, out + QStringLiteral("/qt-open-file.png"), frontend.sheet());
            static_cast<QDialog*>(open)->reject();
            driver.start();
            return;
        }
        qt::SheetWidget* sheet = frontend.sheet();
        if (!sheet || !sheet->isVisible() || wait-- > 0) return;
        QWidget* update = sheet->findChild<QWidget*>(QStringLiteral("page-%1").arg(IDD_UPDATE));
        auto tab = [&](int index) {
            sheet->tabs()->setCurrentIndex(index);
            wait = 6;  // the page's own work (the slot query) runs first
        };
        switch (step++) {
            case 0:
                shoot(sheet, out + QStringLiteral("/qt-page-1-save-registry.png"));
                break;
            case 1:
                tab(1);
                break;
            case 2:
                shoot(sheet, out + QStringLiteral("/qt-page-2-system-config.png"));
                break;
            case 3:
                tab(2);
                break;
            case 4:
                shoot(sheet, out + QStringLiteral("/qt-page-3-auto-execute.png"));
                break;
            case 5:
                tab(4);
                break;
            case 6:
                shoot(sheet, out + QStringLiteral("/qt-page-5-about.png"));
                break;
            case 7:
                tab(3);
                break;
            case 8:
                if (auto* browse =
                        update ? update->findChild<QPushButton*>(QStringLiteral("control-%1").arg(IDC_IMAGE_BROWSE))
                               : nullptr)
                    browse->click();
                break;
            case 9:
                if (auto* edit = update
                                     ? update->findChild<QLineEdit*>(QStringLiteral("control-%1").arg(IDC_IMAGE_PATH))
                                     : nullptr) {
                    edit->setFocus();
                    QTest::keyClicks(edit, "\\Storage Card\\nk.bin");
                }
                shoot(sheet, out + QStringLiteral("/qt-page-4-version-update.png"));
                break;
            case 10:
                if (auto* write =
                        update ? update->findChild<QPushButton*>(QStringLiteral("control-%1").arg(IDC_WRITE_FLASH))
                               : nullptr)
                    write->click();
                break;
            case 11:
                shoot(sheet, out + QStringLiteral("/qt-page-4-version-update-written.png"));
                break;
            case 12:
                sheet->cancel_button()->click();
                break;
            default:
                break;
        }
    });
    driver.start();
    int code = platform::start_program();
    frontend.program_ending(code);
    platform::set_frontend(nullptr);
    controller->close();
    return code;
}
