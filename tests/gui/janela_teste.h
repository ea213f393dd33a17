// What the window's test programs share: a fixed clock, the log as the
// window shows it, and a window over a test's program folder.
#pragma once

#include <QLocale>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QtTest>
#include <memory>

#include "dataset/number_format.h"
#include "gui/TfrmInicio.h"

namespace tolk::testing {

// 08/12/2026 16:40:35, for logs that compare byte for byte.
inline double Relogio(void*) {
  return tolk::EncodeDate(2026, 12, 8) + (16 * 3600 + 40 * 60 + 35) / 86400.0;
}

// The log's lines as shown; an empty log is no lines at all.
inline QStringList LogShown(const TfrmInicio& w) {
  QStringList lines;
  for (QTextBlock b = w.edLog->document()->begin(); b.isValid(); b = b.next()) lines << b.text();
  if (lines == QStringList{QString()}) lines.clear();
  return lines;
}

// A window over the program folder `pasta`, Brazilian settings and the fixed
// clock, shown and exposed; null when the platform never exposes it.
inline std::unique_ptr<TfrmInicio> NovaJanela(const QString& pasta) {
  auto w = std::make_unique<TfrmInicio>();
  w->pastaPrograma = pasta;
  w->regional = QLocale(QLocale::Portuguese, QLocale::Brazil);
  w->relogio = &Relogio;
  w->show();
  if (!QTest::qWaitForWindowExposed(w.get())) return nullptr;
  return w;
}

}  // namespace tolk::testing
