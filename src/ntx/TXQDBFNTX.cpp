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

void TXQDBFNTX::FindEachKey(std::span<const Variant* const> values, std::span<bool> found) {
  TIndex* index = Indexes.ActiveObject();
  foundRecnos_.resize(values.size());
  if (index) index->FindEach(values, foundRecnos_);
  for (std::size_t i = 0; i < values.size(); ++i) {
    // FindKey's move fails only for a record the table does not have.
    found[i] = index && foundRecnos_[i] != 0 &&
               foundRecnos_[i] <= static_cast<std::uint32_t>(RecordCount());
  }
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
