// The frames: sheet (tab strip, page area, OK and Cancel), dialog box, main
// window. Geometry of the pages comes from their templates; the sheet is
// sized to its largest page.
#include "frontends/qt/windows.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QVBoxLayout>

#include "frontends/qt/images.h"
#include "platform/module.h"
#include "platform/text.h"

namespace orva::qt {
namespace {

QString qs(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

constexpr int kProgramIcon = 120;

// A property sheet's own layout in its dialog units: OK and Cancel 50 x 14,
// and 4 between them and round the frame, the page area and the buttons.
constexpr short kSheetButtonCx = 50;
constexpr short kSheetButtonCy = 14;
constexpr short kSheetSpacing = 4;

// The accelerator table's command for Alt+F4 (the program's Exit), or 0.
int alt_f4_command() {
    const RESOURCE_SECTION& section = platform::resource_section();
    for (UINT t = 0; t < section.acceleratorCount; ++t)
        for (UINT i = 0; i < section.accelerators[t].count; ++i) {
            const ACCEL& a = section.accelerators[t].entries[i];
            if ((a.fVirt & FALT) && (a.fVirt & FVIRTKEY) && a.key == VK_F4) return a.cmd;
        }
    return 0;
}

}  // namespace

QString style_sheet() {
    return QStringLiteral(
        "QPushButton { border: 1px solid #6f6f6f; border-radius: 3px; padding: 0px 4px;"
        " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fbfbfb, stop:1 #e2e2e2); }"
        "QPushButton[heavy=\"true\"] { border: 2px solid #3c3c3c; }"
        "QPushButton:focus { border-color: #1f5fbf; }"
        "QPushButton:pressed { background: #c8c8c8; }"
        "QPushButton:disabled { color: #9a9a9a; border-color: #b0b0b0; }");
}

DialogWidget::DialogWidget(const DLGTEMPLATE* tmpl, QWidget* parent, const DLGTEMPLATE* font_of) : QWidget(parent) {
    setFont(dialog_font(font_of ? font_of : tmpl));
    m_units = base_units(font());
    m_size = du_to_pixels(RECT{0, 0, tmpl ? tmpl->cx : 0, tmpl ? tmpl->cy : 0}, m_units).size();
    setProperty("orva_base_units", QPoint(m_units.x, m_units.y));
    resize(m_size);
}

SheetWidget::SheetWidget(const platform::Window& sheet, SheetInput input)
    : QWidget(nullptr, Qt::Window | kCaptionHints), m_input(std::move(input)) {
    setWindowTitle(qs(sheet.text));
    setWindowIcon(resource_icon(kProgramIcon));
    setObjectName(QStringLiteral("sheet"));
    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(QStringLiteral("sheet-tabs"));
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_tabs->setFocusPolicy(Qt::TabFocus);
    m_host = new QWidget(this);
    m_host->setObjectName(QStringLiteral("sheet-pages"));
    m_host->setAutoFillBackground(true);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_ok->setObjectName(QStringLiteral("sheet-ok"));
    m_cancel->setObjectName(QStringLiteral("sheet-cancel"));
    for (QPushButton* b : {m_ok, m_cancel}) {
        b->setAutoDefault(true);
        b->setStyleSheet(style_sheet());
    }
    m_buttons = new QHBoxLayout;
    m_buttons->addStretch(1);
    m_buttons->addWidget(m_ok);
    m_buttons->addWidget(m_cancel);
    m_frame = new QVBoxLayout(this);
    m_frame->setSpacing(0);
    m_frame->addWidget(m_tabs);
    m_frame->addWidget(m_host, 1);
    m_gap = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_frame->addSpacerItem(m_gap);
    m_frame->addLayout(m_buttons);

    // The tab strip asks for a page; the model says which page is current.
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && m_input.tab) m_input.tab(index);
    });
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (m_input.ok) m_input.ok();
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_input.cancel) m_input.cancel();
    });
    for (QKeySequence key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::ALT | Qt::Key_F4)}) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (m_input.cancel) m_input.cancel();
        });
    }
    const std::pair<QKeySequence, int> page_keys[] = {{QKeySequence(Qt::CTRL | Qt::Key_Tab), +1},
                                                      {QKeySequence(Qt::CTRL | Qt::Key_PageDown), +1},
                                                      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
                                                      {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}};
    for (const auto& [key, step] : page_keys) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] { turn_page(step); });
    }
}

const DLGTEMPLATE* sheet_font_template(const platform::Window& sheet) {
    const auto* state = sheet.as<platform::SheetState>();
    if (!state) return nullptr;
    for (const auto& page : state->pages)
        if (page.tmpl) return page.tmpl;
    return nullptr;
}

void SheetWidget::turn_page(int step) {
    int count = m_tabs->count();
    if (count == 0 || !m_input.tab) return;
    m_input.tab(((m_tabs->currentIndex() + step) % count + count) % count);
}

