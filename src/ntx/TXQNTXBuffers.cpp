#include "ntx/TXQNTXBuffers.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>

#include "ntx/ntx_errors.h"
#include "ntx/ntx_format.h"

namespace tolk {

using ntx::kBlockSize;

// --- Page ---------------------------------------------------------------------------

void TXQNTXBuffers::Page::MarkModified() {
  if (group_)
    group_->modified[index_] = 1;
  else
    store_->WrittenInPlace(offset_, data_, kBlockSize);
}

void TXQNTXBuffers::Page::ReleaseGroup() {
  assert(group_->pins > 0);
  --group_->pins;
  group_ = nullptr;
}

// --- The cache ----------------------------------------------------------------------

void TXQNTXBuffers::Configure(TXQLimitIndexPages& limits, std::int64_t recordCount,
                              std::uint16_t halfPage) {
  Clear();
  pagesPerGroup_ = static_cast<std::size_t>(std::clamp(limits.PagesPerBuffer, 1, 510));
  const std::uint64_t span = pagesPerGroup_ * kBlockSize;
  spanShift_ = std::has_single_bit(span) ? std::countr_zero(span) : -1;
  autoLimit_ = limits.LimitPagesType == TXQLimitBuffersType::lbtAuto;
  switch (limits.LimitPagesType) {
    case TXQLimitBuffersType::lbtAuto: {
      const double base = std::max(2.0, static_cast<double>(halfPage) + 1);
      const double records = static_cast<double>(std::max<std::int64_t>(recordCount, 0)) + 100000.0;
      // nearbyint rounds halves to even in the default rounding mode.
      limits.LimitBuffers =
          3 * static_cast<int>(std::nearbyint(std::log(records) / std::log(base)));
      limit_ = limits.LimitBuffers;
      break;
    }
    case TXQLimitBuffersType::lbtLimited:
      limit_ = std::max(limits.LimitBuffers, 0);
      break;
    case TXQLimitBuffersType::lbtUnlimited:
      limit_ = -1;
      break;
  }
}

TXQNTXBuffers::Page TXQNTXBuffers::Pin(TXQNTXBuffer& g, std::uint64_t offset, bool loaded) {
  ++g.pins;
  Page p;
  p.group_ = &g;
  p.index_ = static_cast<std::size_t>((offset - g.base) / kBlockSize);
  p.data_ = g.data + p.index_ * kBlockSize;
  p.offset_ = offset;
  p.loaded_ = loaded;
  return p;
}

void TXQNTXBuffers::Load(TXQNTXBuffer& g, std::uint64_t base) {
  const std::size_t bytes = pagesPerGroup_ * kBlockSize;
  g.modified.assign(pagesPerGroup_, 0);
  // Pages past the end of the file read as zeros; they are formatted when
  // they are allocated.
  if (std::uint8_t* mapped = store_.Map(base, bytes)) {
    g.data = mapped;
  } else {
    if (!g.own) g.own = std::make_unique<std::uint8_t[]>(bytes);
    g.data = g.own.get();
    store_.Read(base, g.data, bytes);
  }
  g.base = base;
  ++stats_.loads;
}

void TXQNTXBuffers::WriteBack(TXQNTXBuffer& g) {
  const auto first = std::find(g.modified.begin(), g.modified.end(), 1);
  if (first == g.modified.end()) return;
  const auto last = std::find(g.modified.rbegin(), g.modified.rend(), 1);
  if (last == g.modified.rend()) ntx::RaiseFlushInternal();
  const std::size_t from = static_cast<std::size_t>(first - g.modified.begin());
  const std::size_t to =
      g.modified.size() - 1 - static_cast<std::size_t>(last - g.modified.rbegin());
  // One run from the first to the last modified page; pages in between go
  // out with their cached bytes.
  store_.Write(g.base + from * kBlockSize, g.data + from * kBlockSize,
               (to - from + 1) * kBlockSize);
  std::fill(g.modified.begin(), g.modified.end(), std::uint8_t{0});
  ++stats_.writeBacks;
  stats_.pagesWritten += to - from + 1;
}

bool TXQNTXBuffers::UseImageInPlace() {
  assert(groups_.empty());
  inPlace_ = store_.CurrentMode() != PageStore::Mode::FileOnly && (autoLimit_ || limit_ < 0);
  return inPlace_;
}

TXQNTXBuffers::Page TXQNTXBuffers::GetFromGroup(std::uint64_t offset) {
  const std::uint64_t span = pagesPerGroup_ * kBlockSize;
  const std::uint64_t number = spanShift_ >= 0 ? offset >> spanShift_ : offset / span;
  const std::uint64_t base = number * span;
  TXQNTXBuffer*& recent = recent_[number % recent_.size()];
  if (recent && recent->base == base) {
    ++recent->uses;
    ++stats_.hits;
    return Pin(*recent, offset, false);
  }
  auto byBase = [](const std::pair<std::uint64_t, TXQNTXBuffer*>& g, std::uint64_t b) {
    return g.first < b;
  };
  auto at = std::lower_bound(groups_.begin(), groups_.end(), base, byBase);
  if (at != groups_.end() && at->first == base) {
    recent = at->second;
    ++at->second->uses;
    ++stats_.hits;
    return Pin(*at->second, offset, false);
  }
  if (limit_ < 0 || static_cast<int>(groups_.size()) < limit_) {
    TXQNTXBuffer& g = pool_.emplace_back();
    try {
      Load(g, base);
    } catch (...) {
      pool_.pop_back();
      throw;
    }
    groups_.insert(at, {base, &g});
    recent = &g;
    return Pin(g, offset, true);
  }
  // At the limit: the least used unpinned group, the first one on ties. A
  // pinned group ranks above every unpinned one; the ranks are compared
  // without a jump per group, since which group wins is anybody's guess.
  std::size_t best = groups_.size();
  std::uint64_t bestRank = UINT64_MAX;
  for (std::size_t i = 0; i < groups_.size(); ++i) {
    const TXQNTXBuffer& g = *groups_[i].second;
    const std::uint64_t rank = (std::uint64_t{g.pins != 0} << 32) | g.uses;
    const bool lower = rank < bestRank;
    best = lower ? i : best;
    bestRank = lower ? rank : bestRank;
  }
  if (best == groups_.size() || (bestRank >> 32) != 0) ntx::RaiseNoFreeBuffers();
  const auto victim = groups_.begin() + static_cast<std::ptrdiff_t>(best);
  TXQNTXBuffer& g = *victim->second;
  WriteBack(g);
  groups_.erase(victim);
  try {
    Load(g, base);
  } catch (...) {
    // The group is out of the list; it waits in the pool for Clear.
    g.base = UINT64_MAX;
    throw;
  }
  groups_.insert(std::lower_bound(groups_.begin(), groups_.end(), base, byBase), {base, &g});
  recent = &g;
  return Pin(g, offset, true);
}

void TXQNTXBuffers::Flush() {
  for (auto& g : groups_) WriteBack(*g.second);
}

void TXQNTXBuffers::Clear() {
  for ([[maybe_unused]] auto& g : pool_) assert(g.pins == 0);
  groups_.clear();
  pool_.clear();
  recent_.fill(nullptr);
  inPlace_ = false;
}

}  // namespace tolk
