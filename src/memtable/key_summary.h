// Key summaries: up to 96 bits, carried in every index entry, that order the
// entries of an index without reading their records. A search or insertion
// compares summaries first and reads records only where they tie.
//
// A summary is a sequence of at most three 32-bit words, one per key field,
// taken in key order and zero-padded:
//   ftInteger  the value with its sign bit flipped, so that unsigned order is
//              numeric order; no value gives 0, as does INT32_MIN;
//   ftString   CollatedPrefix of the text; no value gives 0;
//   ftFloat    nothing.
// The summary ends after a text (its word is only a prefix), at a float, and
// after a word of 0 (which stands for two different values).
//
// Invariant: for keys a < b in index order, Summary(a) <= Summary(b) as
// unsigned 96-bit numbers. Equal fields give equal words and end both
// summaries or neither; at the first field where a and b differ, the words
// either differ in the right direction or tie and end both summaries; past
// an end both hold the same zeros. So summaries that differ decide the
// order, and equal summaries decide nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "memtable/collation.h"
#include "memtable/record_layout.h"

namespace tolk {

struct KeySummary {
  static constexpr int kMaxWords = 3;

  std::uint64_t hi = 0;  // words 0 and 1
  std::uint32_t lo = 0;  // word 2
  int words = 0;         // words taken

  void Push(std::uint32_t word) {
    if (words < 2)
      hi |= static_cast<std::uint64_t>(word) << (32 * (1 - words));
    else
      lo = word;
    ++words;
  }
};

// The summary of the first n key fields; valueOf(i) gives key field i's value.
template <class ValueOf>
KeySummary Summarize(const std::vector<FieldSlot>& key, std::size_t n, ValueOf valueOf) {
  KeySummary s;
  for (std::size_t i = 0; i < n && s.words < KeySummary::kMaxWords; ++i) {
    const FieldSlot& f = key[i];
    if (f.type == TFieldType::ftFloat) break;
    const RecordLayout::Value v = valueOf(i);
    if (f.type == TFieldType::ftInteger) {
      const std::uint32_t word = v.has ? static_cast<std::uint32_t>(v.i) ^ 0x80000000u : 0;
      s.Push(word);
      if (word == 0) break;
    } else {
      s.Push(v.has ? CollatedPrefix(v.s) : 0);
      break;
    }
  }
  return s;
}

// Compares entry summary (hi, lo) with a search key's summary on the words
// the key took: entries below a key whose first n fields they precede, above
// one they follow, equal when the words cannot tell.
inline int CompareSummaries(std::uint64_t hi, std::uint32_t lo, const KeySummary& key) {
  const std::uint64_t hiMask =
      key.words >= 2 ? ~std::uint64_t{0} : (key.words == 1 ? 0xFFFFFFFF00000000u : 0);
  const std::uint32_t loMask = key.words >= 3 ? ~std::uint32_t{0} : 0;
  hi &= hiMask;
  lo &= loMask;
  if (hi != key.hi) return hi < key.hi ? -1 : 1;
  if (lo != key.lo) return lo < key.lo ? -1 : 1;
  return 0;
}

}  // namespace tolk
