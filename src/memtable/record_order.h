// The ordering an index keeps: its entries sorted by the index's key. An
// entry names a record by number (0-based, in insertion order) and carries
// the 96-bit summary of the record's key (key_summary.h), so that most steps
// of a search decide on the entry alone without reading the record.
//
// The sequence is cut into blocks of at most kMaxBlock entries, so an
// insertion or removal moves the entries of one block and, when a block
// splits or empties, the block handles after it: filling a table costs
// O(n * (kMaxBlock + n / kMaxBlock)) moves instead of the O(n^2) of one flat
// array, and a search still bisects contiguous arrays.
//
// Invariants:
//   1. No block is empty, and none holds more than kMaxBlock entries.
//   2. fences_[b] is a copy of the last entry of block b.
//   3. A position {block, offset} names an entry when offset < the block's
//      size; the end position is {block count, 0}.
// Positions stay valid until the next Insert or Erase.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolk {

class RecordOrder {
 public:
  static constexpr std::size_t kMaxBlock = 256;

  struct Entry {
    std::uint64_t hi;  // key summary
    std::uint32_t lo;
    std::uint32_t recno;
  };

  struct Pos {
    std::size_t block = 0;
    std::size_t offset = 0;
    bool operator==(const Pos&) const = default;
  };

  std::size_t Size() const { return size_; }
  void Clear() {
    blocks_.clear();
    fences_.clear();
    size_ = 0;
  }

  Pos Begin() const { return {0, 0}; }
  Pos End() const { return {blocks_.size(), 0}; }
  bool IsEnd(Pos p) const { return p.block >= blocks_.size(); }
  const Entry& At(Pos p) const { return blocks_[p.block][p.offset]; }
  Pos Next(Pos p) const {
    if (++p.offset == blocks_[p.block].size()) p = {p.block + 1, 0};
    return p;
  }

  // The first position whose entry is not `before` the sought place, or
  // End(). `before` must hold for a prefix of the sequence and fail after it.
  template <class Before>
  Pos PartitionPoint(Before before) const {
    const std::size_t b = Bisect(fences_.data(), fences_.size(), before);
    if (b == blocks_.size()) return End();
    return {b, Bisect(blocks_[b].data(), blocks_[b].size(), before)};
  }

  // Inserts `e` in front of position `p` (End() appends) and answers its position.
  Pos Insert(Pos p, Entry e);
  // Removes the entry at `p`.
  void Erase(Pos p);

 private:
  // The number of leading entries of e[0..n) that are `before`. The loop
  // halves the range without branching on the comparison, which a bisection
  // over unpredictable keys otherwise mispredicts at every step.
  template <class Before>
  static std::size_t Bisect(const Entry* e, std::size_t n, Before& before) {
    if (n == 0) return 0;
    const Entry* base = e;
    while (n > 1) {
      const std::size_t half = n / 2;
      base = before(base[half]) ? base + half : base;
      n -= half;
    }
    return static_cast<std::size_t>(base - e) + (before(*base) ? 1 : 0);
  }

  std::vector<std::vector<Entry>> blocks_;
  std::vector<Entry> fences_;
  std::size_t size_ = 0;
};

}  // namespace tolk
