// Answers the modal windows a test opens, so that none is left waiting: a
// window that runs its own event loop (QDialog::exec) is found by a timer that
// only fires inside that loop.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace tolk::testing {

class ModalBoxes {
 public:
  // What a message box showed.
  struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
  };

  // Every message box is recorded and closed with its OK button. A file
  // dialog goes to `fileDialog`, which picks a file and accepts or rejects;
  // without it, or when the dialog stays open, it is rejected. Anything else
  // is closed.
  ModalBoxes() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start(5);
  }

  QList<Box> boxes;
  std::function<void(QFileDialog*)> fileDialog;
  int fileDialogs = 0;

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
      if (QAbstractButton* ok = box->button(QMessageBox::Ok))
        ok->click();
      else
        box->reject();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      ++fileDialogs;
      if (fileDialog) fileDialog(dialog);
      if (dialog->isVisible()) dialog->reject();
    } else {
      modal->close();
    }
  }

  QTimer timer_;
};

}  // namespace tolk::testing
