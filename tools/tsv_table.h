// Readable text tables (UTF-8 TSV) turned into dBASE files. The first row
// names the columns as NAME:TYPE:WIDTH[:DECIMALS]; an optional first column
// named "*" marks deleted rows with "*". Lines starting with "#" and empty
// lines are skipped. Values are converted to Windows-1252.
#pragma once

#include <string>

#include "tools/dbf_writer.h"

namespace tolk::tools {

// Reads the TSV at `path` and writes the dBASE table at `out`; throws
// std::runtime_error naming the file and line on a malformed row.
void TsvToDbf(const std::string& path, const std::string& out);

}  // namespace tolk::tools
