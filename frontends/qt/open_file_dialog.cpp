// The open-file dialog: a folder list of fs/, a name field and the one file
// type. Folders open with one tap (a touch display has no hover and double
// taps are awkward); "Up" stops at the root.
#include "frontends/qt/open_file_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "frontends/qt/windows.h"

namespace orva::qt {
namespace {

QString qs(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

constexpr int kFolderRole = Qt::UserRole;

}  // namespace

OpenFileDialog::OpenFileDialog(const platform::OpenFileRequest& request, QWidget* parent)
    : QDialog(parent, Qt::Dialog | kCaptionHints), m_model(request) {
    setWindowTitle(QStringLiteral("Open"));
    setObjectName(QStringLiteral("orva-open-file"));
    setWindowModality(Qt::ApplicationModal);

    m_where = new QLabel(this);
    m_up = new QPushButton(QStringLiteral("Up"), this);
    m_up->setObjectName(QStringLiteral("up"));
    m_list = new QListWidget(this);
    m_list->setUniformItemSizes(true);
    m_list->setMinimumSize(320, 180);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("file-name"));
    auto* type = new QComboBox(this);
    type->addItem(qs(m_model.filter_name()));
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("message"));
    m_error->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_where, 0, 0, 1, 2);
    grid->addWidget(m_up, 0, 2);
    grid->addWidget(m_list, 1, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Name:"), this), 2, 0);
    grid->addWidget(m_name, 2, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Type:"), this), 3, 0);
    grid->addWidget(type, 3, 1, 1, 2);
    grid->addWidget(m_error, 4, 0, 1, 3);
    grid->addWidget(buttons, 5, 0, 1, 3);

    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { activate(item); });
    connect(m_list, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        bool file = !item->data(kFolderRole).toBool();
        activate(item);
        if (file) accept_choice();
    });
    connect(m_up, &QPushButton::clicked, this, [this] {
        m_model.up();
        show_model(true);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { accept_choice(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    show_model(true);
    m_name->setFocus();
}

QString OpenFileDialog::chosen() const { return qs(m_model.chosen()); }

QString OpenFileDialog::folder() const {
    return m_model.folder().empty() ? QStringLiteral("\\") : qs(m_model.folder());
}

void OpenFileDialog::show_model(bool list_too) {
    if (list_too) {
        m_list->clear();
        for (const platform::OpenFileModel::Entry& e : m_model.entries()) {
            auto* item = new QListWidgetItem(qs(e.name), m_list);
            item->setData(kFolderRole, e.folder);
        }
        m_where->setText(QStringLiteral("Look in: ") + folder());
        m_up->setEnabled(!m_model.at_root());
        m_name->setText(qs(m_model.name()));
    }
    m_error->setText(QString::fromStdString(m_model.message()));
}

void OpenFileDialog::activate(QListWidgetItem* item) {
    if (!item) return;
    if (item->data(kFolderRole).toBool()) {
        const std::u16string path = m_model.path_of(item->text().toStdU16String());
        // After the list's own handling of the click: the listing replaces its items.
        QMetaObject::invokeMethod(
            this, [this, path] { show_model(m_model.open_folder(path)); }, Qt::QueuedConnection);
        m_name->clear();
    } else {
        m_name->setText(item->text());
    }
}

void OpenFileDialog::accept_choice() {
    switch (m_model.choose(m_name->text().toStdU16String())) {
        case platform::OpenFileModel::Choice::Chosen:
            accept();
            break;
        case platform::OpenFileModel::Choice::Opened:
            show_model(true);
            break;
        case platform::OpenFileModel::Choice::Refused:  // the message says why; the dialog stays open
            show_model(false);
            break;
    }
}

}  // namespace orva::qt
