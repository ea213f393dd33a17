// The main window: the two path boxes with their pickers, the buttons, the
// progress bar and the log. It shows a run of tolk::Critica through the run's
// window interface, exports the log, opens the help file, and keeps the
// run's findings for the findings' view (TfrmOcorrencias).
#pragma once

#include <QElapsedTimer>
#include <QLocale>
#include <QString>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "app/Critica.h"
#include "app/janela.h"
#include "app/ocorrencias.h"
#include "app/run_window.h"

class QFileDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace tolk {

class TfrmOcorrencias;

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
  // Enabled after a run that counted a finding: opens the findings' view.
  QPushButton* btnOcorrencias;
  QPlainTextEdit* edLog;
  // The pickers' dialog and the export's. Each keeps the folder and name
  // last chosen in it for its next use.
  QFileDialog* Openfile;
  QFileDialog* SaveDialog1;
  // The findings' view, made when first opened; a window of its own.
  TfrmOcorrencias* frmOcorrencias = nullptr;

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

  // Opens the findings' view, or brings it to the front, showing the rows
  // that pass `filtro` when one is given (else as the view was left).
  void AbreOcorrencias(const std::optional<FiltroOcorrencias>& filtro = std::nullopt);

  // The run's window.
  void AddLine(const std::string& line) override;
  void ReplaceLine(int index, const std::string& line) override;
  void ClearLog() override;
  void SetProgress(int position) override;
  void ShowFinalMessage(const std::string& text) override;
  void RecordsRead(const std::string& table, long long count) override;
  bool WantsFindings() const override { return true; }
  void AddFinding(const Finding& finding) override;

 protected:
  // Enter starts a run unless the focused control takes the key itself.
  void keyPressEvent(QKeyEvent* event) override;
  // Keeps the anchored controls at their distance from the right and bottom edges.
  void resizeEvent(QResizeEvent* event) override;
  // The findings' view closes with the window.
  void closeEvent(QCloseEvent* event) override;
  // A double-click on a line of the log that counts findings (a field of an
  // error summary, the claims without a ticket, the inconsistent premiums)
  // opens the findings' view on those rows.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SpeedButton4Click();
  void SpeedButton3Click();
  void btnOkClick();
  void btnExportaClick();
  void btnAjudaClick();
  void btnOcorrenciasClick();

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
  // After the findings changed: the button, and the view's rows if it is open.
  void AtualizaOcorrencias();

  struct Ancora {
    QWidget* control;
    const ControleJanela* linha;
  };
  std::vector<Ancora> ancoras_;
  std::vector<std::string> linhas_;
  QElapsedTimer repintura_;  // since the last paint during a run
  Critica critica_;
  Ocorrencias ocorrencias_;  // the last run's, in the order counted
};

}  // namespace tolk
