// A structural reader of NTX files for the tests, written apart from the
// index code: it walks every page from the root and reports the first
// broken invariant, or the entries in index order.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tolk::testing {

struct NtxCheck {
  std::string error;  // empty when every invariant holds
  std::uint16_t keySize = 0;
  int depth = 0;  // levels, 1 for a lone root leaf
  std::uint32_t pages = 0;
  std::vector<std::pair<std::string, std::uint32_t>>
      entries;  // (key, record number) in index order
};

// Checks, for a file this program built:
//   - header: signature 6 or 7, entry size = key size + 8, maximum and half
//     page from the key size, empty free list, file size = whole blocks;
//   - every page reached exactly once from the root, and no other page;
//   - count <= maximum, slots 0..maximum distinct and naming whole entries
//     after the slot table; non-root pages hold at least half a page;
//   - a leaf has no children, an inner page a child in every slot 0..count;
//     every leaf at the same depth;
//   - (key, record number) strictly ascending in index order (descending
//     keys when the header says so).
NtxCheck CheckNtxBytes(const std::string& file);
NtxCheck CheckNtxFile(const std::string& path);

}  // namespace tolk::testing
