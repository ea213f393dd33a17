#include "ntx/TXQDBFNTX.h"

#include "ntx/TXQNTXIndex.h"

namespace tolk {

TXQDBFNTX::TXQDBFNTX(std::string name) : TXQSmartDBF(std::move(name)) {
  Indexes.IndexType = TIndexes::kIndexTypeNTX;
}

TXQDBFNTX::~TXQDBFNTX() {
  // Close here, while the indexes still exist: the base class's destructor
  // no longer reaches this class's CloseIndexes.
  try {
    Close();
  } catch (...) {
  }
  Indexes.Clear();
}

bool TXQDBFNTX::FindKey(std::initializer_list<Variant> values) {
  return FindKey(std::span<const Variant>(values.begin(), values.size()));
}

bool TXQDBFNTX::FindKey(std::span<const Variant> values) {
  TIndex* index = Indexes.ActiveObject();
  if (!index) return false;
  const std::uint32_t recno = index->FindByValues(values, false);
  if (recno == 0) return false;
  return MoveToRecord(recno);
}

void TXQDBFNTX::OpenIndexes() {
  for (int i = 0; i < Indexes.Count(); ++i) Indexes[i].OpenIndex();
}

void TXQDBFNTX::CloseIndexes() {
  for (int i = 0; i < Indexes.Count(); ++i) {
    try {
      Indexes[i].CloseIndex();
    } catch (...) {
      // The table closes whatever an index reports; a reader only reads the
      // index file, so nothing it needs is lost.
    }
  }
}

}  // namespace tolk
