// The texts the log is made of. Every text is Windows-1252; the regional
// settings come from the front that runs the validation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

}  // namespace tolk
