// The B-tree of an open index over its page cache: page allocation, the
// insertion of one entry with page splits, and the key search.
//
// Split of a full page O (count = maximum M, half page H) for a pending
// entry at position p:
//   1. A new page N (free list, else appended) receives a copy of O.
//   2. O keeps its first H entries (count H): its slot H, the entry that
//      held the child of old entry H, becomes its rightmost slot.
//   3. N drops its first H entries by rotating its slots down by H
//      (count M - H); its rightmost slot is still O's old rightmost one.
//   4. The pending entry goes into O at p when p < H, else into N at p - H.
//   5. One entry moves up: N's first when O now has fewer entries than N
//      (O's rightmost child already is that entry's child), else O's last
//      (its slot becomes O's rightmost). Its child becomes O; N is the right
//      page the parent attaches to the entry after it.
// With a 10-byte key (M 50, H 25) the 51st key in a full root leaf leaves
// two leaves of 25 entries and a new root holding the 26th key, wherever the
// new key falls.
//
// A build feeds each batch of entries in ascending order. While no page has
// split since the previous insertion, every page on its path but the leaf is
// unchanged, and the new entry's position on each of them can only be the
// same or further right: the descent starts each page's search at the
// previous position (one comparison when it holds) instead of halving the
// whole page. The pages fetched and the positions found are the same either
// way; only comparisons are saved. It relies on pages kept in order by this
// very tree, so it is used only in a tree that started empty.
//
// A build of keys in random order meets cold pages at nearly every
// insertion: the leaf, and in a large tree the page above it. Each trip to
// memory is most of an insertion's time, and each page's search waits for
// it. Queued insertion (InsertQueued) lets those trips overlap: an entry
// waits 2 * kAhead entries before it is inserted. On arrival its path is
// found through the upper pages, which stay warm, and the page below them
// is asked for; kAhead entries later that page has come in, the path goes
// one level further and the leaf is asked for; kAhead entries later still
// the insertion finds both in the processor's cache. The positions found on
// the way stand as long as none of those pages changed since: only an entry
// promoted from a split changes a page above the leaves, and each such
// change is logged. A path that met a changed page, or a tree that grew a
// level, is searched again as Insert always does. Either way every page
// gets the position a fresh search would give, so the tree is the same.
// Where the insertions keep to one leaf (ascending runs) nothing is cold,
// and the queue stands aside.
//
// Every page offset, count and slot read from a page is checked before it is
// followed; walks carry a depth cap and a visit budget, so a damaged file
// (a reference outside the file, a cycle of child pages) is an error.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "dataset/byte_scan.h"
#include "dataset/coding.h"
#include "ntx/TXQNTXBuffers.h"
#include "ntx/key_compare.h"
#include "ntx/ntx_format.h"
#include "ntx/ntx_page_reader.h"

namespace tolk {

class NtxTree {
 public:
  // No real tree comes near this depth: every inner page has two children
  // at least, so 2^32 records need fewer than 33 levels.
  static constexpr int kMaxDepth = 40;

  // `header` is the order's 1024-byte header (root and free-page head are
  // read and written there); `fileSize` is the file's size in bytes and
  // grows as pages are appended.
  NtxTree(TXQNTXBuffers& cache, coding::MutableBytes header, const ntx::Geometry& geometry,
          const KeyOrder& order, std::uint64_t& fileSize, const std::string& fileName);

  // Where a tree that builds one half of a batch beside another takes its
  // new pages, and what it tells of the entries promoted on its way up
  // (split_build.h). `level` counts from the leaves (0).
  class Helper {
   public:
    virtual ~Helper() = default;
    // A new page for the split of `from`, or for a new root when `from` is 0.
    virtual std::uint32_t NewPage(std::uint32_t from, int level, TXQNTXBuffers::Page& out) = 0;
    // An entry promoted from a split below is about to go into `page`; the
    // tree's pending entry (key, record number, child, right page) is it.
    virtual void Promoted(const NtxTree& tree, std::uint32_t page, int level) = 0;
  };
  void SetHelper(Helper* helper) { helper_ = helper; }

  // A new empty page, pinned: the head of the free list, else appended.
  // `from` and `level` tell a helper what the page is for.
  std::uint32_t NewPage(TXQNTXBuffers::Page& out, std::uint32_t from = 0, int level = -1);

