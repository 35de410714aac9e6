// The whole program in this process with the Qt frontend, driven through its
// real widgets as an operator would, compared with the same actions run by
// the script frontend on a second controller.
// Before Qt, whose "emit" macro would hide the frontend's emit().
#include "frontends/script/script_frontend.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>

#include "frontends/qt/dialog_units.h"
#include "frontends/qt/qt_frontend.h"
#include "frontends/qt/windows.h"
#include "platform/module.h"
#include "platform/windowing_internal.h"
#include "resources/dialogs.h"
#include "resources/resource.h"
#include "simulator/sim_controller.h"

using namespace orva;
namespace fs = std::filesystem;

namespace {

struct Box {
    QString caption, text;
    uint flags = 0;
    QString answer;
};

// In one read: the flash image is tens of megabytes, and a byte-wise copy of
// it took seconds under the sanitizers.
std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::error_code ec;
    auto size = fs::file_size(p, ec);
    if (!in || ec) return {};
    std::string data(size, '\0');
    in.read(data.data(), std::streamsize(size));
    data.resize(size_t(in.gcount()));
    return data;
}

// Runs WinMain on the controller in `dir` with `frontend` installed.
int run_program(const fs::path& dir, platform::Frontend& frontend) {
    std::string error;
    auto controller = sim::SimController::open_dir(dir, &error);
    if (!controller) qFatal("cannot open the controller: %s", error.c_str());
    sim::set_current(controller.get());
    sim::set_reboot_handler([] { throw std::runtime_error("the program asked for a reboot"); });
    platform::reset_windowing();
    platform::set_frontend(&frontend);
    int code = platform::start_program();
    frontend.program_ending(code);
    platform::set_frontend(nullptr);
    controller->close();
    sim::set_current(nullptr);
    return code;
}

