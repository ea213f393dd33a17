// The findings of the last run on Windows, in a window of its own beside the
// main one: three filter lists and a search box on top, the rows in a
// virtual list (it asks for the texts of the rows it paints, so a million
// findings open, sort and filter as fast as a hundred), and below them the
// record behind the selected row, read again from its table. The rows, the
// lists' counts, the CSV and the record come from app/ocorrencias.h; this
// class only turns them into controls.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/janela.h"
#include "app/ocorrencias.h"
#include "win32/desktop.h"

namespace tolk {

class TfrmOcorrencias {
 public:
  // What the view reads and whom it asks: the store (the main window's, which
  // outlives the view and does not change while it is open), the window it
  // sits beside (disabled while the view's dialogs are open), the desktop of
  // its boxes and dialogs, and the parameters of a run of the boxes as they
  // stand (the regional settings of the counts and the CSV, the files the
  // export refuses).
  TfrmOcorrencias(HINSTANCE instancia, HWND principal, const Ocorrencias& store, Desktop& desktop,
                  std::function<RunParameters()> parametros);
  ~TfrmOcorrencias();
  TfrmOcorrencias(const TfrmOcorrencias&) = delete;
  TfrmOcorrencias& operator=(const TfrmOcorrencias&) = delete;

  // The window; null once it has been closed.
  HWND frmOcorrencias() const { return hwnd_; }

  // The controls, in the order Tab walks them.
  HWND lblTabela = nullptr;
  HWND cbTabela = nullptr;
  HWND lblCampo = nullptr;
  HWND cbCampo = nullptr;
  HWND lblRegra = nullptr;
  HWND cbRegra = nullptr;
  HWND lblProcura = nullptr;
  HWND edProcura = nullptr;
  HWND lblContagem = nullptr;
  HWND btnExporta = nullptr;
  HWND lvOcorrencias = nullptr;
  HWND lblRegistro = nullptr;
  HWND lvRegistro = nullptr;
  HWND Dicas = nullptr;

  // Shows the rows that pass `filtro`, the lists showing it, and the search
  // box its text.
  void Filtra(const FiltroOcorrencias& filtro);
  const VisaoOcorrencias& Visao() const { return visao_; }
  // Brings the window to the front, with the focus on the rows.
  void Mostra();

  // The keys of the view: Esc closes it, Ctrl+C on the rows copies the
  // selected ones, Tab and the access keys move between the controls. True
  // when `msg` was handled and must not be dispatched; false for a message
  // of another window.
  bool TrataTecla(MSG& msg);

  // The selected rows as CSV, on the clipboard as text.
  void Copia();
  void btnExportaClick();

 private:
  static LRESULT CALLBACK Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Mensagem(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Notificacao(NMHDR* nm);

  void CriaControles();
  void AplicaDpi();
  void Dispoe();
  int Escala(int pixels) const { return MulDiv(pixels, static_cast<int>(dpi_), 96); }

  // The filter the lists and the search box show.
  FiltroOcorrencias FiltroEscolhido() const;
  // Applies FiltroEscolhido when it differs from the view's.
  void AplicaEscolha();
  // The lists, the count, the rows and the header after the rows changed;
  // the row of the finding shown below stays selected when it still passes.
  void Atualiza();
  void PreencheLista(HWND lista, const char* qualquer, const std::vector<Escolha>& escolhas,
                     const std::optional<std::string>& escolhido, std::vector<std::string>& nomes);
  void OrdenaPor(int coluna);
  // The record of the selected row below the rows.
  void SegueSelecao();
  // The record of finding `indice` below the rows; nothing for none.
  void MostraRegistro(std::optional<std::size_t> indice);
  std::vector<std::size_t> Selecionados() const;

  HINSTANCE instancia_;
  HWND principal_;
  const Ocorrencias& store_;
  Desktop& desktop_;
  std::function<RunParameters()> parametros_;
  VisaoOcorrencias visao_;

  HWND hwnd_ = nullptr;
  UINT dpi_ = 96;
  HFONT fonte_ = nullptr;
  HFONT negrito_ = nullptr;
  HWND foco_ = nullptr;  // the focused control while the window is inactive
  // The names behind each list's choices after the first ("(todas)").
  std::vector<std::string> tabelas_, campos_, regras_;
  // The finding whose record is shown, and the row of its failing field.
  std::optional<std::size_t> mostrado_;
  int campoFalho_ = -1;
  bool selecionando_ = false;  // the rows' selection is being set, not chosen
  std::wstring textoCelula_;   // the text handed to the list for one cell
  std::wstring pastaExportacao_;
};

}  // namespace tolk
