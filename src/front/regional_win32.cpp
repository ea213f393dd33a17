// The regional settings from the user's locale settings, which is where a
// desktop program of this system takes them.
#include <windows.h>

#include <regex>

#include "dataset/cp1252.h"
#include "front/regional_settings.h"
#include "platform/system.h"

namespace tolk {

namespace {

std::string Info(const wchar_t* locale, LCTYPE type) {
  wchar_t buffer[128] = {};
  const int n = ::GetLocaleInfoEx(locale, type, buffer, 128);
  return n > 1 ? Utf8(std::wstring(buffer, static_cast<std::size_t>(n - 1))) : std::string();
}

char Cp1252Char(const std::string& utf8, char fallback) {
  if (utf8.empty()) return fallback;
  const std::string b = Utf8ToCp1252(utf8, fallback);
  return b.empty() ? fallback : b[0];
}

}  // namespace

std::optional<TFormatSettings> RegionalSettingsNamed(const std::string& name) {
  TFormatSettings fs;
  if (name == "C" || name == "POSIX") {
    fs.DecimalSeparator = '.';
    fs.ThousandSeparator = ',';
    fs.ShortDateFormat = "yyyy-MM-dd";
    fs.LongTimeFormat = "HH:mm:ss";
    return fs;
  }
  // "pt_BR" as other systems write it is "pt-BR" here.
  std::wstring locale = Utf16(name);
  for (wchar_t& c : locale)
    if (c == L'_') c = L'-';
  if (const std::size_t dot = locale.find(L'.'); dot != std::wstring::npos) locale.resize(dot);
  const wchar_t* which = name.empty() ? LOCALE_NAME_USER_DEFAULT : locale.c_str();
  if (!name.empty() && !::IsValidLocaleName(which)) return std::nullopt;

  fs.DecimalSeparator = Cp1252Char(Info(which, LOCALE_SDECIMAL), '.');
  // A narrow no-break space has no Windows-1252 byte: a no-break space stands in.
  fs.ThousandSeparator = Cp1252Char(Info(which, LOCALE_STHOUSAND), '\xA0');
  // Month and day names become numbers, a two-digit year four digits.
  std::string date = Info(which, LOCALE_SSHORTDATE);
  date = std::regex_replace(date, std::regex("M{3,}"), "MM");
  date = std::regex_replace(date, std::regex("d{3,}[,.]?\\s*"), "");
  if (date.find("yyyy") == std::string::npos) {
    const std::size_t yy = date.find("yy");
    if (yy != std::string::npos) date.replace(yy, 2, "yyyy");
  }
  // The morning and afternoon marker, "tt" here, is "AP" in the run's
  // patterns.
  std::string time = Info(which, LOCALE_STIMEFORMAT);
  time = std::regex_replace(time, std::regex("tt?"), "AP");
  const auto trim = [](std::string s) {
    const std::size_t b = s.find_first_not_of(" \t");
    const std::size_t e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
  };
  fs.ShortDateFormat = Utf8ToCp1252(trim(date));
  fs.LongTimeFormat = Utf8ToCp1252(trim(time));
  fs.TimeAMString = Utf8ToCp1252(Info(which, LOCALE_S1159));
  fs.TimePMString = Utf8ToCp1252(Info(which, LOCALE_S2359));
  return fs;
}

}  // namespace tolk
