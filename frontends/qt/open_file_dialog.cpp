// The open-file dialog: a folder list rooted at fs/, a name field and the
// one file type. Folders open with one tap (a touch display has no hover and
// double taps are awkward); "Up" stops at the root.
#include "frontends/qt/open_file_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>

#include "frontends/qt/windows.h"

namespace orva::qt {
namespace fs = std::filesystem;

std::optional<QString> controller_path(const fs::path& root, const fs::path& host) {
    std::error_code ec;
    fs::path base = fs::weakly_canonical(root, ec);
    if (ec) return std::nullopt;
    fs::path full = fs::weakly_canonical(host, ec);
    if (ec) return std::nullopt;
    fs::path rel = full.lexically_relative(base);
    if (rel.empty() && full != base) return std::nullopt;
    QString out;
    for (const fs::path& part : rel) {
        std::string s = part.string();
        if (s == "..") return std::nullopt;
        if (s == "." || s.empty()) continue;
        out += QLatin1Char('\\') + QString::fromStdString(s);
    }
    return out.isEmpty() ? QStringLiteral("\\") : out;
}

OpenFileDialog::OpenFileDialog(const fs::path& root, const QString& filter_name, const QString& pattern,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | kCaptionHints), m_root(root) {
    setWindowTitle(QStringLiteral("Open"));
    setObjectName(QStringLiteral("orva-open-file"));
    setWindowModality(Qt::ApplicationModal);

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    // Windows' "*.*" matches every name, with or without a dot.
    QStringList patterns;
    for (const QString& p : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        patterns << (p == QLatin1String("*.*") ? QStringLiteral("*") : p);
    m_model->setNameFilters(patterns.isEmpty() ? QStringList{QStringLiteral("*")} : patterns);
    m_model->setNameFilterDisables(false);
    m_model->setRootPath(QString::fromStdString(root.string()));

    m_where = new QLabel(this);
    m_up = new QPushButton(QStringLiteral("Up"), this);
    m_list = new QListView(this);
    m_list->setModel(m_model);
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

    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) { activate(index); });
    connect(m_list, &QListView::activated, this, [this](const QModelIndex& index) {
        activate(index);
        if (!m_model->isDir(index)) accept_choice();
    });
    connect(m_up, &QPushButton::clicked, this, [this] { go_up(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { accept_choice(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    show_dir(QString::fromStdString(root.string()));
    m_name->setFocus();
}

QString OpenFileDialog::folder() const {
    return controller_path(m_root, m_current.toStdString()).value_or(QStringLiteral("\\"));
}

bool OpenFileDialog::open_folder(const QString& controller_folder) {
    fs::path host = m_root;
    for (const QString& part : controller_folder.split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts))
        host /= part.toStdString();
    std::error_code ec;
    if (!controller_path(m_root, host) || !fs::is_directory(host, ec)) return false;
    show_dir(QString::fromStdString(fs::weakly_canonical(host, ec).string()));
    return true;
}

void OpenFileDialog::show_dir(const QString& host_dir) {
    m_current = host_dir;
    m_list->setRootIndex(m_model->index(host_dir));
    m_where->setText(QStringLiteral("Look in: ") + folder());
    m_up->setEnabled(folder() != QLatin1String("\\"));
    m_error->clear();
}

void OpenFileDialog::activate(const QModelIndex& index) {
    if (!index.isValid()) return;
    if (m_model->isDir(index)) {
        QString path = m_model->filePath(index);
        if (controller_path(m_root, path.toStdString())) show_dir(path);
        m_name->clear();
    } else {
        m_name->setText(m_model->fileName(index));
    }
}

void OpenFileDialog::go_up() {
    fs::path parent = fs::path(m_current.toStdString()).parent_path();
    if (controller_path(m_root, parent)) show_dir(QString::fromStdString(parent.string()));
}

// A typed name may be a bare name, a path below the folder shown, or a
// controller path starting with "\"; it must name an existing file inside
// the controller's file system.
void OpenFileDialog::accept_choice() {
    QString typed = m_name->text().trimmed();
    if (typed.isEmpty()) {
        m_error->setText(QStringLiteral("Choose a file."));
        return;
    }
    fs::path host = typed.startsWith(QLatin1Char('\\')) || typed.startsWith(QLatin1Char('/'))
                        ? m_root
                        : fs::path(m_current.toStdString());
    for (const QString& part : typed.split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts))
        host /= part.toStdString();
    auto path = controller_path(m_root, host);
    std::error_code ec;
    if (!path) {
        m_error->setText(QStringLiteral("Only files of the controller can be opened."));
        return;
    }
    if (fs::is_directory(host, ec)) {
        show_dir(QString::fromStdString(fs::weakly_canonical(host, ec).string()));
        m_name->clear();
        return;
    }
    if (!fs::is_regular_file(host, ec)) {
        m_error->setText(typed + QStringLiteral(": no such file."));
        return;
    }
    m_chosen = *path;
    accept();
}

}  // namespace orva::qt
