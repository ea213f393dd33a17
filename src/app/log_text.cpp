#include "app/log_text.h"

#include "dataset/number_format.h"

namespace tolk {

const std::string& SeparatorLine() {
  static const std::string line(110, '=');
  return line;
}

std::string AmountText(double value, const TFormatSettings& fs) {
  return FormatFixed(value, 2, fs.DecimalSeparator, fs.ThousandSeparator);
}

std::string CountText(std::int64_t value) { return std::to_string(value); }

std::string DateTimeText(double dateTime, const TFormatSettings& fs) {
  return DateTimeToStr(dateTime, fs);
}

std::string PadRight(std::string_view text, std::size_t width) {
  std::string out(text);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

}  // namespace tolk
