// What both fronts take from Qt: the regional settings of the desktop
// locale, and the core's messages as Qt text.
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

// A message of the core for display (MensagemUtf8).
QString DisplayText(const std::string& message);

}  // namespace tolk
