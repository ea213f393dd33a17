#include "app/regras.h"

#include <optional>

#include "dataset/number_format.h"
#include "dataset/text.h"

namespace tolk {

bool TamanhoOk(std::string_view text, int expected) {
  return static_cast<long long>(TrimView(text).size()) == expected;
}

namespace {

// A piece of the date as a signed decimal number; leading blanks skipped.
std::optional<long long> Piece(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i >= s.size()) return std::nullopt;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    v = v * 10 + (s[i] - '0');  // at most 4 digits: no overflow
  }
  return neg ? -v : v;
}

std::string_view Sub(std::string_view s, std::size_t pos, std::size_t len) {
  return pos >= s.size() ? std::string_view() : s.substr(pos, len);
}

}  // namespace

bool DataValida(std::string_view text, int tamanho, int currentYear) {
  // The usual shape first: eight (or six) digits.
  const std::size_t need = tamanho == 6 ? 6 : 8;
  if (text.size() == need || (tamanho == 6 && text.size() >= 6)) {
    int v[8] = {};
    bool digits = true;
    for (std::size_t k = 0; k < need; ++k) {
      unsigned d = static_cast<unsigned char>(text[k]) - '0';
      if (d > 9) {
        digits = false;
        break;
      }
      v[k] = static_cast<int>(d);
    }
    if (digits) {
      const int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
      const int m = v[4] * 10 + v[5];
      const int d = tamanho == 6 ? 1 : v[6] * 10 + v[7];
      return y >= 1900 && y <= currentYear + 5 && m >= 1 && m <= 12 && d >= 1 &&
             d <= DaysInMonth(y, m);
    }
  }
  auto year = Piece(Sub(text, 0, 4));
  auto month = Piece(Sub(text, 4, 2));
  auto day = tamanho == 6 ? std::optional<long long>(1) : Piece(Sub(text, 6, 2));
  if (!year || !month || !day) return false;
  if (*year < 1900 || *year > currentYear + 5) return false;
  if (*month < 1 || *month > 12 || *day < 1) return false;
  return *day <= DaysInMonth(static_cast<int>(*year), static_cast<int>(*month));
}

}  // namespace tolk
