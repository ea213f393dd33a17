// The texts the log is made of. Every text is Windows-1252; the regional
// settings come from the front that runs the validation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/format_settings.h"

namespace tolk {

// 110 "=".
const std::string& SeparatorLine();
// A real value with exactly 2 decimals, the regional thousands and decimal
// separators, "-" for a negative value that does not round to zero.
std::string AmountText(double value, const TFormatSettings& fs);
// A signed integer in plain digits.
std::string CountText(std::int64_t value);
// Short date, one blank, long time; the time is left out at exactly midnight.
std::string DateTimeText(double dateTime, const TFormatSettings& fs);
// The text followed by blanks up to `width`; a text as wide or wider is kept whole.
std::string PadRight(std::string_view text, std::size_t width);

// ---- Blocks of lines --------------------------------------------------------
// Each appends its lines, in order, to `out`.
using Linhas = std::vector<std::string>;

// A separator line and a blank: every block after the opening starts so.
void AbreBloco(Linhas& out);

// One field's line of a table's error summary: six columns of 20, the table,
// the field, the two counts and their share of `registros` (not 0).
std::string LinhaResumo(std::string_view tabela, std::string_view campo, std::int32_t erroNulo,
                        std::int32_t erroDom, std::int32_t registros, const TFormatSettings& fs);

// The missing-file notice: separator, blank, the notice, blank.
void AvisoFaltando(Linhas& out);

// One test of the reconciliation: separator, blank, title, column header,
// blank, then "Total R$" with the figure declared to the regulator, the sum
// of the delivery and the difference in percent, or `zerado` for a zero sum.
void BlocoComparacao(Linhas& out, const std::string& titulo, const std::string& cabecalho,
                     const std::string& zerado, double orb, double zav, const TFormatSettings& fs);

// The closing block: blank, separator, blank, the inconsistent premiums when
// there are any (count, total, blank), the end time, blank, separator.
void BlocoFinal(Linhas& out, std::int32_t inconsistentes, double somaInconsistentes, double fim,
                const TFormatSettings& fs);

}  // namespace tolk
