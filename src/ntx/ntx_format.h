// The NTX index file: one ordered index (an order) over one dBASE table, a
// B-tree of fixed-size entries. This header is the one place that knows the
// offsets and constants; readers (header_reader.cpp, ntx_page_reader.h) and
// writers (header_writer.cpp, ntx_page_writer.h) include it.
//
// The file is a sequence of 1024-byte blocks: block 0 is the header, every
// further block is a page. Integers are little-endian and unsigned. A page
// reference is the absolute byte offset of the page (a multiple of 1024);
// 0 means "no page" (offset 0 is the header). Record numbers are the 1-based
// physical record numbers of the table.
//
// Header, 1024 bytes at offset 0:
//
//   OFFSET SIZE CONTENT
//        0    2 signature: 6, or 7 for the later dialect
//        2    2 update counter: 1 when built, +1 per write phase, 0 after 65531
//        4    4 offset of the root page
//        8    4 offset of the first free page, 0 when none
//       12    2 entry size = key size + 8
//       14    2 key size in bytes (at most 330)
//       16    2 key decimals (numeric keys), else 0
//       18    2 maximum entries per page
//       20    2 half page: the entries a page keeps when it is split
//       22  256 key expression, NUL-terminated (at most 255 characters)
//      278    1 unique flag
//      279    1 reserved, 0
//      280    1 descending flag
//      281    1 reserved, 0
//      282  256 FOR condition, NUL-terminated; empty: every record
//      538    8 order name, NUL-terminated when shorter than 8
//      546  478 zero
//
// Page geometry, from the entry size E = key size + 8:
//   n = (1020 - E) div (E + 2); half page = n div 2; maximum = n rounded down
//   to even. A 10-byte key: E 18, maximum 50, half 25.
//
// Page, 1024 bytes:
//
//   +-------+--------+--------+-----+--------+---------+---------+-----+----------+--------+
//   | count | slot 0 | slot 1 | ... | slot M | entry 0 | entry 1 | ... | entry M  | unused |
//   |  2    |   2    |   2    |     |   2    |    E    |    E    |     |    E     |        |
//   +-------+--------+--------+-----+--------+---------+---------+-----+----------+--------+
//   0       2                          2M+4 (M = maximum)                 2M+4+(M+1)E   1024
//
//   slot i holds the byte offset, within the page, of the entry in logical
//   position i. Entry: child page (4), record number (4), key (key size).
//
// Invariants:
//   1. A page holds `count` entries in logical order 0..count-1, and slot
//      `count` names one more entry that carries only a child offset: the
//      rightmost child, holding the keys after every key of the page.
//   2. Logical order lives in the slot table only. Inserting or removing an
//      entry rotates slot values; entry bytes never move within a page.
//   3. A formatted page has count 0 and slot i = 2M + 4 + i * E for i = 0..M;
//      the child offset of the entry in slot 0 is 0.
//   4. Keys ascend across the whole tree under the key comparison (descend
//      when the descending flag is set); equal keys ascend by record number.
//   5. Every leaf is at the same depth. A leaf has child offset 0 in every
//      slot; an inner page has a child in every slot 0..count.
//   6. The free list starts at header offset 8; within a free page the child
//      offset of the entry in slot 0 names the next free page (0 ends it).
//   7. A built file is the header, then pages; the first root is at 1024.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolk::ntx {

constexpr std::size_t kBlockSize = 1024;

