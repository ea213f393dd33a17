#include "gui/ModeloOcorrencias.h"

#include <climits>

#include "app/janela.h"
#include "dataset/cp1252.h"

namespace tolk {

ModeloOcorrencias::ModeloOcorrencias(const Ocorrencias& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store), visao_(store) {
  visao_.Recarrega();
}

int ModeloOcorrencias::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  // Entry numbers are 32-bit; a view counts its rows in an int.
  return static_cast<int>(std::min<std::size_t>(visao_.Linhas(), INT_MAX));
}

int ModeloOcorrencias::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kNumColunas;
}

QVariant ModeloOcorrencias::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const auto coluna = static_cast<Coluna>(index.column());
  if (role == Qt::TextAlignmentRole)
    return coluna == Coluna::kRegistro ? int(Qt::AlignRight | Qt::AlignVCenter)
                                       : int(Qt::AlignLeft | Qt::AlignVCenter);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const std::size_t i = Indice(index.row());
  if (coluna == Coluna::kRegistro) return QString::number(store_.Registro(i));
  return QString::fromStdString(Cp1252ToUtf8(store_.Texto(i, coluna)));
}

QVariant ModeloOcorrencias::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kNumColunas)
    return QAbstractTableModel::headerData(section, orientation, role);
  return QString::fromUtf8(kColunasOcorrencias[section]);
}

// The rows are all replaced: telling the view which moved where would cost
// more, at a million rows, than the sort itself. The window keeps its
// selected finding across the reset.
void ModeloOcorrencias::sort(int column, Qt::SortOrder order) {
  beginResetModel();
  if (column >= 0 && column < kNumColunas)
    visao_.Ordena(static_cast<Coluna>(column), order == Qt::AscendingOrder);
  else
    visao_.Ordena(std::nullopt);
  endResetModel();
}

void ModeloOcorrencias::Recarrega() {
  beginResetModel();
  visao_.Recarrega();
  endResetModel();
}

void ModeloOcorrencias::Filtra(const FiltroOcorrencias& filtro) {
  beginResetModel();
  visao_.Filtra(filtro);
  endResetModel();
}

}  // namespace tolk
