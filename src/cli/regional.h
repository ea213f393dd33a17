// Regional settings of the desktop locale (Qt), for the fronts.
#pragma once

#include <QLocale>
#include <QString>
#include <string>

#include "dataset/format_settings.h"

namespace tolk {

// The separators and the short-date and long-time patterns of `locale`,
// as the run uses them: month and day names become numbers, a two-digit
// year becomes four digits, and the time zone is left out.
TFormatSettings RegionalSettings(const QLocale& locale);

// A message of the core for display: UTF-8 when it is valid UTF-8 (file
// names come from the system as such), Windows-1252 otherwise.
QString DisplayText(const std::string& message);

}  // namespace tolk
