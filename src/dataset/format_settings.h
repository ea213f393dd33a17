// Regional settings: a value handed down by the fronts (filled from the
// desktop locale). Nothing in the core reads the process locale.
#pragma once

#include <string>

namespace tolk {

struct TFormatSettings {
  char ThousandSeparator = ',';
  char DecimalSeparator = '.';
  // Date and time patterns: d dd M MM yy yyyy for the date; H HH (24 h),
  // h hh (12 h with AP/ap), m mm, s ss for the time; text in '...' is literal.
  std::string ShortDateFormat = "dd/MM/yyyy";
  std::string LongTimeFormat = "HH:mm:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
};

// The settings a table uses until its owner gives it others.
const TFormatSettings& DefaultFormatSettings();

}  // namespace tolk
