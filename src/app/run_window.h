// What a validation run needs from the window that shows it. The run knows
// nothing of widgets: the Qt window, the terminal front and the tests each
// implement this interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dataset/format_settings.h"

namespace tolk {

// One failing value, as the run counts it. The texts are the run's own and
// last only as long as the call that hands the finding over.
struct Finding {
  std::string_view table;   // the dictionary's table name, trimmed (Windows-1252)
  std::string_view file;    // the table's file, as the run was given it
  std::int64_t record = 0;  // physical record number in the table's file
  std::string_view field;   // the field's name
  // "nulo", "tamanho", "data", "dominio", "empresa" (a record of another
  // insurer), "sem_bilhete" (a claim whose ticket the risks lack),
  // "classe_tarifaria" (a premium outside its tariff class).
  const char* rule = "";
  std::string_view value;      // the field's stored text, trimmed
  std::string_view qualifier;  // dominio: the qualifying field's value; classe_tarifaria: the class
};

class RunWindow {
 public:
  virtual ~RunWindow() = default;
  // Log lines are Windows-1252 text without line ends.
  virtual void AddLine(const std::string& line) = 0;
  // Replaces line `index` (0-based) of the log; the run only replaces lines it wrote.
  virtual void ReplaceLine(int index, const std::string& line) = 0;
  virtual void ClearLog() = 0;
  // The vertical progress bar, 0 to 100. Called for every record read, so an
  // implementation acts only when the position changes.
  virtual void SetProgress(int position) = 0;
  // The box that ends a run that finished normally.
  virtual void ShowFinalMessage(const std::string& text) = 0;
  // Called every few thousand records and at the end of a table, so that a
  // window can repaint and a terminal can show how far the reading got.
  virtual void RecordsRead(const std::string& /*table*/, long long /*count*/) {}
  // Findings, one by one as they are counted, for a window that asks for
  // them; the log is the same either way.
  virtual bool WantsFindings() const { return false; }
  virtual void AddFinding(const Finding& /*finding*/) {}
};

// What the window hands to a run.
struct RunParameters {
  std::string riskPath;       // the text of the risks box, as typed
  std::string claimPath;      // the text of the claims box, as typed
  std::string programFolder;  // ends with the path separator
  TFormatSettings regional;
  // The clock: the current date-time as a day number from 1899-12-30.
  double (*clock)(void* context) = nullptr;
  void* clockContext = nullptr;
  double Now() const { return clock ? clock(clockContext) : 0.0; }
};

// The computer's clock in local time.
double SystemClock(void* context);

}  // namespace tolk
