// tolk-zav: the validation window.
#include <QApplication>

#include "gui/TfrmInicio.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tolk::IniciaAplicacao();
  tolk::TfrmInicio frmInicio;
  frmInicio.show();
  return app.exec();
}
