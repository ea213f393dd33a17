// A stable sort of records by unsigned 64-bit words, least significant byte
// first: one counting pass for every byte at once, then one scattering pass
// per byte that the records do not all share (the zeros after short keys,
// the common first digits of numbered tickets cost nothing). For a few
// thousand records or more in no particular order, several times faster
// than a comparison sort; records whose words are all equal keep their
// order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tolk {

// Sorts the first n records of `records` (a vector) by word(record, 0),
// then word(record, 1), ... up to `Words` words; `scratch` holds at least n
// records and its contents are lost.
template <std::size_t Words, class Records, class Word>
void RadixSort(Records& records, Records& scratch, std::size_t n, Word word) {
  using T = typename Records::value_type;
  constexpr std::size_t kBytes = Words * 8;
  if (n < 2) return;
  std::vector<std::array<std::uint32_t, 256>> counts(kBytes);
  auto byteOf = [&](const T& r, std::size_t b) {  // b = 0: the least significant byte
    return static_cast<std::size_t>((word(r, Words - 1 - b / 8) >> (8 * (b % 8))) & 0xFF);
  };
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t b = 0; b < kBytes; ++b) ++counts[b][byteOf(records[i], b)];
  for (std::size_t b = 0; b < kBytes; ++b) {
    std::array<std::uint32_t, 256>& c = counts[b];
    if (c[byteOf(records[0], b)] == n) continue;
    std::uint32_t at = 0;
    for (std::uint32_t& k : c) at += std::exchange(k, at);
    for (std::size_t i = 0; i < n; ++i) scratch[c[byteOf(records[i], b)]++] = records[i];
    std::swap(records, scratch);
  }
}

}  // namespace tolk
