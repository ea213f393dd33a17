#include "memtable/record_layout.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace tolk {

namespace {

std::size_t AlignUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

}  // namespace

std::size_t RecordLayout::SlotSize(const FieldSlot& s) {
  switch (s.type) {
    case TFieldType::ftInteger:
      return 4;
    case TFieldType::ftFloat:
      return 8;
    default:
      return 2 + s.capacity;
  }
}

void RecordLayout::Build(const std::vector<FieldSlot>& fields) {
  slots_ = fields;
  std::size_t pos = std::max<std::size_t>(1, (slots_.size() + 7) / 8);
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    FieldSlot& s = slots_[i];
    assert(s.type == TFieldType::ftInteger || s.type == TFieldType::ftFloat ||
           (s.type == TFieldType::ftString && s.capacity >= 1 && s.capacity <= kMaxStringSize));
    const std::size_t align =
        s.type == TFieldType::ftFloat ? 8 : (s.type == TFieldType::ftInteger ? 4 : 2);
    pos = AlignUp(pos, align);
    s.offset = static_cast<std::uint32_t>(pos);
    s.bitByte = static_cast<std::uint32_t>(i / 8);
    s.bitMask = static_cast<std::uint8_t>(1u << (i % 8));
    if (s.type != TFieldType::ftString) s.capacity = 0;
    pos += SlotSize(s);
  }
  stride_ = AlignUp(pos, 8);
}

void RecordLayout::Store(std::uint8_t* rec, const FieldSlot& s, const Value& v) {
  std::uint8_t* p = rec + s.offset;
  if (!v.has) {
    rec[s.bitByte] &= static_cast<std::uint8_t>(~s.bitMask);
    std::memset(p, 0, SlotSize(s));
    return;
  }
  rec[s.bitByte] |= s.bitMask;
  switch (s.type) {
    case TFieldType::ftInteger:
      std::memcpy(p, &v.i, sizeof v.i);
      break;
    case TFieldType::ftFloat:
      std::memcpy(p, &v.d, sizeof v.d);
      break;
    default: {
      const auto len = static_cast<std::uint16_t>(std::min<std::size_t>(v.s.size(), s.capacity));
      std::memcpy(p, &len, sizeof len);
      if (len) std::memcpy(p + 2, v.s.data(), len);
      std::memset(p + 2 + len, 0, s.capacity - len);
      break;
    }
  }
}

int RecordLayout::CompareFloats(double x, double y) {
  // NaN equals NaN and follows every number, which keeps the order total.
  const bool nx = std::isnan(x), ny = std::isnan(y);
  if (nx || ny) return nx == ny ? 0 : (nx ? 1 : -1);
  return x < y ? -1 : (y < x ? 1 : 0);
}

bool RecordLayout::Same(const std::uint8_t* a, const std::uint8_t* b, const FieldSlot& s) {
  return HasValue(a, s) == HasValue(b, s) &&
         std::memcmp(a + s.offset, b + s.offset, SlotSize(s)) == 0;
}

}  // namespace tolk
