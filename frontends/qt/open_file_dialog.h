// The open-file dialog over the controller's file system (fs/ of the
// controller): the platform's open-file model drawn with Qt widgets. It never
// shows or returns anything outside fs/.
#pragma once

#include <QDialog>
#include <QString>

#include "platform/open_file_model.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace orva::qt {

class OpenFileDialog : public QDialog {
public:
    // Opens on the folder of the request's initial path, else the root of fs/.
    OpenFileDialog(const platform::OpenFileRequest& request, QWidget* parent);

    // The chosen file as a controller path, each name as stored; valid after
    // exec() returned Accepted.
    QString chosen() const;
    // The folder shown, as a controller path ("\" for the root).
    QString folder() const;

private:
    void activate(QListWidgetItem* item);
    void accept_choice();
    // Draws the model: the folder, its entries, the name and the message.
    void show_model(bool list_too);

    platform::OpenFileModel m_model;
    QListWidget* m_list = nullptr;
    QLabel* m_where = nullptr;
    QLineEdit* m_name = nullptr;
    QPushButton* m_up = nullptr;
    QLabel* m_error = nullptr;
};

}  // namespace orva::qt
