// The build's pre-sorter: it collects up to C (key, record number) entries
// and gives them back in index order, so that the tree receives each batch
// sorted and consecutive insertions land on the same cached pages.
//
// Order: the key comparison, equal keys by ascending record number. The
// entries are dealt into 256 buckets by the rank of their first key byte
// (the byte, or its collation weight; reversed when descending) and each
// bucket is sorted on its own; walking the buckets in rank order gives the
// index order, since the first byte decides between buckets.
//
// Byte-ordered keys without a NUL among their first eight bytes (the usual
// case) sort on those eight bytes read as one big-endian number first: the
// same order, with the first byte as its most significant part, so the
// buckets come out of one sort.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ntx/key_compare.h"

namespace tolk {

class NtxPreSorter {
 public:
  NtxPreSorter(std::size_t capacity, std::size_t keySize, const KeyOrder& order);

  bool Full() const { return count_ == capacity_; }
  std::size_t Size() const { return count_; }
  std::size_t Capacity() const { return capacity_; }

  // Adds an entry; the caller flushes before adding to a full sorter.
  void Add(const std::uint8_t* key, std::uint32_t recno);

  // Calls `sink` for every entry in index order, then empties the sorter.
  using Sink = std::function<void(const std::uint8_t* key, std::uint32_t recno)>;
  void Drain(const Sink& sink);

 private:
  struct Item {
    std::uint64_t prefix;
    std::uint32_t index;
  };
  void SortByBuckets();
  void SortByPrefix();

  std::size_t capacity_;
  std::size_t keySize_;
  const KeyOrder& order_;
  std::size_t count_ = 0;
  bool nulInPrefix_ = false;
  std::vector<std::uint8_t> keys_;
  std::vector<std::uint32_t> recnos_;
  std::vector<std::uint32_t> sorted_;  // entry numbers in index order
  std::vector<Item> items_;
  std::vector<Item> scratch_;
};

}  // namespace tolk
