// The findings' view: a window of its own beside the main one, over the
// findings of the last run. The three lists and the search box filter the
// rows; a header click sorts them (ascending, descending, then the order
// found again); the selected row's record, read again from its file, shows
// below. The rows export to CSV as tolk-critica --detalhes writes them, and
// the selected ones copy to the clipboard in the same form.
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <optional>

#include "app/janela.h"
#include "app/ocorrencias.h"
#include "dataset/format_settings.h"

class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;

namespace tolk {

class ModeloOcorrencias;

class TfrmOcorrencias : public QWidget {
  Q_OBJECT

 public:
  // `store` outlives the window. With a parent it is still a window of its
  // own, beside the parent, and goes when the parent does.
  explicit TfrmOcorrencias(const Ocorrencias& store, QWidget* parent = nullptr);
  ~TfrmOcorrencias() override;

  // The filters, in the order of their row.
  QComboBox* cbTabela;
  QComboBox* cbCampo;
  QComboBox* cbRegra;
  QLineEdit* edProcura;
  QTableView* grade;
  // The record pane: its title, the fields (name, value), and the message
  // that replaces them when the record cannot be read.
  QGroupBox* gbRegistro;
  QTableWidget* tbRegistro;
  QLabel* lbIlegivel;
  QLabel* lbContagem;
  QPushButton* btnExporta;
  QFileDialog* SaveDialog;
  ModeloOcorrencias* modelo;

  // The regional settings of the count and of the CSV's separator.
  TFormatSettings regional;
  // Whether the export may write the file `path`; says why not. By default
  // any file may be written.
  std::function<bool(const QString&)> podeGravar;
  // How long the search waits after a key before it filters a store larger
  // than kProcuraImediata, in milliseconds: a pass over a million findings
  // at every key would hold the typing.
  int atrasoProcura = 200;
  static constexpr std::size_t kProcuraImediata = 100000;

  // The rows again after the store changed (a run started or ended), with
  // the filter and the order kept.
  void Recarrega();
  // Shows the rows that pass `filtro`, the lists and the search box showing it.
  void Filtra(const FiltroOcorrencias& filtro);

 private:
  void CriaControles();
  // The lists' choices and counts, and the count of rows, for the filter as it stands.
  void AtualizaFiltros();
  // The filter the lists and the search box show.
  FiltroOcorrencias FiltroEscolhido() const;
  void AplicaFiltro();
  void MostraRegistro();
  void Copia();
  void btnExportaClick();

  const Ocorrencias& store_;
  QTimer procura_;
  // The finding selected before the rows were replaced, selected again after.
  std::optional<std::size_t> selecionado_;
};

}  // namespace tolk
