// Text helpers over single-byte (Windows-1252) strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dataset/byte_scan.h"

namespace tolk {

// Removes leading and trailing blanks and control characters (bytes <= 0x20).
inline std::string_view TrimView(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}
// Whether TrimView(s) is empty: every byte a blank or a control character.
inline bool NoText(std::string_view s) {
  return FirstAboveBlank(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()) == s.size();
}

inline std::string Trim(std::string_view s) { return std::string(TrimView(s)); }

inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Upper case of the letters a to z only; every other byte is kept.
inline std::string UpperCaseAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = UpperAscii(c);
  return r;
}

inline bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

}  // namespace tolk
