// The findings of the last run as the rows of a table view: a model over a
// VisaoOcorrencias, which keeps the rows as entry numbers of the store. A
// cell is made (read from the store and decoded from Windows-1252) only
// when the view asks for it, so a million rows cost the view 4 bytes each
// and only the rows on screen are ever decoded.
#pragma once

#include <QAbstractTableModel>
#include <cstddef>

#include "app/ocorrencias.h"

namespace tolk {

class ModeloOcorrencias : public QAbstractTableModel {
  Q_OBJECT

 public:
  // `store` outlives the model.
  explicit ModeloOcorrencias(const Ocorrencias& store, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  // A column of Coluna; a negative one goes back to the order found.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // The rows again after the store changed, with the filter and the order
  // kept. Must be called before a view paints a store that changed: the rows
  // are entry numbers of the store as it was.
  void Recarrega();
  void Filtra(const FiltroOcorrencias& filtro);

  const VisaoOcorrencias& Visao() const { return visao_; }
  const Ocorrencias& Store() const { return store_; }
  // The finding shown at row `row`.
  std::size_t Indice(int row) const { return visao_.Indice(static_cast<std::size_t>(row)); }

 private:
  const Ocorrencias& store_;
  VisaoOcorrencias visao_;
};

}  // namespace tolk