// Answers a box the way these tests' operator does: OK to go on, No to a
// reboot or save question.
QString answer_box(QMessageBox* box) {
    QMessageBox::StandardButton b = box->button(QMessageBox::Yes) ? QMessageBox::No : QMessageBox::Ok;
    QTest::mouseClick(box->button(b), Qt::LeftButton);
    return b == QMessageBox::No ? QStringLiteral("NO") : QStringLiteral("OK");
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { platform::set_resource_section(&g_resourceSection); }

    void init() {
        QVERIFY(m_dir.isValid());
        for (const char* name : {"qt", "script"}) {
            std::string error;
            QVERIFY2(sim::init_controller(root() / name, 262144, false, &error), error.c_str());
        }
    }

    void cleanup() {
        for (const char* name : {"qt", "script"}) fs::remove_all(root() / name);
    }

    // "Write to Flash now" on the Version Update page: typing the image's
    // path, clicking, answering the boxes. The controller ends as the script
    // frontend leaves it, the boxes are the same, and the progress bar was
    // painted at each step of the work.
    void write_to_flash_changes_the_controller_as_the_script_does() {
        // An image of two and a half segments.
        std::string image(655360, '\0');
        for (size_t i = 0; i < image.size(); ++i) image[i] = char((i * 7 + i / 4096) & 0xFF);
        for (const char* name : {"qt", "script"}) {
            std::ofstream(root() / name / "fs" / "Storage Card" / "nk.bin", std::ios::binary) << image;
            fs::remove(root() / name / "events.log");
        }

        qt::QtFrontend frontend;
        std::vector<Box> boxes;
        std::vector<int> painted;  // progress positions as painted
        int step = 0, idle = 0;
        size_t boxes_at_click = 0;
        QDeadlineTimer give_up;
        QTimer driver;
        driver.setInterval(10);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Box b{box->windowTitle(), box->text(), box->property("orva_flags").toUInt(), {}};
                b.answer = answer_box(box);
                boxes.push_back(b);
                idle = 0;
                return;
            }
            qt::SheetWidget* sheet = frontend.sheet();
            if (!sheet || !sheet->isVisible()) return;
            QWidget* page = sheet->page_host()->findChild<QWidget*>(QStringLiteral("page-%1").arg(IDD_UPDATE));
            if (step == 0) {
                QTabBar* tabs = sheet->tabs();
                QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
                step = 1;
            } else if (step == 1 && page && page->isVisible()) {
                auto* edit = page->findChild<QLineEdit*>(QStringLiteral("control-%1").arg(IDC_IMAGE_PATH));
                auto* bar = page->findChild<QProgressBar*>(QStringLiteral("control-%1").arg(IDC_PROGRESS));
                auto* write = page->findChild<QPushButton*>(QStringLiteral("control-%1").arg(IDC_WRITE_FLASH));
                QVERIFY(edit && bar && write);
                QCOMPARE(sheet->tabs()->currentIndex(), 3);
                bar->installEventFilter(this);
                m_bar = bar;
                m_painted = &painted;
                edit->setFocus();
                edit->selectAll();
                QTest::keyClicks(edit, "\\Storage Card\\nk.bin");
                boxes_at_click = boxes.size();
                give_up.setRemainingTime(60000);
                QTest::mouseClick(write, Qt::LeftButton);
                step = 2;
            } else if (step == 2 && (boxes.size() >= boxes_at_click + 2 ? ++idle > 5 : give_up.hasExpired())) {
                // The confirmation and the write's own answer (the reboot offer
                // or a failure) are in; a moment later nothing more is asked.
                QTest::mouseClick(sheet->cancel_button(), Qt::LeftButton);
                step = 3;
            }
        });
        driver.start();
        int code = -1;
        try {
            code = run_program(root() / "qt", frontend);
        } catch (const std::exception& e) {
            QFAIL(e.what());
        }
        driver.stop();
        m_bar = nullptr;
        QCOMPARE(code, 0);
        QVERIFY(step == 3);
        QVERIFY(!boxes.empty());
        QCOMPARE(boxes.back().caption, QStringLiteral("Save Registry"));  // the exit prompt

        // The same actions through the script frontend.
        std::string script =
            "tab 4\ntype " + std::to_string(IDC_IMAGE_PATH) + " \"\\\\Storage Card\\\\nk.bin\"\nanswer";
        for (const Box& b : boxes)
            if ((b.flags & 0xF) != MB_OK) script += " " + b.answer.toStdString();
        script += "\nclick " + std::to_string(IDC_WRITE_FLASH) + "\ncancel\n";
        std::vector<script::Command> commands;
        std::string error;
        QVERIFY2(script::parse_script(script, &commands, &error), error.c_str());
        char* text = nullptr;
        size_t size = 0;
        std::FILE* out = open_memstream(&text, &size);
        {
            script::ScriptFrontend scripted(std::move(commands), "script", out, false,
                                            [] { throw std::runtime_error("the script failed"); });
            try {
                QCOMPARE(run_program(root() / "script", scripted), 0);
            } catch (const std::exception& e) {
                QFAIL(e.what());
            }
        }
        std::fclose(out);
        QString transcript = QString::fromUtf8(text, qsizetype(size));
        std::free(text);
        QStringList script_boxes;
        for (const QString& line : transcript.split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("box "))) script_boxes << line;
        QCOMPARE(script_boxes.size(), qsizetype(boxes.size()));
        for (size_t i = 0; i < boxes.size(); ++i) {
            const QString& line = script_boxes[qsizetype(i)];
            QString flags = QStringLiteral("0x") + QString::number(boxes[i].flags, 16).toUpper();
            QVERIFY2(line.contains(QLatin1Char('"') + boxes[i].caption + QLatin1Char('"')), qPrintable(line));
            QVERIFY2(line.contains(QLatin1Char(' ') + flags + QStringLiteral(" -> ")), qPrintable(line));
        }

        // Both controllers: the same device calls and the same flash.
        std::string log_qt = read_file(root() / "qt" / "events.log");
        QCOMPARE(QString::fromStdString(log_qt), QString::fromStdString(read_file(root() / "script" / "events.log")));
        // (After the flash files' headers, which carry an identifier of each file's own.)
        QVERIFY(read_file(root() / "qt" / "flash.img").substr(4096) ==
                read_file(root() / "script" / "flash.img").substr(4096));
        QVERIFY2(log_qt.find("FlashWriteString_Img") != std::string::npos, "the Version Update page wrote nothing");
        // The bar was painted while the work ran, more than once per pass.
        QVERIFY2(painted.size() >= 4, qPrintable(QString::number(painted.size())));
    }

    // Ctrl+Tab and Ctrl+PgDn turn to the next page, Ctrl+Shift+Tab and
    // Ctrl+PgUp to the previous one, round the ends, wherever the focus is
    // (page 3 has it in the path field). OK and Cancel are 50 x 14 dialog
    // units of the sheet's font, 4 apart; the About page's version line is
    // in that font too.
    void sheet_keys_turn_pages_in_the_sheets_units() {
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, ctrl_shift = ctrl | Qt::ShiftModifier;
        const std::tuple<Qt::Key, Qt::KeyboardModifiers, int> steps[] = {
            {Qt::Key_Tab, ctrl, 1},    {Qt::Key_PageDown, ctrl, 2}, {Qt::Key_Backtab, ctrl_shift, 1},
            {Qt::Key_PageUp, ctrl, 0}, {Qt::Key_PageUp, ctrl, 4},   {Qt::Key_PageUp, ctrl, 3},
            {Qt::Key_Tab, ctrl, 4},    {Qt::Key_Tab, ctrl, 0},      {Qt::Key_Backtab, ctrl_shift, 4}};
        qt::QtFrontend frontend;
        QList<int> pages, want;
        bool edit_on_3 = false;
        QRect ok, cancel;
        int version_px = 0;
        size_t next = 0;
        QDeadlineTimer give_up(30000);
        QTimer driver;
        driver.setInterval(10);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                answer_box(box);
                return;
            }
            qt::SheetWidget* sheet = frontend.sheet();
            if (!sheet || QApplication::activeWindow() != sheet || next > std::size(steps)) return;
            int current = sheet->tabs()->currentIndex();
            if (next > 0 && pages.size() < qsizetype(next)) {
                if (current != std::get<2>(steps[next - 1]) && !give_up.hasExpired()) return;
                pages << current;
                if (current == 3) edit_on_3 = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            }
            if (next < std::size(steps)) {
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : sheet,
                                std::get<0>(steps[next]), std::get<1>(steps[next]));
            } else {
                ok = sheet->ok_button()->geometry();
                cancel = sheet->cancel_button()->geometry();
                for (auto* label : sheet->page_host()->findChildren<QLabel*>())
                    if (label->isVisible() && label->text() == QStringLiteral("Orva_Utility Version 1.0"))
                        version_px = label->font().pixelSize();
                QTest::mouseClick(sheet->cancel_button(), Qt::LeftButton);
            }
            ++next;
        });
        driver.start();
        int code = run_program(root() / "qt", frontend);
        driver.stop();
        QCOMPARE(code, 0);
        for (const auto& step : steps) want << std::get<2>(step);
        QCOMPARE(pages, want);
        QVERIFY(edit_on_3);
        const QFont font = qt::dialog_font(&g_settingsDialog);
        const qt::BaseUnits units = qt::base_units(font);
        QCOMPARE(ok.size(), qt::du_to_pixels(RECT{0, 0, 50, 14}, units).size());
        QCOMPARE(cancel.size(), ok.size());
        QCOMPARE(cancel.left() - ok.right() - 1, qt::du_to_pixels(RECT{0, 0, 4, 0}, units).width());
        QCOMPARE(version_px, font.pixelSize());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_bar && event->type() == QEvent::Paint && m_painted) {
            int value = static_cast<QProgressBar*>(m_bar.data())->value();
            if (m_painted->empty() || m_painted->back() != value) m_painted->push_back(value);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    fs::path root() const { return fs::path(m_dir.path().toStdString()); }

    QTemporaryDir m_dir;
    QPointer<QWidget> m_bar;
    std::vector<int>* m_painted = nullptr;
};

QTEST_MAIN(ProgramTest)
#include "qt_program_test.moc"
