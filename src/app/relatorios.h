// The machine-readable outputs of a run: the findings as CSV and the
// run's summary as JSON. Both are UTF-8.
#pragma once

#include <string>

#include "app/Critica.h"

namespace tolk {

// The CSV header and one row (RFC 4180 quoting, CR LF line ends).
std::string CsvHeader(char separator);
std::string CsvRow(const Finding& f, char separator);

struct JsonInputs {
  std::string riskPath, claimPath, programFolder;
  bool failed = false;
  std::string error;  // the message that ended the run, UTF-8
};
// The summary of a run (see the README for its keys).
std::string JsonSummary(const EstadoCritica& e, const JsonInputs& in);

}  // namespace tolk
