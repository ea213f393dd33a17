// How one record of a memory table lies in memory. The records of a table
// and its pending record share one layout: a fixed-size block of bytes, so
// that the records sit in one array and a field is read in place.
//
//   OFFSET          SIZE            CONTENT
//   0               ceil(n / 8)     value bits: bit i%8 of byte i/8 is set when
//                                   field i holds a value
//   slot offset     4               ftInteger: int32, native byte order
//   slot offset     8               ftFloat: double, native byte order
//   slot offset     2 + capacity    ftString: uint16 length, then the characters
//
// Slots follow the value bits in field order, each aligned to its own width;
// the stride is rounded up to 8 so that consecutive records stay aligned.
//
// Invariants:
//   1. A field without a value has all slot bytes zero.
//   2. The bytes of a string slot past its length are zero.
// So two fields hold the same value exactly when their bits and slot bytes
// are equal, which is how an edit finds out whether it moved a key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "dataset/TFieldType.h"
#include "memtable/collation.h"

namespace tolk {

// Where one field lies in a record.
struct FieldSlot {
  TFieldType type = TFieldType::ftUnknown;  // ftInteger, ftFloat or ftString
  std::uint32_t offset = 0;                 // of the slot
  std::uint32_t capacity = 0;               // characters of a string slot
  std::uint32_t bitByte = 0;                // byte of the value bit
  std::uint8_t bitMask = 0;
};

class RecordLayout {
 public:
  // The longest string field a record holds.
  static constexpr int kMaxStringSize = 8192;

  // Lays out fields of the given types and string sizes, in order. The types
  // are ftInteger, ftFloat and ftString with 1 <= size <= kMaxStringSize.
  void Build(const std::vector<FieldSlot>& fields);

  std::size_t Stride() const { return stride_; }
  const FieldSlot& Slot(int field) const { return slots_[static_cast<std::size_t>(field)]; }

  static bool HasValue(const std::uint8_t* rec, const FieldSlot& s) {
    return (rec[s.bitByte] & s.bitMask) != 0;
  }

  static std::int32_t Int(const std::uint8_t* rec, const FieldSlot& s) {
    std::int32_t v;
    std::memcpy(&v, rec + s.offset, sizeof v);
    return v;
  }
  static double Float(const std::uint8_t* rec, const FieldSlot& s) {
    double v;
    std::memcpy(&v, rec + s.offset, sizeof v);
    return v;
  }
  static std::string_view Str(const std::uint8_t* rec, const FieldSlot& s) {
    std::uint16_t len;
    std::memcpy(&len, rec + s.offset, sizeof len);
    return {reinterpret_cast<const char*>(rec + s.offset + 2), len};
  }

  // One field's value lifted out of a record, or a search value converted to
  // the field's type. A text refers to storage the caller keeps alive.
  struct Value {
    bool has = false;
    std::int32_t i = 0;
    double d = 0;
    std::string_view s;
  };

  static Value Load(const std::uint8_t* rec, const FieldSlot& s) {
    Value v;
    v.has = HasValue(rec, s);
    if (!v.has) return v;
    switch (s.type) {
      case TFieldType::ftInteger:
        v.i = Int(rec, s);
        break;
      case TFieldType::ftFloat:
        v.d = Float(rec, s);
        break;
      default:
        v.s = Str(rec, s);
        break;
    }
    return v;
  }
  // Writes the value; a text is cut to the slot's capacity.
  static void Store(std::uint8_t* rec, const FieldSlot& s, const Value& v);

  // Order of two values of a field of type `type`: no value first, numbers by
  // value (NaN after every number), strings by CompareCollated. Inline: the
  // searches of the table spend their time here.
  static int CompareValues(const Value& a, const Value& b, TFieldType type) {
    if (!a.has || !b.has) return a.has == b.has ? 0 : (a.has ? 1 : -1);
    switch (type) {
      case TFieldType::ftInteger:
        return a.i < b.i ? -1 : (b.i < a.i ? 1 : 0);
      case TFieldType::ftFloat:
        return CompareFloats(a.d, b.d);
      default:
        return CompareCollated(a.s, b.s);
    }
  }
  // CompareValues(a, b, type) == 0, faster: texts collate equal only when
  // identical, so their bytes decide.
  static bool EqualValues(const Value& a, const Value& b, TFieldType type) {
    if (!a.has || !b.has) return a.has == b.has;
    switch (type) {
      case TFieldType::ftInteger:
        return a.i == b.i;
      case TFieldType::ftFloat:
        return CompareFloats(a.d, b.d) == 0;
      default:
        return a.s == b.s;
    }
  }
  static int Compare(const std::uint8_t* a, const std::uint8_t* b, const FieldSlot& s) {
    return CompareValues(Load(a, s), Load(b, s), s.type);
  }
  // Whether the field holds the same value in both records, byte for byte.
  static bool Same(const std::uint8_t* a, const std::uint8_t* b, const FieldSlot& s);

 private:
  static int CompareFloats(double x, double y);
  static std::size_t SlotSize(const FieldSlot& s);

  std::vector<FieldSlot> slots_;
  std::size_t stride_ = 0;
};

}  // namespace tolk
