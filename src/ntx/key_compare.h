// The order of index keys. Keys are fixed-width byte strings compared over a
// length L (normally the key size):
//   - no collation: unsigned bytes from the first on, stopping after the
//     first NUL of the second key; the first difference decides;
//   - with a collation: each byte weighed through a 256-entry table, the
//     first difference of weights decides, NULs included;
//   - a descending order negates the result.
// There is no case folding: "abc" orders after "ABC".
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace tolk {

enum class TXQCollationTypes : int {
  cltNone = 0,
  cltCustom = 1,  // weights from CustomCollatingSequence
  cltClipper501Rus,
  cltGermanCollation,
  cltFrenchCollation,
  cltSpanishCollation,
  cltItalianCollation,
  cltSwedishCollation,
  cltPortugueseCollation,
  cltNorwegianCollation,
  cltFinnishCollation,
  cltDutchCollation,
  cltDanishCollation,
  cltGreek437Collation,
  cltGreek851Collation,
  cltIcelandic850Collation,
  cltIcelandic861Collation,
  cltPolish852Collation,
  cltHungarianCWICollation,
  cltHungarian852Collation,  // 19; 20 and above weigh as cltNone
};

// The identity sequence: "0;1;2;...;255;".
std::string IdentityCollatingSequence();

struct TXQCollation {
  TXQCollationTypes CollationType = TXQCollationTypes::cltNone;
  // 256 decimal weights, each followed by ";".
  std::string CustomCollatingSequence = IdentityCollatingSequence();
};

class KeyOrder {
 public:
  // The national tables are not carried: they weigh bytes as themselves.
  // A custom sequence with fewer than 256 readable weights keeps the
  // identity weight for the rest.
  void Configure(const TXQCollation& collation, bool desc);

  bool Descending() const { return desc_; }
  bool Weighted() const { return weighted_; }

  int Compare(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) const {
    const int r = weighted_ ? CompareWeights(a, b, n) : CompareBytes(a, b, n);
    return desc_ ? -r : r;
  }

  // The rank of a key's first byte in this order (0..255): keys whose first
  // bytes rank lower order first, whatever follows.
  int FirstByteRank(std::uint8_t b) const {
    int w = weighted_ ? weights_[b] : b;
    return desc_ ? 255 - w : w;
  }

 private:
  // Bytes, eight at a time where the host is little-endian: within a word
  // the first differing byte and the first NUL of `b` are the lowest ones.
  // A key of n >= 8 bytes ends with the word of its last eight bytes, which
  // may overlap the word before: the overlap has compared equal and without
  // a NUL, so it cannot decide. The sign of a difference is that of the two
  // words read most significant byte first: the bytes below the first
  // difference are equal.
  static int CompareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    if constexpr (std::endian::native == std::endian::little) {
      if (n >= 8) {
        for (std::size_t i = 0;;) {
          std::uint64_t x, y;
          std::memcpy(&x, a + i, 8);
          std::memcpy(&y, b + i, 8);
          const std::uint64_t zeros = (y - kOnes) & ~y & kHighs;  // exact for the lowest NUL
          const std::uint64_t diff = x ^ y;
          if ((diff | zeros) != 0) {
            const int d = diff ? std::countr_zero(diff) : 64;
            const int z = zeros ? std::countr_zero(zeros) : 64;
            if (z < d) return 0;  // equal up to and including b's NUL
            return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
          }
          if (i + 8 == n) return 0;
          i = i + 16 <= n ? i + 8 : n - 8;
        }
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return static_cast<int>(a[i]) - static_cast<int>(b[i]);
      if (b[i] == 0) break;
    }
    return 0;
  }

  int CompareWeights(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) const {
    for (std::size_t i = 0; i < n; ++i) {
      const int d = static_cast<int>(weights_[a[i]]) - static_cast<int>(weights_[b[i]]);
      if (d) return d;
    }
    return 0;
  }

  bool weighted_ = false;
  bool desc_ = false;
  std::array<std::uint8_t, 256> weights_{};
};

}  // namespace tolk
