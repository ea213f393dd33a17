#include "memtable/record_order.h"

#include <cassert>

namespace tolk {

RecordOrder::Pos RecordOrder::Insert(Pos p, Entry e) {
  ++size_;
  if (blocks_.empty()) {
    blocks_.push_back({e});
    fences_.push_back(e);
    return {0, 0};
  }
  if (IsEnd(p)) p = {blocks_.size() - 1, blocks_.back().size()};
  std::vector<Entry>& blk = blocks_[p.block];
  assert(p.offset <= blk.size());
  blk.insert(blk.begin() + static_cast<std::ptrdiff_t>(p.offset), e);
  if (blk.size() <= kMaxBlock) {
    fences_[p.block] = blk.back();
    return p;
  }

  // Split the full block in halves; the upper half becomes the next block.
  const std::size_t half = blk.size() / 2;
  std::vector<Entry> upper;
  upper.reserve(kMaxBlock + 1);
  upper.assign(blk.begin() + static_cast<std::ptrdiff_t>(half), blk.end());
  blk.resize(half);
  fences_[p.block] = blk.back();
  fences_.insert(fences_.begin() + static_cast<std::ptrdiff_t>(p.block + 1), upper.back());
  blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(p.block + 1), std::move(upper));
  if (p.offset < half) return p;
  return {p.block + 1, p.offset - half};
}

void RecordOrder::Erase(Pos p) {
  assert(!IsEnd(p) && p.offset < blocks_[p.block].size());
  std::vector<Entry>& blk = blocks_[p.block];
  blk.erase(blk.begin() + static_cast<std::ptrdiff_t>(p.offset));
  if (blk.empty()) {
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(p.block));
    fences_.erase(fences_.begin() + static_cast<std::ptrdiff_t>(p.block));
  } else {
    fences_[p.block] = blk.back();
  }
  --size_;
}

}  // namespace tolk
