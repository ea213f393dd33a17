#include "ntx/ntx_header.h"

namespace tolk::ntx {

namespace c = coding;

namespace {

// A NUL-terminated text field: the bytes up to the first NUL, or all of them.
std::string ReadText(c::Bytes header, std::size_t offset, std::size_t size) {
  if (!c::Fits(header.size(), offset, size)) return {};
  const auto* p = reinterpret_cast<const char*>(header.data() + offset);
  std::size_t n = 0;
  while (n < size && p[n] != '\0') ++n;
  return std::string(p, n);
}

}  // namespace

bool IsNtxSignature(std::uint16_t signature) {
  return signature == kSignature || signature == kSignatureLater;
}

HeaderPrefix ReadHeaderPrefix(c::Bytes header) {
  HeaderPrefix p;
  p.signature = c::Load16(header, kHeadSignature);
  p.version = c::Load16(header, kHeadVersion);
  p.root = c::Load32(header, kHeadRoot);
  p.freePage = c::Load32(header, kHeadFreePage);
  return p;
}

std::string ReadOrderName(c::Bytes header) {
  return ReadText(header, kHeadOrderName, kHeadOrderNameSize);
}

HeaderFields ReadHeader(c::Bytes header) {
  HeaderFields f;
  f.prefix = ReadHeaderPrefix(header);
  f.geometry.entrySize = c::Load16(header, kHeadEntrySize);
  f.geometry.keySize = c::Load16(header, kHeadKeySize);
  f.keyDecimals = c::Load16(header, kHeadKeyDecimals);
  f.geometry.maxItems = c::Load16(header, kHeadMaxItems);
  f.geometry.halfPage = c::Load16(header, kHeadHalfPage);
  f.keyExpr = ReadText(header, kHeadKeyExpr, kHeadKeyExprSize);
  f.unique = c::Load8(header, kHeadUnique) != 0;
  f.desc = c::Load8(header, kHeadDesc) != 0;
  f.forExpr = ReadText(header, kHeadForExpr, kHeadForExprSize);
  f.orderName = ReadOrderName(header);
  return f;
}

std::string GeometryProblem(const Geometry& g) {
  auto n = [](std::size_t v) { return std::to_string(v); };
  if (g.keySize == 0 || g.keySize > kMaxKeySize)
    return "the key size " + n(g.keySize) + " is outside 1.." + n(kMaxKeySize);
  if (g.entrySize != g.keySize + kEntryOverhead)
    return "the entry size " + n(g.entrySize) + " is not the key size " + n(g.keySize) + " + 8";
  if (g.maxItems < 2 || g.maxItems > kMaxItemsLimit)
    return "the page maximum " + n(g.maxItems) + " is outside 2.." + n(kMaxItemsLimit);
  if (g.halfPage == 0 || g.halfPage >= g.maxItems)
    return "the half page " + n(g.halfPage) + " does not lie between 1 and the page maximum " +
           n(g.maxItems);
  // A formatted page lays slots 0..maximum and maximum + 1 entries back to back.
  if (FormattedSlot(g, g.maxItems) + g.entrySize > kBlockSize)
    return n(g.maxItems + 1u) + " entries of " + n(g.entrySize) + " bytes do not fit in a page";
  return {};
}

}  // namespace tolk::ntx