void SheetWidget::sync_pages(const platform::Window& sheet) {
    setWindowTitle(qs(sheet.text));
    const auto* state = sheet.as<platform::SheetState>();
    if (!state) return;
    const auto& pages = state->pages;
    QSignalBlocker block(m_tabs);
    // The tab strip, the buttons and every page in the sheet's font; the
    // page area as large as the largest page in its dialog units.
    const QFont font = dialog_font(sheet_font_template(sheet));
    const BaseUnits units = base_units(font);
    m_tabs->setFont(font);
    QSize largest;
    for (size_t i = 0; i < pages.size(); ++i) {
        QString caption = pages[i].tmpl ? qs(platform::wide_view(pages[i].tmpl->caption)) : QString();
        if (int(i) < m_tabs->count()) m_tabs->setTabText(int(i), caption);
        else m_tabs->addTab(caption);
        if (pages[i].tmpl)
            largest = largest.expandedTo(du_to_pixels(RECT{0, 0, pages[i].tmpl->cx, pages[i].tmpl->cy}, units).size());
    }
    m_host->setFixedSize(largest + QSize(4, 4));
    const QSize button = du_to_pixels(RECT{0, 0, kSheetButtonCx, kSheetButtonCy}, units).size();
    const QSize space = du_to_pixels(RECT{0, 0, kSheetSpacing, kSheetSpacing}, units).size();
    for (QPushButton* b : {m_ok, m_cancel}) {
        b->setFont(font);  // a style sheet stops the sheet's font from passing down
        b->setFixedSize(button);
    }
    m_buttons->setSpacing(space.width());
    m_frame->setContentsMargins(space.width(), space.height(), space.width(), space.height());
    m_gap->changeSize(0, space.height(), QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_frame->invalidate();
    for (QObject* child : m_host->children())
        if (auto* page = qobject_cast<QWidget*>(child)) place_page(page);
    adjustSize();
    if (!isVisible()) {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
}

void SheetWidget::set_current(int index) {
    QSignalBlocker block(m_tabs);
    if (index >= 0 && index < m_tabs->count()) m_tabs->setCurrentIndex(index);
}

void SheetWidget::place_page(QWidget* page) {
    QSize room = m_host->size(), size = page->size();
    page->move(std::max(0, (room.width() - size.width()) / 2), std::max(0, (room.height() - size.height()) / 2));
}

void SheetWidget::closeEvent(QCloseEvent* event) {
    // The window goes only when the model destroys the sheet.
    event->ignore();
    if (m_input.cancel) m_input.cancel();
}

DialogBoxWidget::DialogBoxWidget(const platform::Window& dialog, QWidget* owner, std::function<void(int)> close)
    : QWidget(owner, Qt::Dialog | kCaptionHints), m_close(std::move(close)) {
    setWindowTitle(qs(dialog.text));
    setWindowIcon(resource_icon(kProgramIcon));
    setWindowModality(Qt::ApplicationModal);
    setObjectName(QStringLiteral("dialog-box"));
    m_client = new DialogWidget(dialog.as<platform::DialogState>()->tmpl, this);
    m_client->setFixedSize(m_client->template_size());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(m_client);
    if (dialog.ex_style & WS_EX_CAPTIONOKBTN) {
        // Windows CE puts this OK in the caption; here it sits at the bottom.
        auto* ok = new QPushButton(QStringLiteral("OK"), this);
        ok->setObjectName(QStringLiteral("caption-ok"));
        ok->setAutoDefault(true);
        ok->setMinimumSize(76, 26);
        ok->setStyleSheet(style_sheet());
        layout->addWidget(ok, 0, Qt::AlignHCenter);
        connect(ok, &QPushButton::clicked, this, [this] {
            if (m_close) m_close(IDOK);
        });
    }
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, this, [this] {
        if (m_close) m_close(IDCANCEL);
    });
    adjustSize();
    QRect area = owner ? owner->window()->frameGeometry()
                       : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                           : QRect(0, 0, 640, 480));
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void DialogBoxWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (m_close) m_close(IDCANCEL);
}

MainWindowWidget::MainWindowWidget(const platform::Window& window, std::function<void(int)> command)
    : QMainWindow(nullptr), m_command(std::move(command)) {
    setWindowTitle(qs(window.text));
    setWindowIcon(resource_icon(kProgramIcon));
    setObjectName(QStringLiteral("main-window"));
    m_text = new QLabel(this);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setAutoFillBackground(true);
    QPalette white = m_text->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_text->setPalette(white);
    setCentralWidget(m_text);
    resize(window.rect.right - window.rect.left, window.rect.bottom - window.rect.top);
}

void MainWindowWidget::set_painted(const QString& text) { m_text->setText(text); }

void MainWindowWidget::set_menu(int menu_id) {
    m_menu_id = menu_id;
    m_menu_built = false;
    if (isVisible()) build_menu();
}

void MainWindowWidget::showEvent(QShowEvent* event) {
    if (!m_menu_built) build_menu();
    QMainWindow::showEvent(event);
}

void MainWindowWidget::build_menu() {
    m_menu_built = true;
    int menu_id = m_menu_id;
    menuBar()->clear();
    const RESOURCE_SECTION& section = platform::resource_section();
    for (UINT m = 0; m < section.menuCount; ++m) {
        if (section.menus[m].resourceId != menu_id) continue;
        QMenu* popup = nullptr;
        QString popup_title;
        for (UINT i = 0; i < section.menus[m].itemCount; ++i) {
            const MENUITEM_ORVA& item = section.menus[m].items[i];
            QString title = qs(platform::wide_view(item.popup));
            if (!popup || title != popup_title) {
                popup = menuBar()->addMenu(title);
                popup_title = title;
            }
            if (item.command == 0) continue;
            int command = item.command;
            popup->addAction(qs(platform::wide_view(item.text)), this, [this, command] {
                if (m_command) m_command(command);
            });
        }
    }
}

void MainWindowWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (int command = alt_f4_command(); command && m_command) m_command(command);
}

}  // namespace orva::qt
