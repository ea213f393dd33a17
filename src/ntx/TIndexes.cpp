#include "ntx/TIndexes.h"

#include "dataset/Exceptions.h"
#include "ntx/TXQNTXIndex.h"
#include "ntx/ntx_errors.h"

namespace tolk {

TIndex& TIndexes::Add(const std::string& name) {
  std::unique_ptr<TIndex> item;
  switch (IndexType) {
    case kIndexTypeUndefined:
      ntx::RaiseIndexTypeUndefined();
    case kIndexTypeNTX:
      item = std::make_unique<TXQNTXIndex>(*this, name);
      break;
    default:
      item = std::make_unique<TIndex>(*this, name);
      break;  // CDX indexes are not carried
  }
  items_.push_back(std::move(item));
  return *items_.back();
}

TIndex& TIndexes::operator[](int i) const {
  if (i < 0 || i >= Count())
    RaiseError("TIndexes: List index out of bounds (" + std::to_string(i) + ")");
  return *items_[static_cast<std::size_t>(i)];
}

void TIndexes::Delete(int i) {
  TIndex& item = (*this)[i];
  if (active_ == &item) active_ = nullptr;
  // The item goes even when closing it fails; the error is reported after.
  std::unique_ptr<TIndex> owned = std::move(items_[static_cast<std::size_t>(i)]);
  items_.erase(items_.begin() + i);
  owned->CloseIndex();
}

void TIndexes::Clear() {
  active_ = nullptr;
  while (!items_.empty()) {
    std::unique_ptr<TIndex> owned = std::move(items_.back());
    items_.pop_back();
    try {
      owned->CloseIndex();
    } catch (...) {
      // Clearing (the table going away) closes every item whatever one reports.
    }
  }
}

}  // namespace tolk