  // Inserts (key, recno), `key` being key-size bytes; equal keys stay in
  // ascending record number order.
  void Insert(const std::uint8_t* key, std::uint32_t recno);
  // Insert, a few entries late (above): the entry is copied into the queue
  // and the one queued 2 * kAhead entries before it is inserted. Looks ahead
  // only in a tree that started empty, with its pages in place, and while
  // most insertions leave the previous leaf; otherwise it is Insert.
  // Whatever reads the tree must come after FlushQueued.
  void InsertQueued(const std::uint8_t* key, std::uint32_t recno);
  // Inserts every entry still queued, in order.
  void FlushQueued();
  // Declares the tree empty (a build's new root), so that every entry it
  // will hold passes through Insert, which may then rely on what it has
  // seen of them: whether any held a NUL byte, the previous path. A tree
  // opened from a file makes no such use.
  void StartsEmpty() {
    knownEntries_ = true;
    height_ = 1;
  }
  // On (the default), an insertion into a tree that started empty and that
  // follows the previous insertion starts from its path (above); off, every
  // descent searches every page whole. The tree comes out the same either way.
  void SetFollowPreviousPath(bool on) { followEnabled_ = on; }
  // A tree that started empty, taken on by another tree object over the
  // same pages (or taken back after another changed them): its height,
  // whether any entry holds a NUL, and whether insertions are queued. Every
  // path remembered from before is forgotten.
  void Resume(int height, bool keyWithNul, bool lookAhead);
  int Height() const { return height_; }
  bool KeyWithNul() const { return keyWithNul_; }
  bool LooksAhead() const { return lookAhead_; }
  // Insertions made so far (Insert calls), the one under way included.
  std::uint64_t Insertions() const { return insertions_; }
  // The entry on its way up (Helper::Promoted).
  const std::uint8_t* PendingKey() const { return pendingKey_.data(); }
  std::uint32_t PendingRecNo() const { return pendingRecNo_; }
  std::uint32_t PendingChild() const { return pendingChild_; }
  std::uint32_t PendingRight() const { return pendingRight_; }
  // Inserts an entry promoted from the split of page `child` into `right`
  // into the page at `level` that holds child's entry, as the insertion that
  // split it would have, splitting pages above as it goes.
  void InsertPromoted(const std::uint8_t* key, std::uint32_t recno, std::uint32_t child,
                      std::uint32_t right, int level);
  // The pages and positions of (key, recno)'s path from the root down to
  // the page at `level`: pages[d], positions[d] for d = 0 .. height-1-level.
  void FindPath(const std::uint8_t* key, std::uint32_t recno, int level,
                std::vector<std::uint32_t>& pages, std::vector<std::size_t>& positions);
  // Whether (key, recno) orders after entry (otherKey, otherRecNo).
  bool OrdersAfter(const std::uint8_t* key, std::uint32_t recno, const std::uint8_t* otherKey,
                   std::uint32_t otherRecNo) const {
    const int c = order_.Compare(key, otherKey, g_.keySize);
    return c != 0 ? c > 0 : recno > otherRecNo;
  }

  using Accept = std::function<bool(std::uint32_t recno)>;
  // The first entry in index order whose first `len` key bytes compare equal
  // to `text` (at or after it when soft) and whose record `accept` takes;
  // 0 when there is none. With recno > 0, equal keys are placed by record
  // number against it.
  std::uint32_t Search(const std::uint8_t* text, std::size_t len, bool soft, std::uint32_t recno,
                       const Accept& accept);
  // Whether an entry with exactly this key (key-size bytes) is present.
  bool Contains(const std::uint8_t* key);
  // Exact searches of whole keys (key-size bytes each), the answers those of
  // Search one by one: found[i] for texts[i]. A few descents go on at once,
  // each asking for its next page before the others take their turn, so
  // that their trips to memory overlap.
  void SearchEach(std::span<const std::uint8_t* const> texts, const Accept& accept,
                  std::span<std::uint32_t> found);

 private:
  enum class Step { Found, NotFound, Stop };
  struct SearchState;

