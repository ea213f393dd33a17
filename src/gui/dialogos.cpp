#include "gui/dialogos.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

namespace tolk {

namespace {

constexpr QMessageBox::Icon kIcones[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                         QMessageBox::Critical, QMessageBox::Question};

}  // namespace

void MostraAviso(QWidget* parent, const Aviso& aviso) {
  QMessageBox box(kIcones[aviso.icone], QApplication::applicationDisplayName(),
                  QString::fromStdString(aviso.texto), QMessageBox::Ok, parent);
  box.setInformativeText(QString::fromStdString(aviso.detalhe));
  box.exec();
}

DialogoExportacao::DialogoExportacao(QWidget* parent, const QString& titulo,
                                     const QString& extensao,
                                     std::function<bool(const QString&)> aceita)
    : QFileDialog(parent, titulo, QDir::homePath()), aceita_(std::move(aceita)) {
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  setDefaultSuffix(extensao);
  selectFile(QStringLiteral("*.") + extensao);
}

void DialogoExportacao::accept() {
  const QStringList files = selectedFiles();
  if (!files.isEmpty() && !aceita_(files.first())) return;
  QFileDialog::accept();
}

}  // namespace tolk
