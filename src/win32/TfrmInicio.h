// The main window on Windows, made of the system's own controls: the two
// path boxes with their pickers, the buttons, the vertical progress bar and
// the log. It shows a run of tolk::Critica through the run's window
// interface, exports the log and opens the help file; what it shows around
// a run comes from app/janela.h, as in the Qt window.
#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Critica.h"
#include "app/janela.h"
#include "app/run_window.h"
#include "win32/TfrmOcorrencias.h"
#include "win32/desktop.h"

namespace tolk {

class TfrmInicio : public RunWindow {
 public:
  // Creates the window, hidden, at its place and size, with every control.
  // `instancia` is the module whose resources hold the icons. The common
  // controls must have been initialised (InitCommonControlsEx).
  explicit TfrmInicio(HINSTANCE instancia = GetModuleHandleW(nullptr));
  ~TfrmInicio() override;
  TfrmInicio(const TfrmInicio&) = delete;
  TfrmInicio& operator=(const TfrmInicio&) = delete;

  // The window itself; null once it has been closed.
  HWND frmInicio() const { return hwnd_; }

  // The controls, children of the window, in the order of its layout.
  HWND Label3 = nullptr;
  HWND edArqRisco = nullptr;
  HWND SpeedButton4 = nullptr;
  HWND Label4 = nullptr;
  HWND edArqSinistro = nullptr;
  HWND SpeedButton3 = nullptr;
  HWND ProgressBar = nullptr;
  HWND btnOk = nullptr;
  HWND btnAjuda = nullptr;
  HWND btnExporta = nullptr;
  HWND btnFechar = nullptr;
  HWND btnOcorrencias = nullptr;
  HWND edLog = nullptr;
  // The hints' window.
  HWND Dicas = nullptr;

  // The control named `nome` in the window's control table.
  HWND Filho(std::string_view nome) const;

  // What a run takes besides the two boxes. By default the executable's
  // folder (UTF-8, ending with the separator), the user's regional settings
  // and the computer's clock; tests point them elsewhere.
  std::string pastaPrograma;
  TFormatSettings regional;
  double (*relogio)(void* context) = &SystemClock;
  void* relogioContexto = nullptr;
  // How long a run holds the log and the progress bar unpainted while it
  // reads, in milliseconds.
  int intervaloRepintura = 100;
  // The boxes, the dialogs and the shell.
  Desktop* desktop = &DesktopDoSistema();
  // Whether closing the window ends the thread's message loop (the program).
  bool encerraAoFechar = false;

  // The log as the run wrote it: Windows-1252, one string per line. edLog
  // shows the same lines decoded.
  const std::vector<std::string>& Linhas() const { return linhas_; }
  // The findings of the last run, every one as the run counted it.
  const Ocorrencias& Achados() const { return ocorrencias_; }
  // The findings' view while it is open; null before it opens and once it
  // has been closed.
  TfrmOcorrencias* frmOcorrencias() const {
    return frmOcorrencias_ && frmOcorrencias_->frmOcorrencias() ? frmOcorrencias_.get() : nullptr;
  }

  // The keys the window takes before its controls, after the findings'
  // view has taken its own: F1 opens the help, Enter
  // presses the focused button or else starts a run (the log keeps Enter to
  // itself), Tab and the access keys move between the controls. True when
  // `msg` was handled and must not be dispatched.
  bool TrataTecla(MSG& msg);

  // The run's window.
  void AddLine(const std::string& line) override;
  void ReplaceLine(int index, const std::string& line) override;
  void ClearLog() override;
  void SetProgress(int position) override;
  void ShowFinalMessage(const std::string& text) override;
  void RecordsRead(const std::string& table, long long count) override;
  bool WantsFindings() const override { return true; }
  void AddFinding(const Finding& finding) override;

 private:
  void SpeedButton4Click();
  void SpeedButton3Click();
  void btnOkClick();
  void btnExportaClick();
  void btnAjudaClick();
  // Opens the findings' view, or brings it to the front; with `filtro`, the
  // rows it lets through. Nothing while a run is going or when the last one
  // counted no finding.
  void AbreOcorrencias(const std::optional<FiltroOcorrencias>& filtro);
  // The log: a double-click on a line that stands for findings (a row of a
  // table's summary, the claims without a ticket, the inconsistent premiums)
  // opens them in the view, after the edit's own selection of the word.
  static LRESULT CALLBACK ProcedimentoLog(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                          DWORD_PTR dados);

  static LRESULT CALLBACK Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Mensagem(UINT msg, WPARAM wp, LPARAM lp);
  void Comando(int id);

  void CriaControles();
  // The fonts and the glyphs at the window's DPI, given to the controls.
  void AplicaDpi();
  // Every control at its place for the current client size and DPI.
  void Dispoe();
  int Escala(int pixels) const { return MulDiv(pixels, dpi_, 96); }
  // The window's outer size for a client area of the design size.
  SIZE TamanhoMinimo() const;

  // What a run of the boxes as they stand would get.
  RunParameters Parametros() const;
  void Escolhe(HWND box);
  bool Avisa(const Aviso& aviso);
  // Paints the progress bar and the log now: a run holds the message loop.
  void Repinta();
  // Keeps the log's last line in view, scrolled to its first column.
  void SegueUltimaLinha();
  // Appends or replaces log text without painting; Repinta paints.
  void EditaLog(int inicio, int fim, const std::wstring& texto);

  HINSTANCE instancia_;
  HWND hwnd_ = nullptr;
  UINT dpi_ = 96;
  HFONT fonteJanela_ = nullptr;
  HFONT fonteLog_ = nullptr;
  std::vector<HICON> glifos_;
  HWND foco_ = nullptr;  // the focused control while the window is inactive
  bool emCritica_ = false;
  int posicao_ = 0;  // the progress bar's
  bool pintou_ = false;
  std::chrono::steady_clock::time_point ultimaPintura_;
  std::wstring pastaExportacao_;
  std::vector<std::string> linhas_;
  Ocorrencias ocorrencias_;
  std::unique_ptr<TfrmOcorrencias> frmOcorrencias_;
  std::optional<FiltroOcorrencias> filtroDoLog_;  // the view opens with it when the click ends
  Critica critica_;
};

// The program's message loop, through TrataTecla, until the thread is told
// to quit; returns the exit code.
int LacoDeMensagens(TfrmInicio& janela);

}  // namespace tolk
