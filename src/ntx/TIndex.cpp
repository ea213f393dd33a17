#include "ntx/TIndex.h"

#include "ntx/TIndexes.h"
#include "ntx/TXQDBFNTX.h"
#include "ntx/ntx_errors.h"

namespace tolk {

TXQDBFNTX& TIndex::Table() const { return owner_.Table(); }

std::uint32_t TIndex::FindByValues(std::span<const Variant>, bool) { return 0; }

void TIndex::FindEach(std::span<const Variant* const> values, std::span<std::uint32_t> found) {
  for (std::size_t i = 0; i < values.size(); ++i)
    found[i] = FindByValues(std::span<const Variant>(values[i], 1), false);
}

void TIndex::PositionOnActivate() {}

void TIndex::SetCollationType(TXQCollationTypes type) {
  if (IsOpen()) ntx::RaiseCollationWhileOpen();
  collation_.CollationType = type;
}

void TIndex::SetCustomCollatingSequence(std::string weights) {
  if (IsOpen()) ntx::RaiseCollationWhileOpen();
  collation_.CustomCollatingSequence = std::move(weights);
}

void TIndex::SetActive(bool on) {
  if (on == active_) return;
  TXQDBFNTX& table = Table();
  if (on) {
    for (auto& other : owner_.items_) other->active_ = false;
    owner_.active_ = this;
    active_ = true;
    if (table.Active()) PositionOnActivate();
    return;
  }
  if (owner_.active_ == this) owner_.active_ = nullptr;
  active_ = false;
  if (table.Active() && table.RecNo() > 0)
    table.GoToRecord(static_cast<std::uint32_t>(table.RecNo()));
}

}  // namespace tolk
