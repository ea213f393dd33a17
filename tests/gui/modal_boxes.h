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
    QString informative;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    int width;
    QFont font;
  };

  // Every message box is recorded and closed with its OK button, a question
  // with the button `answer`. A file
  // dialog goes to `fileDialog`, which picks a file and accepts or rejects;
  // without it, or when the dialog stays open, it is rejected. Anything else
  // is closed.
  ModalBoxes() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start(5);
  }

  QList<Box> boxes;
  QMessageBox::StandardButton answer = QMessageBox::No;
  std::function<void(QFileDialog*)> fileDialog;
  int fileDialogs = 0;

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes.append({box->windowTitle(), box->text(), box->informativeText(), box->icon(),
                    box->standardButtons(), box->width(), box->font()});
      if (QAbstractButton* ok = box->button(QMessageBox::Ok))
        ok->click();
      else if (QAbstractButton* button = box->button(answer))
        button->click();
      else
        box->reject();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      if (answering_ == dialog) return;
      ++fileDialogs;
      answering_ = dialog;
      // Answered outside this timer's slot: a box the answer opens (a
      // question, a refusal) runs its own loop, in which this timer must fire
      // again, and a timer never fires inside its own slot.
      QTimer::singleShot(0, dialog, [this, dialog] {
        if (fileDialog) fileDialog(dialog);
        if (dialog->isVisible()) dialog->reject();
        answering_ = nullptr;
      });
    } else {
      modal->close();
    }
  }

  QTimer timer_;
  QFileDialog* answering_ = nullptr;
};

}  // namespace tolk::testing
