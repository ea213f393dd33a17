#include "ntx/key_text.h"

#include <charconv>
#include <cmath>

#include "dataset/number_format.h"

namespace tolk {

namespace {

// The character of a negative key: "0".."9" to ",".."#", "." unchanged.
void NegativeMapping(std::string& s) {
  for (char& c : s) c = static_cast<char>(92 - static_cast<unsigned char>(c));
}

void TooWide(int width, int decimals, std::string& out) {
  out.assign(static_cast<std::size_t>(width), '0');
  if (decimals > 0 && decimals < width) out[static_cast<std::size_t>(width - decimals - 1)] = '.';
}

}  // namespace

void NumericKeyText(double value, int width, int decimals, std::string& out) {
  if (width < 0) width = 0;
  if (decimals < 0) decimals = 0;
  if (!std::isfinite(value)) return TooWide(width, decimals, out);
  const bool negative = value < 0;
  const double magnitude = std::fabs(value);
  std::string text;
  if (magnitude < 1e15) {
    // Rounded half away from zero on the 15-digit decimal form, the way the
    // value reads when printed.
    text = FormatFixed(magnitude, decimals, '.', 0);
  } else {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return TooWide(width, decimals, out);
    text.assign(buf, r.ptr);
  }
  if (text.size() > static_cast<std::size_t>(width)) return TooWide(width, decimals, out);
  out.assign(static_cast<std::size_t>(width) - text.size(), '0');
  out += text;
  if (negative) NegativeMapping(out);
}

void IntegerKeyText(std::int64_t value, int width, std::string& out) {
  if (width < 0) width = 0;
  const bool negative = value < 0;
  const std::uint64_t magnitude = negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                           : static_cast<std::uint64_t>(value);
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, magnitude);
  const std::size_t n = static_cast<std::size_t>(r.ptr - buf);
  if (n > static_cast<std::size_t>(width)) return TooWide(width, 0, out);
  out.assign(static_cast<std::size_t>(width) - n, '0');
  out.append(buf, n);
  if (negative) NegativeMapping(out);
}

void DateKeyText(double dateTime, std::string& out) {
  int y = 0, m = 0, d = 0;
  DecodeDate(dateTime, y, m, d);
  char buf[8];
  const int parts[3][2] = {{y, 4}, {m, 2}, {d, 2}};
  std::size_t pos = 0;
  for (const auto& p : parts) {
    int v = p[0] < 0 ? 0 : p[0];
    for (int k = p[1] - 1; k >= 0; --k, v /= 10)
      buf[pos + static_cast<std::size_t>(k)] = static_cast<char>('0' + v % 10);
    pos += static_cast<std::size_t>(p[1]);
  }
  out.assign(buf, sizeof buf);
}

void KeyTextOf(const Variant& v, const KeyFieldInfo& f, char pad, std::string& out) {
  switch (v.Type()) {
    case VarType::String:
      out = v.Str();
      return;
    case VarType::Boolean:
      out.assign(1, v.Bool() ? 'T' : 'F');
      return;
    case VarType::Integer:
      NumericKeyText(v.Int(), f.width, f.decimals, out);
      return;
    case VarType::Double:
      NumericKeyText(v.Dbl(), f.width, f.decimals, out);
      return;
    case VarType::Int64:
      IntegerKeyText(v.Int64(), f.width, out);
      return;
    case VarType::Date:
      DateKeyText(v.Dbl(), out);
      return;
    case VarType::Null:
    case VarType::Unassigned:
    case VarType::Array:
      out.assign(static_cast<std::size_t>(f.size > 0 ? f.size : 0), pad);
      return;
  }
  out.clear();
}

}  // namespace tolk
