// The main window: the two path boxes with their pickers, the buttons, the
// progress bar and the log. It shows a run of tolk::Critica through the run's
// window interface, exports the log and opens the help file.
#pragma once

#include <QElapsedTimer>
#include <QLocale>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "app/Critica.h"
#include "app/janela.h"
#include "app/run_window.h"

class QFileDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace tolk {

// Names the application and gives its windows their icon. Call once, after
// the QApplication exists and before the first window is created.
void IniciaAplicacao();

class TfrmInicio : public QWidget, public RunWindow {
  Q_OBJECT

 public:
  explicit TfrmInicio(QWidget* parent = nullptr);
  ~TfrmInicio() override;

  // The controls, owned by the window, in the order of its layout.
  QLabel* Label3;
  QLineEdit* edArqRisco;
  QToolButton* SpeedButton4;
  QLabel* Label4;
  QLineEdit* edArqSinistro;
  QToolButton* SpeedButton3;
  QProgressBar* ProgressBar;
  QPushButton* btnOk;
  QPushButton* btnAjuda;
  QPushButton* btnExporta;
  QPushButton* btnFechar;
  QPlainTextEdit* edLog;
  // The pickers' dialog and the export's. Each keeps the folder and name
  // last chosen in it for its next use.
  QFileDialog* Openfile;
  QFileDialog* SaveDialog1;

  // What a run takes besides the two boxes. By default the executable's
  // folder (ending with "/"), the desktop's regional settings and the
  // computer's clock; tests point them elsewhere.
  QString pastaPrograma;
  QLocale regional = QLocale::system();
  double (*relogio)(void* context) = &SystemClock;
  void* relogioContexto = nullptr;
  // How long a run holds the log and the progress bar unpainted while it
  // reads, in milliseconds. Painting the log every few thousand records
  // took longer than the reading itself.
  int intervaloRepintura = 100;

  // The log as the run wrote it: Windows-1252, one string per line. edLog
  // shows the same lines decoded.
  const std::vector<std::string>& Linhas() const { return linhas_; }

  // The run's window.
  void AddLine(const std::string& line) override;
  void ReplaceLine(int index, const std::string& line) override;
  void ClearLog() override;
  void SetProgress(int position) override;
  void ShowFinalMessage(const std::string& text) override;
  void RecordsRead(const std::string& table, long long count) override;

 protected:
  // Enter starts a run unless the focused control takes the key itself.
  void keyPressEvent(QKeyEvent* event) override;
  // Keeps the anchored controls at their distance from the right and bottom edges.
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SpeedButton4Click();
  void SpeedButton3Click();
  void btnOkClick();
  void btnExportaClick();
  void btnAjudaClick();

  void CriaControles();
  void CriaDialogos();
  // What a run of the boxes as they stand would get.
  RunParameters Parametros() const;
  // Whether the export may write `path`; says why not when it is one of the
  // run's files.
  bool PodeExportar(const QString& path);

  // Names a control after its row of the window's control table, puts it at
  // its place with its caption and hint, and records the edges it follows.
  void Coloca(QWidget* control, const char* name);
  void Escolhe(QLineEdit* box);
  void Mostra(const Aviso& aviso);
  // Paints the progress bar and the log now: a run holds the event loop.
  void Repinta();

  struct Ancora {
    QWidget* control;
    const ControleJanela* linha;
  };
  std::vector<Ancora> ancoras_;
  std::vector<std::string> linhas_;
  QElapsedTimer repintura_;  // since the last paint during a run
  Critica critica_;
};

}  // namespace tolk
