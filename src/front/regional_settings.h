// The regional settings a run takes, from the system's locale data: the
// separators and the short-date and long-time patterns as the run uses them
// (month and day names become numbers, a two-digit year becomes four digits,
// the time zone is left out). One implementation per toolkit: Qt's locale
// data on Linux, the user's locale settings on Windows.
#pragma once

#include <optional>
#include <string>

#include "dataset/format_settings.h"

namespace tolk {

// The settings of the locale named `locale` ("pt_BR", "en_US"; on Windows
// "pt-BR" as well), or of the user's own when it is empty; nothing for a
// name the system does not know. "C" and "POSIX" are the neutral settings.
std::optional<TFormatSettings> RegionalSettingsNamed(const std::string& locale);

}  // namespace tolk
