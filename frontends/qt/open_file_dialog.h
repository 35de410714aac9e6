// The open-file dialog over the controller's file system (fs/ of the
// controller), listed through the platform's controller file service: it
// never shows or returns anything outside fs/.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace orva::qt {

class OpenFileDialog : public QDialog {
public:
    // `filter_name` is shown as the only file type ("All Documents (*.*)");
    // `pattern` is its Windows pattern ("*.*" matches every name). The
    // dialog opens on the root of fs/.
    OpenFileDialog(const QString& filter_name, const QString& pattern, QWidget* parent);

    // The chosen file as a controller path, each name as stored; valid after
    // exec() returned Accepted.
    QString chosen() const { return m_chosen; }
    // The folder shown, as a controller path ("\" for the root).
    QString folder() const { return m_folder; }
    // Shows a folder given as a controller path; false (nothing changes) when
    // it is not a folder of the controller.
    bool open_folder(const QString& controller_folder);

private:
    void activate(QListWidgetItem* item);
    void go_up();
    void accept_choice();

    QString m_pattern;
    QString m_folder;  // controller path of the folder shown
    QString m_chosen;
    QListWidget* m_list = nullptr;
    QLabel* m_where = nullptr;
    QLineEdit* m_name = nullptr;
    QPushButton* m_up = nullptr;
    QLabel* m_error = nullptr;
};

}  // namespace orva::qt
