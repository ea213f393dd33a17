#include <algorithm>
#include <array>
#include <cstring>

#include "ntx/ntx_header.h"

namespace tolk::ntx {

namespace c = coding;

namespace {

// At most size - 1 characters and the terminating NUL.
void WriteText(c::MutableBytes header, std::size_t offset, std::size_t size,
               std::string_view text) {
  std::array<std::uint8_t, 256> field{};
  size = std::min(size, field.size());
  if (!text.empty()) std::memcpy(field.data(), text.data(), std::min(text.size(), size - 1));
  c::StoreBytes(header, offset, field.data(), size);
}

}  // namespace

void WriteHeaderPrefix(const HeaderPrefix& p, c::MutableBytes header) {
  c::Store16(header, kHeadSignature, p.signature);
  c::Store16(header, kHeadVersion, p.version);
  c::Store32(header, kHeadRoot, p.root);
  c::Store32(header, kHeadFreePage, p.freePage);
}

void WriteHeader(const HeaderFields& f, c::MutableBytes header) {
  std::fill(header.begin(), header.end(), std::uint8_t{0});
  WriteHeaderPrefix(f.prefix, header);
  c::Store16(header, kHeadEntrySize, f.geometry.entrySize);
  c::Store16(header, kHeadKeySize, f.geometry.keySize);
  c::Store16(header, kHeadKeyDecimals, f.keyDecimals);
  c::Store16(header, kHeadMaxItems, f.geometry.maxItems);
  c::Store16(header, kHeadHalfPage, f.geometry.halfPage);
  WriteText(header, kHeadKeyExpr, kHeadKeyExprSize, f.keyExpr);
  WriteText(header, kHeadForExpr, kHeadForExprSize, f.forExpr);
  WriteUniqueFlag(header, f.unique);
  WriteDescFlag(header, f.desc);
  WriteOrderName(header, f.orderName);
}

void WriteOrderName(c::MutableBytes header, std::string_view name) {
  if (std::any_of(name.begin(), name.end(),
                  [](char ch) { return static_cast<unsigned char>(ch) < 32; }))
    name = {};
  std::uint8_t field[kHeadOrderNameSize] = {};
  if (!name.empty()) std::memcpy(field, name.data(), std::min(name.size(), kHeadOrderNameSize));
  c::StoreBytes(header, kHeadOrderName, field, kHeadOrderNameSize);
}

void WriteUniqueFlag(c::MutableBytes header, bool unique) {
  c::Store8(header, kHeadUnique, unique ? 1 : 0);
}
void WriteDescFlag(c::MutableBytes header, bool desc) {
  c::Store8(header, kHeadDesc, desc ? 1 : 0);
}
void WriteRoot(c::MutableBytes header, std::uint32_t root) { c::Store32(header, kHeadRoot, root); }
void WriteFreePage(c::MutableBytes header, std::uint32_t freePage) {
  c::Store32(header, kHeadFreePage, freePage);
}

}  // namespace tolk::ntx
