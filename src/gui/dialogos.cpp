#include "gui/dialogos.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace tolk {

namespace {

constexpr QMessageBox::Icon kIcones[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                         QMessageBox::Critical, QMessageBox::Question};

}  // namespace

void MostraAviso(QWidget* parent, const Aviso& aviso) {
  const QString titulo = QApplication::applicationDisplayName();
  QMessageBox box(kIcones[aviso.icone], titulo, QString::fromStdString(aviso.texto),
                  QMessageBox::Ok, parent);
  box.setInformativeText(QString::fromStdString(aviso.detalhe));
  // A box is as wide as its text, and a short text ("Crítica finalizada.")
  // leaves the title bar too narrow for the caption, which the window
  // manager then cuts short. A row of nothing as wide as the caption in a
  // bold face, with room for the bar's icon and buttons, keeps it whole.
  if (auto* grade = qobject_cast<QGridLayout*>(box.layout())) {
    QFont negrito = box.font();
    negrito.setBold(true);
    const QFontMetrics medidas(negrito);
    const int largura = medidas.horizontalAdvance(titulo) + 6 * medidas.height();
    grade->addItem(new QSpacerItem(largura, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                   grade->rowCount(), 0, 1, grade->columnCount());
  }
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
