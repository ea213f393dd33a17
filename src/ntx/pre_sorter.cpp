#include "ntx/pre_sorter.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "dataset/byte_scan.h"
#include "dataset/radix_sort.h"

namespace tolk {

namespace {
constexpr std::size_t kPrefix = 8;
}  // namespace

NtxPreSorter::NtxPreSorter(std::size_t capacity, std::size_t keySize, const KeyOrder& order)
    : capacity_(std::max<std::size_t>(capacity, 1)),
      keySize_(keySize),
      order_(order),
      keys_(capacity_ * keySize),
      recnos_(capacity_),
      sorted_(capacity_),
      items_(capacity_),
      scratch_(capacity_) {}

void NtxPreSorter::Add(const std::uint8_t* key, std::uint32_t recno) {
  assert(count_ < capacity_);
  std::memcpy(keys_.data() + count_ * keySize_, key, keySize_);
  recnos_[count_] = recno;
  if (!nulInPrefix_ && std::memchr(key, 0, std::min(keySize_, kPrefix))) nulInPrefix_ = true;
  ++count_;
}

void NtxPreSorter::SortByBuckets() {
  // Deal the entries into buckets by first-byte rank (a counting sort).
  std::array<std::size_t, 257> start{};
  auto rankOf = [&](std::uint32_t i) {
    return keySize_ ? order_.FirstByteRank(keys_[i * keySize_]) : 0;
  };
  for (std::uint32_t i = 0; i < count_; ++i) ++start[static_cast<std::size_t>(rankOf(i)) + 1];
  for (std::size_t b = 1; b <= 256; ++b) start[b] += start[b - 1];
  std::array<std::size_t, 256> fill{};
  std::copy_n(start.begin(), 256, fill.begin());
  for (std::uint32_t i = 0; i < count_; ++i)
    sorted_[fill[static_cast<std::size_t>(rankOf(i))]++] = i;

  auto before = [&](std::uint32_t a, std::uint32_t b) {
    const int c =
        order_.Compare(keys_.data() + a * keySize_, keys_.data() + b * keySize_, keySize_);
    return c != 0 ? c < 0 : recnos_[a] < recnos_[b];
  };
  for (std::size_t b = 0; b < 256; ++b) {
    auto first = sorted_.begin() + static_cast<std::ptrdiff_t>(start[b]);
    auto last = sorted_.begin() + static_cast<std::ptrdiff_t>(start[b + 1]);
    if (last - first > 1) std::sort(first, last, before);
  }
}

void NtxPreSorter::SortByPrefix() {
  const std::size_t head = std::min(keySize_, kPrefix);
  const std::uint64_t flip = order_.Descending() ? ~std::uint64_t{0} : 0;
  for (std::uint32_t i = 0; i < count_; ++i) {
    const std::uint8_t* k = keys_.data() + i * keySize_;
    std::uint64_t p = 0;
    if (head == kPrefix)
      p = LoadBigEndian64(k);
    else
      for (std::size_t j = 0; j < kPrefix; ++j) p = (p << 8) | (j < head ? k[j] : 0);
    items_[i] = {p ^ flip, i};
  }
  const std::size_t tail = keySize_ - head;
  auto before = [&](const Item& a, const Item& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    if (tail) {
      const int c = order_.Compare(keys_.data() + a.index * keySize_ + head,
                                   keys_.data() + b.index * keySize_ + head, tail);
      if (c != 0) return c < 0;
    }
    return recnos_[a.index] < recnos_[b.index];
  };
  // Record numbers differ, so the order is strict and the sorted sequence
  // unique: any way of sorting gives it. Tickets issued one after another
  // come in order but for a few (a blank ticket, a short one); each of those
  // is moved to its place among the ones before it, which costs a search
  // and a shift. A batch that needs more shifting than a few passes' worth
  // is further from order than that, and is sorted.
  const auto first = items_.begin();
  const auto end = first + static_cast<std::ptrdiff_t>(count_);
  std::size_t shifted = 0;
  const std::size_t budget = 4 * count_;
  for (auto it = first + (count_ ? 1 : 0); it < end; ++it) {
    if (!before(*it, *(it - 1))) continue;
    const auto to = std::upper_bound(first, it, *it, before);
    shifted += static_cast<std::size_t>(it - to);
    std::rotate(to, it, it + 1);
    if (shifted > budget) {
      // By prefix (the passes move the items to the other buffer and back),
      // then equal prefixes by the rest of the key and the record number.
      RadixSort<1>(items_, scratch_, count_, [](const Item& i, std::size_t) { return i.prefix; });
      const auto sortedEnd = items_.begin() + static_cast<std::ptrdiff_t>(count_);
      for (auto run = items_.begin(); run < sortedEnd;) {
        auto next = run + 1;
        while (next < sortedEnd && next->prefix == run->prefix) ++next;
        if (next - run > 1) std::sort(run, next, before);
        run = next;
      }
      break;
    }
  }
  for (std::size_t k = 0; k < count_; ++k) sorted_[k] = items_[k].index;
}

void NtxPreSorter::Drain(const Sink& sink) {
  if (order_.Weighted() || nulInPrefix_)
    SortByBuckets();
  else
    SortByPrefix();
  for (std::size_t k = 0; k < count_; ++k)
    sink(keys_.data() + sorted_[k] * keySize_, recnos_[sorted_[k]]);
  count_ = 0;
  nulInPrefix_ = false;
}

}  // namespace tolk