  std::uint32_t Root() const;
  // The page at `offset`, checked; the whole page is asked for at once
  // unless the caller did so already (`asked`).
  TXQNTXBuffers::Page FetchPage(std::uint32_t offset, std::uint32_t parent, bool asked = false);
  // The entry offset in slot i, checked to lie inside the page.
  std::uint16_t Entry(const ntx::PageReader& r, std::size_t i, std::uint32_t pageOffset) const {
    const std::uint16_t entry = r.Slot(i);
    if (!r.SlotValid(entry)) [[unlikely]]
      BadSlot(i, pageOffset, entry);
    return entry;
  }
  [[noreturn]] void BadSlot(std::size_t i, std::uint32_t pageOffset, std::uint16_t entry) const;
  // Whether a page may start at `offset`: a whole page inside the file.
  bool PageInside(std::uint32_t offset) const {
    return offset != 0 && offset % ntx::kBlockSize == 0 &&
           std::uint64_t{offset} + ntx::kBlockSize <= fileSize_;
  }
  // A walk that reached the depth cap below `parent`.
  [[noreturn]] void RaiseTooDeep(std::uint32_t parent) const;
  std::size_t Position(const ntx::PageReader& r, std::uint16_t count,
                       std::uint32_t pageOffset) const;
  // The same, knowing that every entry before `from` orders before the pending one.
  std::size_t PositionFrom(const ntx::PageReader& r, std::uint16_t count, std::uint32_t pageOffset,
                           std::size_t from) const;
  bool PendingOrdersAtOrBefore(const ntx::PageReader& r, std::size_t i,
                               std::uint32_t pageOffset) const;
  // The key order of the pending key against an entry's key.
  int ComparePending(const std::uint8_t* key) const {
    return CompareWith(pendingKey_.data(), plainBytes_, pendingHead_, pendingTail_, key);
  }
  // The same for any key: `plain` when byte order holds for it and the
  // entries (below), `head` and `tail` its words then.
  [[gnu::always_inline]] int CompareWith(const std::uint8_t* probe, bool plain, std::uint64_t head,
                                         std::uint64_t tail, const std::uint8_t* key) const {
    if (!plain) return order_.Compare(probe, key, g_.keySize);
    const std::size_t n = g_.keySize;
    int c;
    if (n >= 8 && n <= 16) {
      const std::uint64_t keyHead = LoadBigEndian64(key);
      if (keyHead != head) {
        c = head < keyHead ? -1 : 1;
      } else {
        const std::uint64_t keyTail = LoadBigEndian64(key + n - 8);
        c = tail == keyTail ? 0 : (tail < keyTail ? -1 : 1);
      }
    } else {
      c = std::memcmp(probe, key, n);
    }
    return order_.Descending() ? -c : c;
  }
  // Whether keys compare as plain bytes against every entry of this tree
  // (CompareWith): a tree that started empty, never took a key with a NUL,
  // and orders without weights.
  bool PlainEntries() const { return knownEntries_ && !keyWithNul_ && !order_.Weighted(); }
  // Whether the pending entry orders after the previous insertion's.
  bool PendingFollowsLast() const;
  bool InsertInto(std::uint32_t offset, std::uint32_t parent, int depth);
  bool InsertAlongHint();
  bool Settle(TXQNTXBuffers::Page& page, std::uint16_t count, std::size_t pos, int depth);
  // The pending entry, from the caller's key: its words when byte order holds.
  void SetPending(const std::uint8_t* key, std::uint32_t recno);
  // After the root split: a new root over its two halves.
  void GrowRoot();
  struct Queued;
  // Takes q's path on from where it stands until it holds `levels` levels,
  // and asks for the page below them; any doubt (a value out of place, a
  // page changed on the way) gives the path up, for Insert to meet.
  void LookAhead(Queued& q, int levels);
  // Whether none of the pages on q's path changed since it was found.
  bool PathUnchanged(const Queued& q) const;
  void InsertFirstQueued();
  // An inner page took an entry promoted from below (or split).
  void InnerPageChanged(std::uint32_t offset) { changed_[changes_++ % changed_.size()] = offset; }
  void InsertPending(TXQNTXBuffers::Page& page, std::uint16_t count, std::size_t pos);
  void Split(TXQNTXBuffers::Page& page, std::size_t pos, int depth);
  Step SearchPage(std::uint32_t offset, std::uint32_t parent, int depth, SearchState& s);

