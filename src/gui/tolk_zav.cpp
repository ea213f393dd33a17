// tolk-zav: the validation window.
#include <QApplication>
#include <csignal>

#include "gui/TfrmInicio.h"

int main(int argc, char** argv) {
  // Under a file size limit a write past it fails and the window says so,
  // instead of the process ending.
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication app(argc, argv);
  tolk::IniciaAplicacao();
  tolk::TfrmInicio frmInicio;
  frmInicio.show();
  return app.exec();
}
