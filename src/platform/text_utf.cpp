// UTF-8 and UTF-16 by hand: the same answer on every system, whatever its
// code page or locale.
#include <cstdint>

#include "platform/system.h"

namespace tolk {

std::wstring Utf16(const std::string& utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  for (std::size_t i = 0; i < n;) {
    std::uint32_t c = s[i];
    std::size_t len = c < 0x80           ? 1
                      : (c >> 5) == 0x6  ? 2
                      : (c >> 4) == 0xE  ? 3
                      : (c >> 3) == 0x1E ? 4
                                         : 0;
    bool ok = len != 0 && i + len <= n;
    if (ok && len > 1) {
      c &= 0x7Fu >> len;
      for (std::size_t k = 1; k < len; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) {
          ok = false;
          break;
        }
        c = c << 6 | (s[i + k] & 0x3Fu);
      }
      // Overlong forms, surrogates and values past U+10FFFF are not text.
      static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
      ok = ok && c >= kLeast[len] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    }
    if (!ok) {
      out += L'\xFFFD';
      ++i;
      continue;
    }
    i += len;
    if (c >= 0x10000 && sizeof(wchar_t) == 2) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
  }
  return out;
}

std::string Utf8(const std::wstring& utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    auto c = static_cast<std::uint32_t>(utf16[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDFFF) {
      const bool pair = c < 0xDC00 && i + 1 < utf16.size() &&
                        static_cast<std::uint32_t>(utf16[i + 1]) >= 0xDC00 &&
                        static_cast<std::uint32_t>(utf16[i + 1]) <= 0xDFFF;
      if (pair) {
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(utf16[++i]) - 0xDC00);
      } else {
        c = 0xFFFD;
      }
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace tolk
