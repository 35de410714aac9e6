// The open-file dialog over the controller's file system (fs/ of the
// controller): it never shows or returns anything outside it.
#pragma once

#include <QDialog>
#include <QDir>
#include <filesystem>
#include <optional>

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QListView;
class QLabel;
class QPushButton;

namespace orva::qt {

// The controller path ("\Windows\app.exe") of a host path inside `root`, or
// nullopt when the host path (after resolving "..", "." and symbolic links)
// is not inside it.
std::optional<QString> controller_path(const std::filesystem::path& root, const std::filesystem::path& host);

class OpenFileDialog : public QDialog {
public:
    // `filter_name` is shown as the only file type ("All Documents (*.*)");
    // `pattern` is its Windows pattern ("*.*" matches every name).
    OpenFileDialog(const std::filesystem::path& root, const QString& filter_name, const QString& pattern,
                   QWidget* parent);

    // The chosen file as a controller path; valid after exec() returned Accepted.
    QString chosen() const { return m_chosen; }
    // The folder shown, as a controller path ("\" for the root).
    QString folder() const;
    // Shows a folder given as a controller path; false (nothing changes) when
    // it is not a folder inside the root.
    bool open_folder(const QString& controller_folder);

private:
    void show_dir(const QString& host_dir);
    void activate(const QModelIndex& index);
    void go_up();
    void accept_choice();

    std::filesystem::path m_root;
    QString m_current;  // host path of the folder shown
    QString m_chosen;
    QFileSystemModel* m_model = nullptr;
    QListView* m_list = nullptr;
    QLabel* m_where = nullptr;
    QLineEdit* m_name = nullptr;
    QPushButton* m_up = nullptr;
    QLabel* m_error = nullptr;
};

}  // namespace orva::qt