  TXQNTXBuffers& cache_;
  coding::MutableBytes header_;
  const ntx::Geometry g_;
  const KeyOrder& order_;
  std::uint64_t& fileSize_;
  const std::string& fileName_;
  Helper* helper_ = nullptr;
  std::uint64_t insertions_ = 0;
  // The depth at which InsertInto stops descending, the pending entry being
  // one promoted from below that page (InsertPromoted).
  int stopDepth_ = kMaxDepth + 1;

  // The entry on its way up: its child, record number and key, and the right
  // page of the split that produced it (0 for the entry being inserted).
  std::uint32_t pendingChild_ = 0;
  std::uint32_t pendingRecNo_ = 0;
  std::uint32_t pendingRight_ = 0;
  std::vector<std::uint8_t> pendingKey_;

  // The previous insertion: its entry, and per level from the root the page
  // it passed and the first position the next ascending entry may take.
  struct PathStep {
    std::uint32_t page = 0;
    std::size_t from = 0;
  };
  std::array<PathStep, kMaxDepth> path_{};
  int pathDepth_ = 0;        // levels of path_ that hold the previous insertion's path
  bool pathUsable_ = false;  // path_ holds a whole path: no split since it was taken
  bool followPath_ = false;  // the descent in progress is still on path_
  bool followEnabled_ = true;
  bool knownEntries_ = false;  // StartsEmpty was called
  bool keyWithNul_ = false;
  // Without weights and without NULs (a key compares only up to its first
  // NUL) the key order is that of the bytes as unsigned numbers: a key of 8
  // to 16 bytes compares as two big-endian words, its first eight bytes and
  // its last eight (they overlap below 16; the overlap is equal by then).
  // The pending key's words, read once.
  bool plainBytes_ = false;
  std::uint64_t pendingHead_ = 0, pendingTail_ = 0;
  std::array<std::uint8_t, ntx::kMaxKeySize> lastKey_{};
  std::uint32_t lastRecNo_ = 0;

  // Queued insertion. An entry waiting in the queue, and the pages and
  // positions of its path from the root as far as they were found.
  struct Queued {
    std::array<std::uint8_t, ntx::kMaxKeySize> key{};
    std::uint32_t recno = 0;
    std::uint64_t number = 0;          // in the order of queueing, from 1
    bool follows = false;              // orders after the entry queued before it
    bool noNul = false;                // the key holds no NUL byte
    std::uint64_t head = 0, tail = 0;  // its words, for a key of 8 to 16 bytes
    int levels = -1;                   // levels of the path found; -1: given up
    std::uint32_t below = 0;           // the page below them, asked for
    std::uint64_t changes = 0;         // changes_ when the path's first page was found
    std::array<std::uint32_t, kMaxDepth> page{};
    std::array<std::uint16_t, kMaxDepth> pos{};
  };
  static constexpr std::size_t kAhead = 4;  // entries between asking for a page and reading it
  // Whether to queue, chosen over each window of insertions by how often
  // they left the previous leaf.
  static constexpr std::uint32_t kChoiceWindow = 1024;
  bool lookAhead_ = false;
  std::uint32_t queuedSinceChoice_ = 0, leafChanges_ = 0;
  std::uint32_t lastLeaf_ = 0;
  std::array<Queued, 2 * kAhead> queue_{};
  std::size_t queueHead_ = 0, queued_ = 0;
  std::uint64_t queuedNumber_ = 0;
  const Queued* hint_ = nullptr;  // the path the insertion in progress follows
  int height_ = 0;                // levels, leaves included (a tree that started empty)
  // The last pages above the leaves that changed, by change number.
  std::array<std::uint32_t, 32> changed_{};
  std::uint64_t changes_ = 0;
  // Per level, the last position found there by a queued entry's path: the
  // next entry's may start from it, as the insertions start from theirs,
  // while the page has not changed.
  struct AheadStep {
    std::uint32_t page = 0;
    std::size_t from = 0;
    std::uint64_t changes = 0;
    std::uint64_t number = 0;  // of the entry that found it; 0: none
  };
  std::array<AheadStep, kMaxDepth> aheadPath_{};
};

}  // namespace tolk
