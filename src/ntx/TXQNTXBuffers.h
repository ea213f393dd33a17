// The page cache of one index. It holds groups of P consecutive pages (P =
// PagesPerBuffer), each group starting at a multiple of P * 1024 and read
// with one load; modified pages go back in one contiguous run per group.
//
// Size: with lbtAuto the group limit is 3 * round(log base (half page + 1)
// of (record count + 100000)), rounded half to even, and is stored back into
// LimitBuffers; lbtLimited takes LimitBuffers; lbtUnlimited has no limit.
// A 10-byte key (half page 25) over 5000 records gives 12 groups.
//
// Eviction: at the limit a miss reuses the unpinned group with the smallest
// use count (the first in list order on ties), after writing back its
// modified pages. A hit raises the group's use count; a reused group keeps
// its count. When every group is pinned the miss fails.
//
// In place (UseImageInPlace): while a build fills the store's image, and
// while the seeks read the copy it leaves, every page already has its place
// in memory and a group would only map onto it. Pages are then handed out
// where they lie in the image, with no group, no pin and no eviction;
// marking one modified extends the image over it, or writes it through to
// the file of a copy. The bytes the tree reads and writes are the same
// ones; only the bookkeeping goes: a tenth of a build of keys in random
// order, and of seeks, more.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "ntx/ntx_format.h"
#include "ntx/page_store.h"

namespace tolk {

enum class TXQLimitBuffersType { lbtAuto, lbtLimited, lbtUnlimited };

struct TXQLimitIndexPages {
  TXQLimitBuffersType LimitPagesType = TXQLimitBuffersType::lbtAuto;
  int LimitBuffers = 0;    // the group limit; computed under lbtAuto
  int PagesPerBuffer = 4;  // P, 1..510
};

// One cache group: P pages from `base`, their modified flags, pins and uses.
// Its bytes are its own block, or mapped onto the store's image.
struct TXQNTXBuffer {
  std::uint64_t base = 0;
  std::uint8_t* data = nullptr;
  std::unique_ptr<std::uint8_t[]> own;
  std::vector<std::uint8_t> modified;  // one flag per page
  int pins = 0;
  std::uint32_t uses = 0;
};

// Asks the processor for n bytes at p ahead of their use (a hint only).
inline void PrefetchBytes(const std::uint8_t* p, std::size_t n) {
#if defined(__GNUC__)
  // A whole page is 16 lines: 16 instructions, not a loop of 48.
#pragma GCC unroll 16
  for (std::size_t i = 0; i < n; i += 64) __builtin_prefetch(p + i);
#else
  (void)p;
  (void)n;
#endif
}

class TXQNTXBuffers {
 public:
  // A pinned page: its 1024 bytes stay in place until it is released (by
  // Release or the destructor).
  class Page {
   public:
    Page() = default;
    Page(Page&& o) noexcept { *this = std::move(o); }
    Page& operator=(Page&& o) noexcept {
      if (this != &o) {
        Release();
        data_ = o.data_;
        group_ = o.group_;
        store_ = o.store_;
        index_ = o.index_;
        offset_ = o.offset_;
        loaded_ = o.loaded_;
        o.data_ = nullptr;
        o.group_ = nullptr;
      }
      return *this;
    }
    ~Page() { Release(); }
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    std::span<std::uint8_t> Bytes() const { return {data_, ntx::kBlockSize}; }
    // Whether the get that pinned the page had to load its group.
    bool Loaded() const { return loaded_; }
    std::uint64_t Offset() const { return offset_; }
    void MarkModified();
    void Release() {
      if (group_) ReleaseGroup();
      data_ = nullptr;
    }
    explicit operator bool() const { return data_ != nullptr; }

   private:
    friend class TXQNTXBuffers;
    void ReleaseGroup();
    std::uint8_t* data_ = nullptr;
    TXQNTXBuffer* group_ = nullptr;  // null for a page in place
    PageStore* store_ = nullptr;     // a page in place: the store it lies in
    std::size_t index_ = 0;
    std::uint64_t offset_ = 0;
    bool loaded_ = false;
  };

