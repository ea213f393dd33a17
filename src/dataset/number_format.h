// Number and date texts that do not depend on the process locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dataset/format_settings.h"

namespace tolk {

// A double rounded to 15 significant decimal digits: value = 0.d1d2...d15 x 10^exponent.
struct Decimal15 {
  bool negative = false;
  bool zero = true;
  bool finite = true;
  char digits[16] = {};  // 15 digits, '0'..'9', NUL-terminated
  int exponent = 0;      // position of the decimal point relative to digits[0]
};
Decimal15 ToDecimal15(double value);

// The general number format: 15 significant digits, fixed notation for
// magnitudes from 0.00001 with at most 15 integer digits (trailing zeros and a
// bare separator removed), scientific ("1.5E20", "1E-7") otherwise.
std::string FloatToStrGeneral(double value, char decimalSeparator);

// Fixed notation with `decimals` places after rounding the 15-digit decimal
// form half away from zero; thousands grouped when groupSeparator is not 0.
// No sign for a value that rounds to zero. Values with more than 15 integer
// digits fall back to the general format.
std::string FormatFixed(double value, int decimals, char decimalSeparator, char groupSeparator);

// Integer text as the dBASE reader and the variant conversions accept it:
// leading blanks, optional sign, then decimal digits or a hexadecimal form
// ("$", "x", "X", "0x", "0X" and hex digits) up to the end. Nothing else.
std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min, std::int64_t max);

// Floating-point text: leading blanks, optional sign, digits, optional "."
// and digits, optional exponent, trailing blanks; at least one digit; "." is
// the only separator. Out-of-range values give no value.
std::optional<double> ParseFloat(std::string_view text);

// Dates as day numbers counted from 1899-12-30 (the integer part of a date-time).
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValidDate(int year, int month, int day);
double EncodeDate(int year, int month, int day);  // requires a valid date
void DecodeDate(double dateTime, int& year, int& month, int& day);
void DecodeTime(double dateTime, int& hour, int& minute, int& second);

// Formats a date-time with a pattern of TFormatSettings.
std::string FormatDateTimePattern(std::string_view pattern, double dateTime,
                                  const TFormatSettings& fs);
// Short date, plus a blank and the long time unless the time is exactly midnight.
std::string DateTimeToStr(double dateTime, const TFormatSettings& fs);
std::string DateToStr(double dateTime, const TFormatSettings& fs);

}  // namespace tolk