// Header fields.
constexpr std::size_t kHeadSignature = 0;
constexpr std::size_t kHeadVersion = 2;
constexpr std::size_t kHeadRoot = 4;
constexpr std::size_t kHeadFreePage = 8;
constexpr std::size_t kHeadEntrySize = 12;
constexpr std::size_t kHeadKeySize = 14;
constexpr std::size_t kHeadKeyDecimals = 16;
constexpr std::size_t kHeadMaxItems = 18;
constexpr std::size_t kHeadHalfPage = 20;
constexpr std::size_t kHeadKeyExpr = 22;
constexpr std::size_t kHeadKeyExprSize = 256;
constexpr std::size_t kHeadUnique = 278;
constexpr std::size_t kHeadReserved1 = 279;
constexpr std::size_t kHeadDesc = 280;
constexpr std::size_t kHeadReserved2 = 281;
constexpr std::size_t kHeadForExpr = 282;
constexpr std::size_t kHeadForExprSize = 256;
constexpr std::size_t kHeadOrderName = 538;
constexpr std::size_t kHeadOrderNameSize = 8;
// The prefix re-read before each seek and written at the end of a write phase:
// signature, update counter, root, free-page head.
constexpr std::size_t kHeadRefreshSize = 12;

constexpr std::uint16_t kSignature = 6;
constexpr std::uint16_t kSignatureLater = 7;
// The update counter wraps to 0 once it has reached this value.
constexpr std::uint16_t kVersionWrap = 65531;

// Page fields.
constexpr std::size_t kPageCount = 0;
constexpr std::size_t kPageSlots = 2;
constexpr std::size_t kSlotSize = 2;

// Entry fields, relative to the entry's offset in its page.
constexpr std::size_t kEntryChild = 0;
constexpr std::size_t kEntryRecNo = 4;
constexpr std::size_t kEntryKey = 8;
constexpr std::size_t kEntryOverhead = 8;

// Two entries per page at least: (1020 - E) div (E + 2) >= 2 holds up to
// a key of 330 bytes.
constexpr std::size_t kMaxKeySize = 330;
// Slots 0..M live in the first 1024 bytes: M <= 510.
constexpr std::size_t kMaxItemsLimit = (kBlockSize - kPageSlots) / kSlotSize - 1;

struct Geometry {
  std::uint16_t keySize = 0;
  std::uint16_t entrySize = 0;
  std::uint16_t maxItems = 0;
  std::uint16_t halfPage = 0;
};

// The geometry a builder writes for a key of `keySize` bytes (1..330).
constexpr Geometry GeometryFor(std::size_t keySize) {
  const std::size_t e = keySize + kEntryOverhead;
  const std::size_t n = e < 1020 ? (1020 - e) / (e + 2) : 0;
  return Geometry{static_cast<std::uint16_t>(keySize), static_cast<std::uint16_t>(e),
                  static_cast<std::uint16_t>(n & ~std::size_t{1}),
                  static_cast<std::uint16_t>(n / 2)};
}

// Where the entry of slot i of a formatted page lies.
constexpr std::size_t FormattedSlot(const Geometry& g, std::size_t i) {
  return kPageSlots + kSlotSize * (static_cast<std::size_t>(g.maxItems) + 1) + i * g.entrySize;
}

// The lowest offset an entry may start at: just past slots 0..M.
constexpr std::size_t FirstEntryOffset(const Geometry& g) { return FormattedSlot(g, 0); }

static_assert(GeometryFor(10).maxItems == 50 && GeometryFor(10).halfPage == 25);
static_assert(GeometryFor(1).maxItems == 90 && GeometryFor(1).halfPage == 45);
static_assert(GeometryFor(20).maxItems == 32 && GeometryFor(20).halfPage == 16);
static_assert(GeometryFor(kMaxKeySize).maxItems == 2 && GeometryFor(kMaxKeySize + 1).maxItems == 0);
static_assert(FormattedSlot(GeometryFor(kMaxKeySize), 2) + kMaxKeySize + kEntryOverhead <=
              kBlockSize);

// Offsets of the one-byte lock taken around reads, by lock protocol.
constexpr std::uint64_t kLockOffsetDB4 = 0xEFFFFFFFu;
constexpr std::uint64_t kLockOffsetClipper = 1000000000u;
constexpr std::uint64_t kLockOffsetFox = 0x7FFFFFFEu;
constexpr std::uint64_t kLockOffsetClipperForFoxLob = 0;

}  // namespace tolk::ntx
