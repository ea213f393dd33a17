// The window after a run over a delivery, for the picture in the README:
// fills the two boxes, presses "&Criticar", closes the final box and writes
// "pronto" on standard output when the window may be photographed. It stays
// open until it is ended, or for a minute at most.
//
// janela_tela RISCOS SINISTROS PASTA_DO_PROGRAMA
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "gui/TfrmInicio.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fputs("uso: janela_tela RISCOS SINISTROS PASTA_DO_PROGRAMA\n", stderr);
    return 2;
  }
  tolk::IniciaAplicacao();
  tolk::TfrmInicio frmInicio;
  frmInicio.edArqRisco->setText(QString::fromLocal8Bit(argv[1]));
  frmInicio.edArqSinistro->setText(QString::fromLocal8Bit(argv[2]));
  frmInicio.pastaPrograma = QString::fromLocal8Bit(argv[3]);
  if (!frmInicio.pastaPrograma.endsWith('/')) frmInicio.pastaPrograma += '/';
  // The picture shows the regional settings of the program's users.
  frmInicio.regional = QLocale(QLocale::Portuguese, QLocale::Brazil);
  frmInicio.show();

  // The final box runs its own event loop, where this timer closes it.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
  });
  closer.start(50);
  QTimer::singleShot(500, [&] {
    frmInicio.btnOk->click();
    frmInicio.edArqRisco->setFocus();
    QTimer::singleShot(500, [] {
      std::puts("pronto");
      std::fflush(stdout);
    });
  });
  QTimer::singleShot(60000, &app, &QApplication::quit);
  return app.exec();
}
