// Changing the tree: page allocation and the insertion of one entry.
#include <algorithm>
#include <cstring>

#include "ntx/ntx_errors.h"
#include "ntx/ntx_header.h"
#include "ntx/ntx_page_writer.h"
#include "ntx/ntx_tree.h"

namespace tolk {

using namespace ntx;

std::uint32_t NtxTree::NewPage(TXQNTXBuffers::Page& out) {
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

// The first position whose entry orders after the pending (key, recno): at
// equal keys the pending entry goes before any record number >= its own.
std::size_t NtxTree::Position(const PageReader& r, std::uint16_t count, std::uint32_t pageOffset) const {
  auto atOrBefore = [&](std::size_t i) {
    const std::uint16_t e = Entry(r, i, pageOffset);
    const int c = order_.Compare(pendingKey_.data(), r.Key(e), g_.keySize);
    return c != 0 ? c < 0 : pendingRecNo_ <= r.RecNo(e);
  };
  if (count == 0 || atOrBefore(0)) return 0;
  std::size_t lower = 0, upper = count;
  while (upper - lower > 1) {
    const std::size_t mid = (lower + upper) / 2;
    (atOrBefore(mid) ? upper : lower) = mid;
  }
  return upper;
}

void NtxTree::Insert(const std::uint8_t* key, std::uint32_t recno) {
  std::memcpy(pendingKey_.data(), key, g_.keySize);
  pendingRecNo_ = recno;
  pendingChild_ = 0;
  pendingRight_ = 0;
  if (!InsertInto(Root(), 0, 0)) return;
  // The root split: a new root holds the promoted entry between the two halves.
  TXQNTXBuffers::Page page;
  const std::uint32_t root = NewPage(page);
  PageReader r(page.Bytes(), g_);
  PageWriter w(page.Bytes(), g_);
  w.WriteEntry(Entry(r, 0, root), pendingChild_, pendingRecNo_, pendingKey_.data());
  w.SetChild(Entry(r, 1, root), pendingRight_);
  w.SetCount(1);
  page.MarkModified();
  WriteRoot(header_, root);
}

// Inserts the pending entry into the subtree at `offset`; true when an entry
// is still pending for the parent (the page split).
bool NtxTree::InsertInto(std::uint32_t offset, std::uint32_t parent, int depth) {
  if (depth >= kMaxDepth)
    RaiseDamaged(fileName_, "the tree is deeper than " + std::to_string(kMaxDepth) +
                                " levels below page " + std::to_string(parent) + ": its child pages form a cycle");
  TXQNTXBuffers::Page page = FetchPage(offset, parent);
  PageReader r(page.Bytes(), g_);
  const std::uint16_t count = r.Count();
  const std::size_t pos = Position(r, count, offset);
  if (const std::uint32_t child = r.Child(Entry(r, pos, offset))) {
    if (!InsertInto(child, offset, depth + 1)) return false;
  }
  if (count < g_.maxItems) {
    InsertPending(page, count, pos);
    page.MarkModified();
    return false;
  }
  Split(page, pos);
  return true;
}

// Puts the pending entry at `pos` of a page with room; an entry that came up
// from a split hands the split's right page to the entry after it.
void NtxTree::InsertPending(TXQNTXBuffers::Page& page, std::uint16_t count, std::size_t pos) {
  PageReader r(page.Bytes(), g_);
  Entry(r, count + 1, static_cast<std::uint32_t>(page.Offset()));  // the free slot must name a real entry
  PageWriter w(page.Bytes(), g_);
  const std::uint16_t e = w.OpenSlot(pos, count);
  w.WriteEntry(e, pendingChild_, pendingRecNo_, pendingKey_.data());
  w.SetCount(static_cast<std::uint16_t>(count + 1));
  if (pendingRight_ != 0) w.SetChild(Entry(r, pos + 1, static_cast<std::uint32_t>(page.Offset())), pendingRight_);
}

void NtxTree::Split(TXQNTXBuffers::Page& oldPage, std::size_t pos) {
  const std::uint16_t half = g_.halfPage;
  const std::uint16_t max = g_.maxItems;
  const auto oldOffset = static_cast<std::uint32_t>(oldPage.Offset());
  TXQNTXBuffers::Page newPage;
  const std::uint32_t newOffset = NewPage(newPage);
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

