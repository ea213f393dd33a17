// Changing the tree: page allocation and the insertion of one entry.
#include <algorithm>
#include <bit>
#include <cstring>

#include "ntx/ntx_errors.h"
#include "ntx/ntx_header.h"
#include "ntx/ntx_page_writer.h"
#include "ntx/ntx_tree.h"

namespace tolk {

using namespace ntx;

std::uint32_t NtxTree::NewPage(TXQNTXBuffers::Page& out, std::uint32_t from, int level) {
  if (helper_) return helper_->NewPage(from, level, out);
  const std::uint32_t free = ReadHeaderPrefix(header_).freePage;
  if (free != 0) {
    // The head of the free list; its slot-0 child links to the next one.
    out = FetchPage(free, 0);
    PageReader r(out.Bytes(), g_);
    const std::uint16_t e0 = Entry(r, 0, free);
    WriteFreePage(header_, r.Child(e0));
    PageWriter w(out.Bytes(), g_);
    w.SetCount(0);
    w.SetChild(e0, 0);
    out.MarkModified();
    return free;
  }
  if (fileSize_ + kBlockSize > 0xFFFFFFFFull) RaiseFileFull(fileName_);
  const auto offset = static_cast<std::uint32_t>(fileSize_);
  out = cache_.Get(offset);
  PageWriter(out.Bytes(), g_).Format();
  out.MarkModified();
  fileSize_ += kBlockSize;
  return offset;
}

namespace {

// The first position of 0..count-1 whose entry orders after the entry being
// placed; `atOrBefore(i)` tells whether that entry orders at or before entry
// i. The entries of a page ascend, so the positions where it does form a
// tail of 0..count-1; the halving keeps `lo` on the last entry known to
// order before it. Each step picks its half by a select rather than a jump,
// which a processor cannot guess for keys in random order.
template <class AtOrBefore>
std::size_t FirstAfter(std::size_t count, AtOrBefore atOrBefore) {
  if (count == 0) return 0;
  std::size_t lo = 0, n = count;
  while (n > 1) {
    const std::size_t half = n / 2;
    lo = atOrBefore(lo + half) ? lo : lo + half;
    n -= half;
  }
  return lo + (atOrBefore(lo) ? 0 : 1);
}

// The same, knowing that every entry before `from` orders before it: steps
// of 1, 2, 4, ... from `from` until an entry does not order before it, then
// halving between the last two steps.
template <class AtOrBefore>
std::size_t FirstAfterFrom(std::size_t count, std::size_t from, AtOrBefore atOrBefore) {
  if (from >= count) return count;
  if (atOrBefore(from)) return from;
  std::size_t lo = from, hi = count;  // lo orders before; the answer lies in (lo, hi]
  for (std::size_t step = 1;; step *= 2) {
    if (lo + step >= count) break;
    if (atOrBefore(lo + step)) {
      hi = lo + step;
      break;
    }
    lo += step;
  }
  while (hi - lo > 1) {
    const std::size_t mid = lo + (hi - lo) / 2;
    (atOrBefore(mid) ? hi : lo) = mid;
  }
  return hi;
}

}  // namespace

// Whether the pending (key, recno) orders at or before entry i: at equal keys
// the pending entry goes before any record number >= its own.
[[gnu::always_inline]] inline bool NtxTree::PendingOrdersAtOrBefore(
    const PageReader& r, std::size_t i, std::uint32_t pageOffset) const {
  const std::uint16_t e = Entry(r, i, pageOffset);
  const int c = ComparePending(r.Key(e));
  return c != 0 ? c < 0 : pendingRecNo_ <= r.RecNo(e);
}

std::size_t NtxTree::Position(const PageReader& r, std::uint16_t count,
                              std::uint32_t pageOffset) const {
  return FirstAfter(count,
                    [&](std::size_t i) { return PendingOrdersAtOrBefore(r, i, pageOffset); });
}

std::size_t NtxTree::PositionFrom(const PageReader& r, std::uint16_t count,
                                  std::uint32_t pageOffset, std::size_t from) const {
  return FirstAfterFrom(count, from,
                        [&](std::size_t i) { return PendingOrdersAtOrBefore(r, i, pageOffset); });
}

bool NtxTree::PendingFollowsLast() const {
  const int c = order_.Compare(pendingKey_.data(), lastKey_.data(), g_.keySize);
  return c != 0 ? c > 0 : pendingRecNo_ > lastRecNo_;
}

void NtxTree::SetPending(const std::uint8_t* key, std::uint32_t recno) {
  std::memcpy(pendingKey_.data(), key, g_.keySize);
  pendingRecNo_ = recno;
  pendingChild_ = 0;
  pendingRight_ = 0;
  if (!keyWithNul_ && std::memchr(key, 0, g_.keySize)) keyWithNul_ = true;
  // In a tree that started empty every entry was once a pending one: while
  // none held a NUL, no entry does.
  plainBytes_ = knownEntries_ && !keyWithNul_ && !order_.Weighted();
  if (plainBytes_ && g_.keySize >= 8 && g_.keySize <= 16) {
    pendingHead_ = LoadBigEndian64(key);
    pendingTail_ = LoadBigEndian64(key + g_.keySize - 8);
  }
}

void NtxTree::Insert(const std::uint8_t* key, std::uint32_t recno) {
  ++insertions_;
  SetPending(key, recno);
  followPath_ = followEnabled_ && knownEntries_ && pathUsable_ && PendingFollowsLast();
  // Until the entry has settled on a page, path_ is half old and half new.
  pathUsable_ = false;
  std::memcpy(lastKey_.data(), key, g_.keySize);
  lastRecNo_ = recno;
  if (hint_ ? InsertAlongHint() : InsertInto(Root(), 0, 0)) GrowRoot();
}

void NtxTree::GrowRoot() {
  // The root split: a new root holds the promoted entry between the two halves.
  TXQNTXBuffers::Page page;
  const std::uint32_t root = NewPage(page, 0, height_);
  PageReader r(page.Bytes(), g_);
  PageWriter w(page.Bytes(), g_);
  w.WriteEntry(Entry(r, 0, root), pendingChild_, pendingRecNo_, pendingKey_.data());
  w.SetChild(Entry(r, 1, root), pendingRight_);
  w.SetCount(1);
  page.MarkModified();
  WriteRoot(header_, root);
  ++height_;
}

void NtxTree::Resume(int height, bool keyWithNul, bool lookAhead) {
  FlushQueued();
  knownEntries_ = true;
  height_ = height;
  keyWithNul_ = keyWithNul;
  lookAhead_ = lookAhead;
  pathUsable_ = false;
  pathDepth_ = 0;
  // No path found before may be trusted: as if every page above the leaves changed.
  changes_ += changed_.size() + 1;
  aheadPath_ = {};
}

void NtxTree::InsertPromoted(const std::uint8_t* key, std::uint32_t recno, std::uint32_t child,
                             std::uint32_t right, int level) {
  SetPending(key, recno);
  pendingChild_ = child;
  pendingRight_ = right;
  followPath_ = false;
  pathUsable_ = false;
  struct Restore {
    int& depth;
    ~Restore() { depth = kMaxDepth + 1; }
  } restore{stopDepth_};
  stopDepth_ = height_ - 1 - level;
  if (stopDepth_ < 0)
    RaiseDamaged(fileName_, "the tree has no page at level " + std::to_string(level) +
                                " for an entry promoted from page " + std::to_string(child));
  if (InsertInto(Root(), 0, 0)) GrowRoot();
}

void NtxTree::FindPath(const std::uint8_t* key, std::uint32_t recno, int level,
                       std::vector<std::uint32_t>& pages, std::vector<std::size_t>& positions) {
  SetPending(key, recno);
  pages.clear();
  positions.clear();
  std::uint32_t offset = Root(), parent = 0;
  for (int depth = 0; depth <= height_ - 1 - level; ++depth) {
    if (depth >= kMaxDepth) RaiseTooDeep(parent);
    const TXQNTXBuffers::Page page = FetchPage(offset, parent);
    const PageReader r(page.Bytes(), g_);
    const std::size_t pos = Position(r, r.Count(), offset);
    pages.push_back(offset);
    positions.push_back(pos);
    parent = offset;
    offset = r.Child(Entry(r, pos, offset));
  }
}

void NtxTree::InsertQueued(const std::uint8_t* key, std::uint32_t recno) {
  // Looking ahead pays only where most insertions leave the previous leaf;
  // in ascending runs the leaf is warm already, and the search of its path
  // twice would cost as much as an insertion. Each window of insertions
  // decides for the next.
  if (++queuedSinceChoice_ == kChoiceWindow) {
    lookAhead_ = 2 * leafChanges_ > queuedSinceChoice_;
    queuedSinceChoice_ = 0;
    leafChanges_ = 0;
  }
  if (!lookAhead_ || !knownEntries_ || !cache_.InPlace()) {
    FlushQueued();
    Insert(key, recno);
    return;
  }
  if (queued_ == queue_.size()) InsertFirstQueued();
  const Queued* before =
      queued_ > 0 ? &queue_[(queueHead_ + queued_ - 1) % queue_.size()] : nullptr;
  Queued& q = queue_[(queueHead_ + queued_) % queue_.size()];
  ++queued_;
  std::memcpy(q.key.data(), key, g_.keySize);
  q.recno = recno;
  q.number = ++queuedNumber_;
  q.follows = false;
  if (before) {
    const int c = order_.Compare(key, before->key.data(), g_.keySize);
    q.follows = c != 0 ? c > 0 : recno > before->recno;
  }
  // What each look-ahead's comparisons need of the key, read once.
  q.noNul = !std::memchr(key, 0, g_.keySize);
  if (g_.keySize >= 8 && g_.keySize <= 16) {
    q.head = LoadBigEndian64(key);
    q.tail = LoadBigEndian64(key + g_.keySize - 8);
  }
  q.levels = 0;
  q.changes = changes_;
  // The upper pages now, and the page above the leaf asked for; that one's
  // search, and the leaf asked for, kAhead entries later.
  LookAhead(q, std::max(height_ - 2, 0));
  if (queued_ > kAhead)
    LookAhead(queue_[(queueHead_ + queued_ - 1 - kAhead) % queue_.size()], height_ - 1);
}

void NtxTree::FlushQueued() {
  while (queued_ > 0) InsertFirstQueued();
}

void NtxTree::InsertFirstQueued() {
  const Queued& q = queue_[queueHead_];
  queueHead_ = (queueHead_ + 1) % queue_.size();
  --queued_;
  struct Unhint {
    const Queued*& hint;
    ~Unhint() { hint = nullptr; }
  } unhint{hint_};
  // A tree of one level has no path above its leaf to follow.
  hint_ = q.levels > 0 && q.levels == height_ - 1 && PathUnchanged(q) ? &q : nullptr;
  Insert(q.key.data(), q.recno);
}

bool NtxTree::PathUnchanged(const Queued& q) const {
  if (changes_ - q.changes > changed_.size()) return false;
  for (std::uint64_t c = q.changes; c < changes_; ++c) {
    const std::uint32_t page = changed_[c % changed_.size()];
    for (int d = 0; d < q.levels; ++d)
      if (q.page[static_cast<std::size_t>(d)] == page) return false;
  }
  return true;
}

// The descent of InsertInto without the insertion, and with every value read
// from a page checked without raising: the insertion meets any fault itself,
// in its turn.
void NtxTree::LookAhead(Queued& q, int levels) {
  if (q.levels < 0 || q.levels >= levels) return;
  if (!PathUnchanged(q)) {
    q.levels = -1;
    return;
  }
  const std::uint8_t* key = q.key.data();
  const bool plain = !keyWithNul_ && !order_.Weighted() && q.noNul;
  // A tree that grew a level since has another root above the path.
  std::uint32_t offset = q.levels == 0 ? Root() : q.below;
  for (int depth = q.levels; depth < levels; ++depth) {
    const auto d = static_cast<std::size_t>(depth);
    if (depth >= kMaxDepth || !PageInside(offset)) {
      q.levels = -1;
      return;
    }
    const TXQNTXBuffers::Page page = cache_.Get(offset);
    const PageReader r(page.Bytes(), g_);
    const std::uint16_t count = r.Count();
    bool bad = !r.CountValid(count);
    auto atOrBefore = [&](std::size_t i) {
      const std::uint16_t e = r.Slot(i);
      if (!r.SlotValid(e)) {
        bad = true;
        return true;
      }
      const int c = CompareWith(key, plain, q.head, q.tail, r.Key(e));
      return c != 0 ? c < 0 : q.recno <= r.RecNo(e);
    };
    // The previous entry's position on this page, while the page is unchanged.
    AheadStep& step = aheadPath_[d];
    const bool follow =
        q.follows && step.number + 1 == q.number && step.page == offset && step.changes == changes_;
    std::size_t pos = 0;
    if (!bad)
      pos = follow ? FirstAfterFrom(count, step.from, atOrBefore) : FirstAfter(count, atOrBefore);
    const std::uint16_t e = r.Slot(pos);
    if (bad || !r.SlotValid(e) || r.Child(e) == 0) {
      step.number = 0;
      q.levels = -1;
      return;
    }
    step = {offset, pos, changes_, q.number};
    q.page[d] = offset;
    q.pos[d] = static_cast<std::uint16_t>(pos);
    offset = r.Child(e);
  }
  if (!PageInside(offset)) {
    q.levels = -1;
    return;
  }
  q.levels = levels;
  q.below = offset;
  cache_.Prefetch(offset);
}

// Inserts the pending entry into the subtree at `offset`; true when an entry
// is still pending for the parent (the page split).
bool NtxTree::InsertInto(std::uint32_t offset, std::uint32_t parent, int depth) {
  if (depth >= kMaxDepth) RaiseTooDeep(parent);
  TXQNTXBuffers::Page page = FetchPage(offset, parent);
  PageReader r(page.Bytes(), g_);
  const std::uint16_t count = r.Count();
  // The previous path helps down to the first page where this one leaves it.
  PathStep& step = path_[static_cast<std::size_t>(depth)];
  followPath_ = followPath_ && depth < pathDepth_ && step.page == offset;
  const std::size_t pos =
      followPath_ ? PositionFrom(r, count, offset, step.from) : Position(r, count, offset);
  step = {offset, pos};
  if (depth == stopDepth_) {
    // The entry promoted from the split of this page's child at pos.
    if (r.Child(Entry(r, pos, offset)) != pendingChild_)
      RaiseDamaged(fileName_, "page " + std::to_string(offset) + " does not lead to page " +
                                  std::to_string(pendingChild_));
  } else if (const std::uint32_t child = r.Child(Entry(r, pos, offset))) {
    if (!InsertInto(child, offset, depth + 1)) return false;
  } else if (offset != lastLeaf_) {
    ++leafChanges_;
    lastLeaf_ = offset;
  }
  return Settle(page, count, pos, depth);
}

// The pending entry at `pos` of `page` (its count read before anything
// below changed), at `depth` of the path: true when the page split and an
// entry is pending for the parent.
bool NtxTree::Settle(TXQNTXBuffers::Page& page, std::uint16_t count, std::size_t pos, int depth) {
  const auto offset = static_cast<std::uint32_t>(page.Offset());
  const bool promoted = pendingRight_ != 0;  // came up from a split below
  if (promoted) {
    InnerPageChanged(offset);
    if (helper_) helper_->Promoted(*this, offset, height_ - 1 - depth);
  }
  if (count < g_.maxItems) {
    InsertPending(page, count, pos);
    page.MarkModified();
    // The pages above are unchanged and the path holds down to this one. The
    // entry inserted here orders before any later ascending one; an entry
    // promoted from a split below may not, and the pages below have changed.
    path_[static_cast<std::size_t>(depth)].from = promoted ? pos : pos + 1;
    pathDepth_ = depth + 1;
    pathUsable_ = true;
    return false;
  }
  Split(page, pos, depth);
  return true;
}

// InsertInto for an entry whose look-ahead found its path down to the leaf,
// unchanged since (hint_): the pages above the leaf and the positions on
// them stand, so the leaf is searched first and the pages above are read
// only when a split below sends an entry up to them.
bool NtxTree::InsertAlongHint() {
  const Queued& h = *hint_;
  const int leaf = h.levels;
  for (int d = 0; d < leaf; ++d) {
    PathStep& step = path_[static_cast<std::size_t>(d)];
    followPath_ = followPath_ && d < pathDepth_ && step.page == h.page[static_cast<std::size_t>(d)];
    step = {h.page[static_cast<std::size_t>(d)], h.pos[static_cast<std::size_t>(d)]};
  }
  auto above = [&h](int depth) {
    return depth > 0 ? h.page[static_cast<std::size_t>(depth - 1)] : 0;
  };
  std::uint32_t offset = h.below, child = 0;
  for (int depth = leaf;; --depth) {
    // The look-ahead read the pages of the path and asked for the leaf.
    TXQNTXBuffers::Page page = FetchPage(offset, above(depth), true);
    const PageReader r(page.Bytes(), g_);
    const std::uint16_t count = r.Count();
    std::size_t pos;
    if (depth == leaf) {
      PathStep& step = path_[static_cast<std::size_t>(depth)];
      followPath_ = followPath_ && depth < pathDepth_ && step.page == offset;
      pos = followPath_ ? PositionFrom(r, count, offset, step.from) : Position(r, count, offset);
      step = {offset, pos};
      if (r.Child(Entry(r, pos, offset)) != 0)
        RaiseDamaged(fileName_,
                     "page " + std::to_string(offset) + " at the leaf level names a child page");
      if (offset != lastLeaf_) {
        ++leafChanges_;
        lastLeaf_ = offset;
      }
    } else {
      pos = h.pos[static_cast<std::size_t>(depth)];
      if (r.Child(Entry(r, pos, offset)) != child)
        RaiseDamaged(fileName_, "page " + std::to_string(offset) + " does not lead to page " +
                                    std::to_string(child));
    }
    if (!Settle(page, count, pos, depth)) return false;
    if (depth == 0) return true;
    child = offset;
    offset = above(depth);
  }
}

// Puts the pending entry at `pos` of a page with room; an entry that came up
// from a split hands the split's right page to the entry after it.
void NtxTree::InsertPending(TXQNTXBuffers::Page& page, std::uint16_t count, std::size_t pos) {
  PageReader r(page.Bytes(), g_);
  Entry(r, count + 1,
        static_cast<std::uint32_t>(page.Offset()));  // the free slot must name a real entry
  PageWriter w(page.Bytes(), g_);
  const std::uint16_t e = w.OpenSlot(pos, count);
  w.WriteEntry(e, pendingChild_, pendingRecNo_, pendingKey_.data());
  w.SetCount(static_cast<std::uint16_t>(count + 1));
  if (pendingRight_ != 0)
    w.SetChild(Entry(r, pos + 1, static_cast<std::uint32_t>(page.Offset())), pendingRight_);
}

void NtxTree::Split(TXQNTXBuffers::Page& oldPage, std::size_t pos, int depth) {
  const std::uint16_t half = g_.halfPage;
  const std::uint16_t max = g_.maxItems;
  const auto oldOffset = static_cast<std::uint32_t>(oldPage.Offset());
  TXQNTXBuffers::Page newPage;
  const std::uint32_t newOffset = NewPage(newPage, oldOffset, height_ - 1 - depth);
  std::copy_n(oldPage.Bytes().begin(), kBlockSize, newPage.Bytes().begin());

  PageWriter ow(oldPage.Bytes(), g_), nw(newPage.Bytes(), g_);
  PageReader orr(oldPage.Bytes(), g_), nr(newPage.Bytes(), g_);
  ow.SetCount(half);
  nw.RotateDown(half);
  nw.SetCount(static_cast<std::uint16_t>(max - half));
  if (pos < half)
    InsertPending(oldPage, half, pos);
  else
    InsertPending(newPage, static_cast<std::uint16_t>(max - half), pos - half);

  const std::uint16_t oldCount = orr.Count(), newCount = nr.Count();
  if (oldCount < newCount) {
    const std::uint16_t e = Entry(nr, 0, newOffset);
    pendingRecNo_ = nr.RecNo(e);
    std::memcpy(pendingKey_.data(), nr.Key(e), g_.keySize);
    nw.RotateDown(1);
    nw.SetCount(static_cast<std::uint16_t>(newCount - 1));
  } else {
    const std::uint16_t e = Entry(orr, oldCount - 1, oldOffset);
    pendingRecNo_ = orr.RecNo(e);
    std::memcpy(pendingKey_.data(), orr.Key(e), g_.keySize);
    ow.SetCount(static_cast<std::uint16_t>(oldCount - 1));
  }
  pendingChild_ = oldOffset;
  pendingRight_ = newOffset;
  oldPage.MarkModified();
  newPage.MarkModified();
  const std::uint32_t uses = cache_.UseCount(oldPage) / 2;
  cache_.SetUseCount(oldPage, uses);
  cache_.SetUseCount(newPage, uses);
}

}  // namespace tolk
