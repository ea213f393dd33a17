#include "app/decimal_text.h"

#include <charconv>
#include <cmath>

namespace tolk {

namespace {

DecimalText Normalize(bool negative, std::string digits, long long pointPos) {
  // digits as written (may have leading and trailing zeros); the point sits
  // after `pointPos` of them.
  std::size_t lead = 0;
  while (lead < digits.size() && digits[lead] == '0') ++lead;
  digits.erase(0, lead);
  pointPos -= static_cast<long long>(lead);
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  DecimalText d;
  if (digits.empty()) return d;  // zero, unsigned
  d.negative = negative;
  d.digits = std::move(digits);
  if (pointPos > 100000) pointPos = 100000;
  if (pointPos < -100000) pointPos = -100000;
  d.exponent = static_cast<int>(pointPos);
  return d;
}

}  // namespace

std::optional<DecimalText> ParseDecimal(std::string_view s) {
  std::size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  while (n > i && s[n - 1] == ' ') --n;
  bool neg = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  std::string digits;
  long long point = -1;
  std::size_t count = 0;
  for (; i < n; ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      digits += c;
      ++count;
    } else if (c == '.' && point < 0) {
      point = static_cast<long long>(digits.size());
    } else {
      break;
    }
  }
  if (count == 0) return std::nullopt;
  if (point < 0) point = static_cast<long long>(digits.size());
  long long exp = 0;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
    std::size_t expDigits = 0;
    for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i, ++expDigits)
      if (exp < 1000000) exp = exp * 10 + (s[i] - '0');
    if (expDigits == 0) return std::nullopt;
    if (eneg) exp = -exp;
  }
  if (i != n) return std::nullopt;
  return Normalize(neg, std::move(digits), point + exp);
}

DecimalText DecimalOf(double value) {
  if (!std::isfinite(value) || value == 0) return {};
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  auto d = ParseDecimal(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
  return d ? *d : DecimalText{};
}

int CompareDecimal(const DecimalText& a, const DecimalText& b) {
  const bool az = a.digits.empty(), bz = b.digits.empty();
  if (az && bz) return 0;
  if (az) return b.negative ? 1 : -1;
  if (bz) return a.negative ? -1 : 1;
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int mag;  // comparison of the magnitudes
  if (a.exponent != b.exponent) {
    mag = a.exponent < b.exponent ? -1 : 1;
  } else {
    int c = a.digits.compare(b.digits);  // no trailing zeros: plain comparison orders them
    mag = c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return a.negative ? -mag : mag;
}

}  // namespace tolk
