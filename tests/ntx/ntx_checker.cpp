#include "ntx/ntx_checker.h"

#include <set>

#include "dataset/coding.h"
#include "ntx/ntx_format.h"
#include "test_support.h"

namespace tolk::testing {

namespace {

using namespace tolk::ntx;
namespace c = tolk::coding;

struct Walker {
  c::Bytes file;
  Geometry g;
  bool desc = false;
  NtxCheck& out;
  std::set<std::uint32_t> seen;
  int leafDepth = -1;

  bool Fail(const std::string& what) {
    if (out.error.empty()) out.error = what;
    return false;
  }

  int Compare(const std::string& a, const std::string& b) const {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
      auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x != y) return desc ? y - x : x - y;
      if (y == 0) break;
    }
    return 0;
  }

  bool Emit(std::string key, std::uint32_t recno) {
    if (!out.entries.empty()) {
      const auto& [pk, pr] = out.entries.back();
      int cmp = Compare(pk, key);
      if (cmp > 0 || (cmp == 0 && pr >= recno))
        return Fail("entry (" + key + ", " + std::to_string(recno) + ") does not follow (" + pk +
                    ", " + std::to_string(pr) + ")");
    }
    out.entries.emplace_back(std::move(key), recno);
    return true;
  }

  bool Page(std::uint32_t offset, int depth, bool root) {
    const std::string where = "page " + std::to_string(offset);
    if (offset == 0 || offset % kBlockSize || offset + kBlockSize > file.size())
      return Fail(where + " is not a page of the file");
    if (!seen.insert(offset).second) return Fail(where + " is reached twice");
    if (depth > 64) return Fail("too deep");
    c::Bytes p = file.subspan(offset, kBlockSize);
    const std::uint16_t count = c::Load16(p, kPageCount);
    if (count > g.maxItems) return Fail(where + " holds more than the maximum");
    if (!root && count < g.halfPage) return Fail(where + " holds fewer than half a page");
    std::set<std::uint16_t> slots;
    for (std::size_t i = 0; i <= g.maxItems; ++i) {
      std::uint16_t s = c::Load16(p, kPageSlots + 2 * i);
      if (s < FirstEntryOffset(g) || s + g.entrySize > kBlockSize)
        return Fail(where + " has a slot outside");
      if (!slots.insert(s).second) return Fail(where + " has two slots naming one entry");
    }
    auto slot = [&](std::size_t i) { return c::Load16(p, kPageSlots + 2 * i); };
    const bool leaf = c::Load32(p, slot(0) + kEntryChild) == 0;
    for (std::size_t i = 0; i <= count; ++i)
      if ((c::Load32(p, slot(i) + kEntryChild) == 0) != leaf)
        return Fail(where + " mixes leaf and inner slots");
    if (leaf) {
      if (leafDepth < 0) leafDepth = depth;
      if (leafDepth != depth) return Fail(where + " is a leaf at another depth");
    }
    for (std::size_t i = 0; i <= count; ++i) {
      const std::uint16_t e = slot(i);
      if (!leaf && !Page(c::Load32(p, e + kEntryChild), depth + 1, false)) return false;
      if (i == count) break;
      std::string key(reinterpret_cast<const char*>(p.data() + e + kEntryKey), g.keySize);
      if (!Emit(std::move(key), c::Load32(p, e + kEntryRecNo))) return false;
    }
    return true;
  }
};

}  // namespace

NtxCheck CheckNtxBytes(const std::string& bytes) {
  NtxCheck out;
  c::Bytes file(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (bytes.size() < 2 * kBlockSize || bytes.size() % kBlockSize) {
    out.error = "file size " + std::to_string(bytes.size()) + " is not header plus whole pages";
    return out;
  }
  const std::uint16_t sig = c::Load16(file, kHeadSignature);
  if (sig != kSignature && sig != kSignatureLater) out.error = "bad signature";
  Geometry g;
  g.keySize = c::Load16(file, kHeadKeySize);
  g.entrySize = c::Load16(file, kHeadEntrySize);
  g.maxItems = c::Load16(file, kHeadMaxItems);
  g.halfPage = c::Load16(file, kHeadHalfPage);
  const Geometry want = GeometryFor(g.keySize);
  if (g.entrySize != want.entrySize || g.maxItems != want.maxItems || g.halfPage != want.halfPage)
    out.error = "header geometry does not follow from the key size";
  if (c::Load32(file, kHeadFreePage) != 0) out.error = "free list not empty";
  out.keySize = g.keySize;
  if (!out.error.empty()) return out;
  Walker w{file, g, c::Load8(file, kHeadDesc) != 0, out, {}, -1};
  if (w.Page(c::Load32(file, kHeadRoot), 1, true)) {
    out.pages = static_cast<std::uint32_t>(w.seen.size());
    if (out.pages != bytes.size() / kBlockSize - 1) out.error = "pages not reached from the root";
    out.depth = w.leafDepth;
  }
  return out;
}

NtxCheck CheckNtxFile(const std::string& path) { return CheckNtxBytes(ReadBytes(path)); }

}  // namespace tolk::testing
