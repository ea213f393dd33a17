// Fixture tables and indexes for the NTX suites, made with the project's
// own dBASE writer in a temporary folder.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "ntx/TXQDBFNTX.h"
#include "ntx/TXQNTXIndex.h"
#include "test_support.h"

namespace tolk::testing {

// A risks-like table: BILHETE C 10 and VALOR N 6.2; record i (1-based) holds
// keys[i - 1]; the record numbers in `deleted` carry the deletion mark.
inline std::string WriteTickets(const TempDir& dir, const std::vector<std::string>& keys,
                                const std::set<std::uint32_t>& deleted = {},
                                const std::string& name = "riscos.dbf") {
  tools::DbfWriter w({{"BILHETE", 'C', 10}, {"VALOR", 'N', 6, 2}});
  for (std::size_t i = 0; i < keys.size(); ++i)
    w.AddRecord({keys[i], "1.50"}, deleted.count(static_cast<std::uint32_t>(i + 1)) != 0);
  const std::string path = dir.File(name);
  w.WriteFile(path);
  return path;
}

inline void OpenTable(TXQDBFNTX& t, const std::string& path) {
  t.DBFFileName = path;
  t.Open();
}

// Adds an index over `expr` at `ntxPath`, not yet built.
inline TXQNTXIndex& AddIndex(TXQDBFNTX& t, const std::string& ntxPath,
                             const std::string& expr = "bilhete") {
  auto& ind = dynamic_cast<TXQNTXIndex&>(t.Indexes.Add("bilhete"));
  ind.SetKeyExpresion(expr);
  ind.SetNTXFileName(ntxPath);
  return ind;
}

// Adds an index over `expr`, builds it at `ntxPath` and activates it.
inline TXQNTXIndex& BuildIndex(TXQDBFNTX& t, const std::string& ntxPath,
                               const std::string& expr = "bilhete") {
  TXQNTXIndex& ind = AddIndex(t, ntxPath, expr);
  ind.SetCreateNow(true);
  return ind;
}

// Ten-character keys "K000000042" for the numbers given.
inline std::string Key10(std::uint64_t n) {
  std::string digits = std::to_string(n);
  return "K" + std::string(9 - std::min<std::size_t>(9, digits.size()), '0') + digits;
}

}  // namespace tolk::testing
