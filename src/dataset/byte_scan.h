// Reads of bytes eight at a time: a key's or a text's first eight bytes as
// one number, and scans of a field for the NUL that ends a stored text and
// the blanks that pad a number or fill an empty field. Every record of a
// run asks these of most of its fields.
//
// On a little-endian host the first byte of a word is its lowest: the first
// byte that differs from the one sought sets the lowest marked bit. The
// marks of a NUL, (x - 0x01..) & ~x & 0x80.., are exact up to the first NUL,
// and only the lowest is used. Other hosts, and fields of fewer than four
// bytes, go a byte at a time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tolk {

// The eight bytes at p as a big-endian number: two such words order as
// their bytes do, compared as unsigned numbers from the first.
inline std::uint64_t LoadBigEndian64(const void* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

namespace byte_scan {

// The first byte of p[0, n) that `marks` flags, n when none: marks(word)
// sets the top bit of each flagged byte, exactly for the lowest one, and
// `flagged` answers for one byte. A field of 4 to 7 bytes is read as two
// words that overlap; the last word of a longer one overlaps the word
// before it. Bytes seen clean in one word are clean in the other: only
// a flagged byte can mark another.
template <class Marks, class Flagged>
std::size_t FirstFlagged(const std::uint8_t* p, std::size_t n, Marks marks, Flagged flagged) {
  if constexpr (std::endian::native == std::endian::little) {
    auto lowest = [](std::uint64_t m) { return static_cast<std::size_t>(std::countr_zero(m)) / 8; };
    if (n >= 8) {
      std::uint64_t x;
      for (std::size_t i = 0; i + 8 <= n; i += 8) {
        std::memcpy(&x, p + i, 8);
        if (const std::uint64_t m = marks(x)) return i + lowest(m);
      }
      if (n % 8 == 0) return n;
      std::memcpy(&x, p + n - 8, 8);
      const std::uint64_t m = marks(x);
      return m ? n - 8 + lowest(m) : n;
    }
    if (n >= 4) {
      std::uint32_t a, b;
      std::memcpy(&a, p, 4);
      std::memcpy(&b, p + n - 4, 4);
      const std::uint64_t m = marks(std::uint64_t{a} | std::uint64_t{b} << 32);
      if (!m) return n;
      const std::size_t k = lowest(m);
      return k < 4 ? k : n - 8 + k;
    }
  }
  std::size_t i = 0;
  while (i < n && !flagged(p[i])) ++i;
  return i;
}

}  // namespace byte_scan

// The bytes of p[0, n) before the first NUL (n when there is none).
inline std::size_t BytesBeforeNul(const std::uint8_t* p, std::size_t n) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  return byte_scan::FirstFlagged(
      p, n, [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; },
      [](std::uint8_t c) { return c == 0; });
}

// The blanks (' ') that p[0, n) starts with.
inline std::size_t LeadingBlanks(const std::uint8_t* p, std::size_t n) {
  constexpr std::uint64_t kBlanks = 0x2020202020202020ull;
  // A byte of d = x ^ blanks that is not zero: its top bit, or a carry into
  // it from its low seven bits (which cannot carry further).
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  return byte_scan::FirstFlagged(
      p, n,
      [](std::uint64_t x) {
        const std::uint64_t d = x ^ kBlanks;
        return (((d & kLow7) + kLow7) | d) & ~kLow7;
      },
      [](std::uint8_t c) { return c != ' '; });
}

// The first byte of p[0, n) above a blank (unsigned), n when none.
inline std::size_t FirstAboveBlank(const std::uint8_t* p, std::size_t n) {
  // A byte below 0x80 reaches the top bit when 0x5F is added exactly when
  // it is above 0x20, and carries no further; a byte from 0x80 has it.
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kAdd = 0x5F5F5F5F5F5F5F5Full;
  return byte_scan::FirstFlagged(
      p, n, [](std::uint64_t x) { return (((x & kLow7) + kAdd) | x) & ~kLow7; },
      [](std::uint8_t c) { return c > ' '; });
}

inline std::size_t LeadingBlanks(const char* p, std::size_t n) {
  return LeadingBlanks(reinterpret_cast<const std::uint8_t*>(p), n);
}

inline bool AllBlanks(const std::uint8_t* p, std::size_t n) { return LeadingBlanks(p, n) == n; }

}  // namespace tolk
