#include "front/regional.h"

#include <QRegularExpression>

#include "app/explicacoes.h"
#include "dataset/cp1252.h"
#include "front/regional_settings.h"

namespace tolk {

namespace {

char Cp1252Char(const QString& s, char fallback) {
  if (s.isEmpty()) return fallback;
  std::string b = Utf8ToCp1252(s.left(1).toStdString(), fallback);
  return b.empty() ? fallback : b[0];
}

}  // namespace

TFormatSettings RegionalSettings(const QLocale& locale) {
  TFormatSettings fs;
  if (locale.language() == QLocale::C) {
    fs.DecimalSeparator = '.';
    fs.ThousandSeparator = ',';
    fs.ShortDateFormat = "yyyy-MM-dd";
    fs.LongTimeFormat = "HH:mm:ss";
    return fs;
  }
  fs.DecimalSeparator = Cp1252Char(locale.decimalPoint(), '.');
  // A narrow no-break space has no Windows-1252 byte: a no-break space stands in.
  fs.ThousandSeparator = Cp1252Char(locale.groupSeparator(), '\xA0');
  QString date = locale.dateFormat(QLocale::ShortFormat);
  date.replace(QRegularExpression("M{3,}"), "MM");
  date.replace(QRegularExpression("d{3,}[,.]?\\s*"), "");
  if (!date.contains("yyyy")) date.replace("yy", "yyyy");
  QString time = locale.timeFormat(QLocale::LongFormat);
  time.remove(QRegularExpression("\\s*t+"));
  fs.ShortDateFormat = Utf8ToCp1252(date.trimmed().toStdString());
  fs.LongTimeFormat = Utf8ToCp1252(time.trimmed().toStdString());
  fs.TimeAMString = Utf8ToCp1252(locale.amText().toStdString());
  fs.TimePMString = Utf8ToCp1252(locale.pmText().toStdString());
  return fs;
}

std::optional<TFormatSettings> RegionalSettingsNamed(const std::string& name) {
  const QLocale locale = name.empty() ? QLocale::system() : QLocale(QString::fromStdString(name));
  if (!name.empty() && locale.language() == QLocale::C && name != "C" && name != "POSIX")
    return std::nullopt;
  return RegionalSettings(locale);
}

QString DisplayText(const std::string& message) {
  return QString::fromStdString(MensagemUtf8(message));
}

}  // namespace tolk