  struct Stats {
    std::uint64_t hits = 0;        // of groups: pages in place are not counted
    std::uint64_t loads = 0;       // groups read from the store
    std::uint64_t writeBacks = 0;  // runs written to the store
    std::uint64_t pagesWritten = 0;
  };

  explicit TXQNTXBuffers(PageStore& store) : store_(store) {}
  ~TXQNTXBuffers() = default;
  TXQNTXBuffers(const TXQNTXBuffers&) = delete;
  TXQNTXBuffers& operator=(const TXQNTXBuffers&) = delete;

  // Sizes the cache for a table of `recordCount` records and an index of
  // half page `halfPage`. Drops every group without writing.
  void Configure(TXQLimitIndexPages& limits, std::int64_t recordCount, std::uint16_t halfPage);

  // The page at `offset` (a multiple of 1024), pinned. Raises the "no free
  // buffers" error when the group limit is reached and every group is pinned.
  Page Get(std::uint64_t offset) {
    if (inPlace_) {
      // A copy of a file that was cut after its build has no page past the
      // cut: that one is read from the file, into a group.
      if (std::uint8_t* data = store_.Map(offset, ntx::kBlockSize)) {
        Page p;
        p.data_ = data;
        p.store_ = &store_;
        p.offset_ = offset;
        p.loaded_ = true;  // nothing tells a cold page from a warm one
        return p;
      }
    }
    return GetFromGroup(offset);
  }
  // Asks the processor for the page at `offset` when it lies in place: a
  // hint, which pins nothing.
  void Prefetch(std::uint64_t offset) {
    if (inPlace_)
      if (const std::uint8_t* data = store_.Map(offset, ntx::kBlockSize))
        PrefetchBytes(data, ntx::kBlockSize);
  }
  // Writes back every modified page of every group.
  void Flush();
  // Drops every group without writing, and ends the pages in place. No page
  // may be pinned.
  void Clear();
  // From here until Clear, pages in place (above). The store must hold an
  // image (a build's, or its copy), and the cache no group. Getting a page
  // in place changes nothing in the cache or the store while the image
  // holds it: threads may read pages in place at once. Only
  // a limit that a build cannot reach qualifies: none, or the automatic one,
  // three times the depth of a tree of the table's records, where a build
  // pins a page a level and two more. A limit set by hand keeps the groups
  // and its error. Whether pages are in place:
  bool UseImageInPlace();
  bool InPlace() const { return inPlace_; }

  std::uint32_t UseCount(const Page& p) const { return p.group_ ? p.group_->uses : 0; }
  void SetUseCount(const Page& p, std::uint32_t uses) {
    if (p.group_) p.group_->uses = uses;
  }

  int GroupLimit() const { return limit_; }  // -1: no limit
  int PagesPerBuffer() const { return static_cast<int>(pagesPerGroup_); }
  int GroupCount() const { return static_cast<int>(groups_.size()); }
  const Stats& Statistics() const { return stats_; }

 private:
  Page GetFromGroup(std::uint64_t offset);
  void Load(TXQNTXBuffer& g, std::uint64_t base);
  void WriteBack(TXQNTXBuffer& g);
  Page Pin(TXQNTXBuffer& g, std::uint64_t offset, bool loaded);

  PageStore& store_;
  std::deque<TXQNTXBuffer> pool_;  // the groups; their places never move
  std::vector<std::pair<std::uint64_t, TXQNTXBuffer*>> groups_;  // (base, group), ascending base
  // A hit without a search: the group last loaded for each group number
  // modulo 64. An entry whose group has since moved to another base, or
  // never loaded, no longer matches its base and the list is searched.
  std::array<TXQNTXBuffer*, 64> recent_{};
  int spanShift_ = -1;  // log2 of the group span when it is a power of two
  std::size_t pagesPerGroup_ = 4;
  int limit_ = -1;
  bool autoLimit_ = false;
  bool inPlace_ = false;
  Stats stats_;
};

}  // namespace tolk
