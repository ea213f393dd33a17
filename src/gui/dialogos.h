// What the main window and the findings' view share around their boxes and
// their exports: a message box of the application, and the save dialog that
// checks the chosen name before it closes.
#pragma once

#include <QFileDialog>
#include <QString>
#include <functional>

#include "app/janela.h"

class QWidget;

namespace tolk {

// Shows `aviso` in a box owned by `parent`: the application's title as
// caption, its icon, one OK button. Returns when the box is closed.
void MostraAviso(QWidget* parent, const Aviso& aviso);

// A save dialog whose confirmed name is first handed to `aceita`, while the
// dialog is still open: a refused name (one of the run's files) never
// reaches the question about replacing a file, and the user picks another.
// Starts in the home folder, proposing "*.`extensao`".
class DialogoExportacao : public QFileDialog {
 public:
  DialogoExportacao(QWidget* parent, const QString& titulo, const QString& extensao,
                    std::function<bool(const QString&)> aceita);

  void accept() override;

 private:
  std::function<bool(const QString&)> aceita_;
};

}  // namespace tolk
