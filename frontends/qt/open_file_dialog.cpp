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
#include <algorithm>

#include "frontends/qt/windows.h"
#include "platform/controller_files.h"

namespace orva::qt {
namespace {

QString qs(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

constexpr int kFolderRole = Qt::UserRole;

}  // namespace

OpenFileDialog::OpenFileDialog(const QString& filter_name, const QString& pattern, QWidget* parent)
    : QDialog(parent, Qt::Dialog | kCaptionHints), m_pattern(pattern) {
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
    type->addItem(filter_name.isEmpty() ? QStringLiteral("All Documents (*.*)") : filter_name);
    m_error = new QLabel(this);
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
    connect(m_up, &QPushButton::clicked, this, [this] { go_up(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { accept_choice(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (!open_folder(QStringLiteral("\\"))) {
        m_folder = QStringLiteral("\\");
        m_where->setText(QStringLiteral("Look in: \\"));
        m_up->setEnabled(false);
        m_error->setText(QStringLiteral("The controller's files cannot be listed."));
    }
    m_name->setFocus();
}

bool OpenFileDialog::open_folder(const QString& controller_folder) {
    const platform::FolderListing listing = platform::list_controller_folder(
        controller_folder.toStdU16String(), m_pattern.toStdU16String(), platform::ListFor::Dialog);
    if (listing.path.empty()) return false;
    std::vector<const platform::FolderEntry*> entries;
    for (const platform::FolderEntry& e : listing.entries) entries.push_back(&e);
    // Folders first, each group by name regardless of case.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const platform::FolderEntry* a, const platform::FolderEntry* b) {
                         if (a->folder != b->folder) return a->folder;
                         return qs(a->name).compare(qs(b->name), Qt::CaseInsensitive) < 0;
                     });
    m_list->clear();
    for (const platform::FolderEntry* e : entries) {
        auto* item = new QListWidgetItem(qs(e->name), m_list);
        item->setData(kFolderRole, e->folder);
    }
    m_folder = qs(listing.path);
    m_where->setText(QStringLiteral("Look in: ") + m_folder);
    m_up->setEnabled(m_folder != QLatin1String("\\"));
    m_error->clear();
    return true;
}

void OpenFileDialog::activate(QListWidgetItem* item) {
    if (!item) return;
    if (item->data(kFolderRole).toBool()) {
        QString path = m_folder == QLatin1String("\\") ? m_folder + item->text() : m_folder + u'\\' + item->text();
        // After the list's own handling of the click: the listing replaces its items.
        QMetaObject::invokeMethod(
            this,
            [this, path] {
                if (!open_folder(path)) m_error->setText(path + QStringLiteral(": this folder cannot be opened."));
            },
            Qt::QueuedConnection);
        m_name->clear();
    } else {
        m_name->setText(item->text());
    }
}

void OpenFileDialog::go_up() {
    qsizetype cut = m_folder.lastIndexOf(u'\\');
    if (m_folder != QLatin1String("\\")) open_folder(cut > 0 ? m_folder.left(cut) : QStringLiteral("\\"));
}

// A typed name may be a bare name, a path below the folder shown, or a
// controller path starting with "\"; it must name an existing file of the
// controller. A folder is opened instead.
void OpenFileDialog::accept_choice() {
    QString typed = m_name->text().trimmed();
    if (typed.isEmpty()) {
        m_error->setText(QStringLiteral("Choose a file."));
        return;
    }
    QString path = typed.startsWith(u'\\') || typed.startsWith(u'/') ? typed : m_folder + u'\\' + typed;
    const platform::ControllerFile file = platform::resolve_controller_path(path.toStdU16String());
    if (file.status == platform::ControllerFile::Status::Outside) {
        m_error->setText(QStringLiteral("Only files of the controller can be opened."));
        return;
    }
    if (file.status != platform::ControllerFile::Status::Found) {
        m_error->setText(typed + QStringLiteral(": no such file."));
        return;
    }
    if (file.folder) {
        open_folder(qs(file.path));
        m_name->clear();
        return;
    }
    m_chosen = qs(file.path);
    accept();
}

}  // namespace orva::qt
