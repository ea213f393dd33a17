// The two tests of the record rules that stand on their own.
#pragma once

#include <string_view>

namespace tolk {

// True exactly when the text, trimmed of blanks and control characters, is
// `expected` characters long.
bool TamanhoOk(std::string_view text, int expected);

// The date test: year from characters 1-4, month from 5-6, day from 7-8 (or
// 1 when `tamanho` is 6). Each piece is a decimal number, leading blanks
// skipped and a sign allowed; anything else, an empty piece, a year outside
// 1900..currentYear + 5 or an impossible calendar date gives false. Never fails.
bool DataValida(std::string_view text, int tamanho, int currentYear);

}  // namespace tolk
