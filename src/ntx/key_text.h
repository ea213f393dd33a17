// The fixed-width key text of a value, by the kind of value:
//   String        unchanged (a bare C field: its stored characters, full width)
//   Boolean       "T" or "F"
//   Integer, Double: the numeric rule, with the field's width W and decimals D
//   Int64         the integer rule, with W
//   Date          YYYYMMDD
//   Null, Unassigned: `size` pad characters
//
// Numeric rule: the magnitude in fixed notation, W wide with D decimals,
// right-aligned, "." as separator, blanks then turned into "0". Too wide for
// W: W zeros, with "." at position W - D (1-based) when D > 0, and no sign.
// A negative value then maps every character c to 92 - c ("0" -> ",",
// "9" -> "#", "." stays), so negative keys order before the others and larger
// magnitudes first. The integer rule is the same without decimals.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/TFieldType.h"
#include "dataset/Variant.h"

namespace tolk {

// What a key expression records about the field it read.
struct KeyFieldInfo {
  TFieldType dataType = TFieldType::ftUnknown;
  int size = 0;      // column width in bytes
  int width = 0;     // descriptor length
  int decimals = 0;  // descriptor decimals for ftFloat and ftCurrency, else 0
};

void NumericKeyText(double value, int width, int decimals, std::string& out);
void IntegerKeyText(std::int64_t value, int width, std::string& out);
void DateKeyText(double dateTime, std::string& out);

// The key text of an expression result `v` read from field `f`.
void KeyTextOf(const Variant& v, const KeyFieldInfo& f, char pad, std::string& out);

}  // namespace tolk
