#include "dataset/number_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "dataset/byte_scan.h"

namespace tolk {

const TFormatSettings& DefaultFormatSettings() {
  static const TFormatSettings settings;
  return settings;
}

Decimal15 ToDecimal15(double value) {
  Decimal15 d;
  if (!std::isfinite(value)) {
    d.finite = false;
    d.zero = false;
    d.negative = std::signbit(value) && !std::isnan(value);
    return d;
  }
  if (value == 0) {
    std::memset(d.digits, '0', 15);
    return d;
  }
  d.zero = false;
  d.negative = value < 0;
  // "d.dddddddddddddde+XX": the shortest correctly rounded 15-digit form.
  char buf[40];
  auto res =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  const char* p = buf;
  int n = 0;
  for (; p < res.ptr && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9' && n < 15) d.digits[n++] = *p;
  while (n < 15) d.digits[n++] = '0';
  int exp10 = 0;
  if (p < res.ptr && *p == 'e') {
    ++p;
    if (*p == '+') ++p;
    std::from_chars(p, res.ptr, exp10);
  }
  d.exponent = exp10 + 1;
  return d;
}

namespace {

std::string NonFiniteText(const Decimal15& d) {
  // The digit string of a NaN or an infinity has no decimal form.
  return d.negative ? "-INF" : (d.zero ? "NAN" : "INF");
}

}  // namespace

std::string FloatToStrGeneral(double value, char decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  Decimal15 d = ToDecimal15(value);
  if (!d.finite) return NonFiniteText(d);
  if (d.zero) return "0";
  int n = 15;
  while (n > 1 && d.digits[n - 1] == '0') --n;
  std::string out;
  if (d.negative) out += '-';
  if (d.exponent > 15 || d.exponent < -4) {
    out += d.digits[0];
    if (n > 1) {
      out += decimalSeparator;
      out.append(d.digits + 1, n - 1);
    }
    out += 'E';
    out += std::to_string(d.exponent - 1);
    return out;
  }
  if (d.exponent <= 0) {
    out += '0';
    out += decimalSeparator;
    out.append(static_cast<std::size_t>(-d.exponent), '0');
    out.append(d.digits, n);
    return out;
  }
  if (n <= d.exponent) {
    out.append(d.digits, n);
    out.append(static_cast<std::size_t>(d.exponent - n), '0');
  } else {
    out.append(d.digits, d.exponent);
    out += decimalSeparator;
    out.append(d.digits + d.exponent, n - d.exponent);
  }
  return out;
}

std::string FormatFixed(double value, int decimals, char decimalSeparator, char groupSeparator) {
  if (std::isnan(value) || std::isinf(value)) return FloatToStrGeneral(value, decimalSeparator);
  Decimal15 d = ToDecimal15(value);
  if (!d.zero && d.exponent > 15) return FloatToStrGeneral(value, decimalSeparator);
  // Work on a digit string with room for a carry in front: value = 0.D x 10^exp.
  std::string digits(d.zero ? "" : d.digits);
  int exp = d.zero ? 0 : d.exponent;
  int keep = exp + decimals;  // digits left after rounding
  if (keep < 0) {
    digits.clear();
  } else if (keep < static_cast<int>(digits.size())) {
    bool up = digits[static_cast<std::size_t>(keep)] >= '5';
    digits.resize(static_cast<std::size_t>(keep));
    if (up) {
      int i = keep - 1;
      while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9')
        digits[static_cast<std::size_t>(i--)] = '0';
      if (i >= 0) {
        ++digits[static_cast<std::size_t>(i)];
      } else {
        digits.insert(digits.begin(), '1');
        ++exp;
      }
    }
  }
  bool allZero = digits.find_first_not_of('0') == std::string::npos;
  // Integer digits, then fraction digits, from 0.digits x 10^exp.
  std::string intPart, frac;
  for (int pos = 0; pos < exp; ++pos)
    intPart += pos < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(pos)] : '0';
  for (int k = 0; k < decimals; ++k) {
    int pos = exp + k;
    frac += (pos >= 0 && pos < static_cast<int>(digits.size()))
                ? digits[static_cast<std::size_t>(pos)]
                : '0';
  }
  std::size_t firstNonZero = intPart.find_first_not_of('0');
  intPart = firstNonZero == std::string::npos ? "0" : intPart.substr(firstNonZero);
  std::string out;
  if (d.negative && !allZero) out += '-';
  if (groupSeparator) {
    std::size_t lead = intPart.size() % 3;
    if (lead == 0) lead = 3;
    out.append(intPart, 0, lead);
    for (std::size_t i = lead; i < intPart.size(); i += 3) {
      out += groupSeparator;
      out.append(intPart, i, 3);
    }
  } else {
    out += intPart;
  }
  if (decimals > 0) {
    out += decimalSeparator;
    out += frac;
  }
  return out;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::int64_t> ParseInteger(std::string_view s, std::int64_t min, std::int64_t max) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  int base = 10;
  if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return std::nullopt;
  // Accumulate as a magnitude; the limit allows the one extra unit of a negative bound.
  const std::uint64_t limit =
      neg ? static_cast<std::uint64_t>(-(min + 1)) + 1 : static_cast<std::uint64_t>(max);
  std::uint64_t mag = 0;
  for (; i < s.size(); ++i) {
    int v = base == 10 ? ((s[i] >= '0' && s[i] <= '9') ? s[i] - '0' : -1) : HexValue(s[i]);
    if (v < 0) return std::nullopt;
    if (mag > (limit - static_cast<std::uint64_t>(v)) / static_cast<std::uint64_t>(base))
      return std::nullopt;
    mag = mag * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(v);
  }
  if (neg) return mag == 0 ? 0 : -static_cast<std::int64_t>(mag - 1) - 1;
  return static_cast<std::int64_t>(mag);
}

namespace {

const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common shape of a numeric field, "  -1234.56", in one pass: at most 15
// digits and no exponent. A mantissa below 10^15 and a power of ten up to
// 10^22 are exact doubles, so one division rounds correctly. nullopt when
// the text has another shape (the general parse then decides).
std::optional<double> ParseFloatFast(std::string_view s) {
  std::size_t i = LeadingBlanks(s.data(), s.size()), n = s.size();
  while (n > i && s[n - 1] == ' ') --n;
  bool neg = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  std::uint64_t m = 0;
  // The digits from i on, into m: how many. More than 19 may wrap m, but
  // then the number has more than 15 and is refused below.
  auto run = [&] {
    const std::size_t from = i;
    for (; i < n; ++i) {
      const unsigned d = static_cast<unsigned char>(s[i]) - '0';
      if (d > 9) break;
      m = m * 10 + d;
    }
    return static_cast<int>(std::min<std::size_t>(i - from, 16));
  };
  int digits = run(), frac = 0;
  if (i < n && s[i] == '.') {
    ++i;
    frac = run();
    digits += frac;
  }
  if (i != n || digits == 0 || digits > 15) return std::nullopt;
  double v = static_cast<double>(m);
  if (frac > 0) v /= kPow10[frac];
  return neg ? -v : v;
}

}  // namespace

std::optional<double> ParseFloat(std::string_view s) {
  if (auto fast = ParseFloatFast(s)) return fast;
  std::size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  while (n > i && s[n - 1] == ' ') --n;
  // One sign at most; from_chars takes a "-" but no "+".
  const std::size_t start = i < n && s[i] == '+' ? i + 1 : i;
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  std::size_t expPlus = 0;  // position of a "+" after the exponent mark
  const bool hasExp = i < n && (s[i] == 'e' || s[i] == 'E');
  if (hasExp) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
      if (s[i] == '+') expPlus = i;
      ++i;
    }
    std::size_t expDigits = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  double v = 0;
  if (!expPlus) {
    auto res = std::from_chars(s.data() + start, s.data() + n, v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != s.data() + n) return std::nullopt;
    return v;
  }
  // from_chars takes no "+" after the exponent mark either: drop it.
  std::string text(s.substr(start, n - start));
  text.erase(expPlus - start, 1);
  auto res = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size()) return std::nullopt;
  return v;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return (m == 2 && IsLeapYear(y)) ? 29 : days[m - 1];
}

