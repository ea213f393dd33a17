// Exact comparison of decimal numbers as written, so that a premium of
// 22.21 compares equal to the bound 22.21 whatever binary double is nearest.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolk {

// value = (negative ? -1 : 1) x 0.digits x 10^exponent; digits has no
// leading or trailing zeros and is empty for zero.
struct DecimalText {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

// The floating-point grammar of numeric fields: blanks around, an optional
// sign, digits with an optional "." and fraction, an optional exponent.
std::optional<DecimalText> ParseDecimal(std::string_view text);
// The exact decimal value of a double (its shortest round-trip digits).
DecimalText DecimalOf(double value);
// <0, 0, >0 as a is below, equal to or above b.
int CompareDecimal(const DecimalText& a, const DecimalText& b);

}  // namespace tolk