bool IsValidDate(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);

}  // namespace

double EncodeDate(int y, int m, int d) {
  return static_cast<double>(DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) -
                             kEpoch);
}

void DecodeDate(double dt, int& y, int& m, int& d) {
  CivilFromDays(static_cast<std::int64_t>(std::trunc(dt)) + kEpoch, y, m, d);
}

void DecodeTime(double dt, int& h, int& mi, int& s) {
  double frac = std::fabs(dt - std::trunc(dt));
  // Round to the millisecond first, as a clock value is stored.
  std::int64_t ms = static_cast<std::int64_t>(std::llround(frac * 86400000.0));
  if (ms >= 86400000) ms = 86400000 - 1;
  std::int64_t secs = ms / 1000;
  h = static_cast<int>(secs / 3600);
  mi = static_cast<int>(secs / 60 % 60);
  s = static_cast<int>(secs % 60);
}

namespace {

void AppendNumber(std::string& out, int v, int width) {
  std::string t = std::to_string(v);
  if (static_cast<int>(t.size()) < width)
    out.append(static_cast<std::size_t>(width) - t.size(), '0');
  out += t;
}

}  // namespace

std::string FormatDateTimePattern(std::string_view p, double dt, const TFormatSettings& fs) {
  int y, mo, d, h, mi, s;
  DecodeDate(dt, y, mo, d);
  DecodeTime(dt, h, mi, s);
  bool ampm = p.find("AP") != std::string_view::npos || p.find("ap") != std::string_view::npos;
  std::string out;
  for (std::size_t i = 0; i < p.size();) {
    char c = p[i];
    if (c == '\'') {
      std::size_t j = p.find('\'', i + 1);
      if (j == std::string_view::npos) j = p.size();
      out.append(p.substr(i + 1, j - i - 1));
      i = j + 1;
      continue;
    }
    if ((c == 'A' || c == 'a') && i + 1 < p.size() && (p[i + 1] == 'P' || p[i + 1] == 'p')) {
      out += h < 12 ? fs.TimeAMString : fs.TimePMString;
      i += 2;
      continue;
    }
    std::size_t run = 1;
    while (i + run < p.size() && p[i + run] == c) ++run;
    switch (c) {
      case 'y':
        if (run >= 4)
          AppendNumber(out, y, 4);
        else
          AppendNumber(out, y % 100, 2);
        break;
      case 'M':
        AppendNumber(out, mo, run >= 2 ? 2 : 1);
        break;
      case 'd':
        AppendNumber(out, d, run >= 2 ? 2 : 1);
        break;
      case 'H':
        AppendNumber(out, h, run >= 2 ? 2 : 1);
        break;
      case 'h': {
        int hh = ampm ? (h % 12 == 0 ? 12 : h % 12) : h;
        AppendNumber(out, hh, run >= 2 ? 2 : 1);
        break;
      }
      case 'm':
        AppendNumber(out, mi, run >= 2 ? 2 : 1);
        break;
      case 's':
        AppendNumber(out, s, run >= 2 ? 2 : 1);
        break;
      default:
        out.append(run, c);
        break;
    }
    i += run;
  }
  return out;
}

std::string DateToStr(double dt, const TFormatSettings& fs) {
  return FormatDateTimePattern(fs.ShortDateFormat, dt, fs);
}

std::string DateTimeToStr(double dt, const TFormatSettings& fs) {
  std::string out = FormatDateTimePattern(fs.ShortDateFormat, dt, fs);
  if (dt - std::trunc(dt) != 0) {
    out += ' ';
    out += FormatDateTimePattern(fs.LongTimeFormat, dt, fs);
  }
  return out;
}

}  // namespace tolk
