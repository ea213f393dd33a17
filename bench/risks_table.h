// The risks-like table the benchmarks share: about 80 bytes a record, C
// fields of 1 to 17 characters, a C date AAAAMMDD, an N 12.2 premium, 0.5%
// of the records marked deleted, tickets mostly unique in random order.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "tools/dbf_writer.h"

namespace tolk::bench {

inline std::vector<tools::FieldSpec> RisksFields() {
  return {{"COD_SEG", 'C', 5},   {"BILHETE", 'C', 10},    {"DATA_COMP", 'C', 6},
          {"DATA_EMI", 'C', 8},  {"CLASSE_TAR", 'C', 1},  {"UF", 'C', 2},
          {"MUNICIPIO", 'C', 7}, {"CATEGORIA", 'C', 2},   {"CHASSI", 'C', 17},
          {"OBS", 'C', 9},       {"VAL_PREM", 'N', 12, 2}};
}

// Writes `n` records; the ticket of record i is a shuffled number, with 2%
// of the records reusing an earlier ticket.
inline void WriteRisksTable(const std::string& path, std::uint32_t n, std::uint32_t seed = 7) {
  tools::DbfWriter w(RisksFields());
  w.StreamTo(path);
  std::mt19937_64 rng(seed);
  std::vector<std::string> v(11);
  char buf[32];
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint64_t r = rng();
    std::uint64_t ticket = (static_cast<std::uint64_t>(i) * 2654435761u) % 4000000000u;
    if (r % 50 == 0 && i > 0)
      ticket = (static_cast<std::uint64_t>(r % i) * 2654435761u) % 4000000000u;
    std::snprintf(buf, sizeof buf, "%010llu", static_cast<unsigned long long>(ticket));
    v[0] = "05428";
    v[1] = buf;
    std::snprintf(buf, sizeof buf, "2017%02d", static_cast<int>(1 + r % 12));
    v[2] = buf;
    std::snprintf(buf, sizeof buf, "2017%02d%02d", static_cast<int>(1 + r % 12),
                  static_cast<int>(1 + (r >> 8) % 28));
    v[3] = buf;
    v[4] = std::string(1, static_cast<char>('1' + (r >> 16) % 6));
    v[5] = (r >> 20) % 2 ? "SP" : "RJ";
    std::snprintf(buf, sizeof buf, "%07d", static_cast<int>(3500000 + (r >> 24) % 99999));
    v[6] = buf;
    v[7] = std::to_string(10 + (r >> 30) % 20);
    v[8] = (r >> 34) % 10 == 0 ? "" : "9BWZZZ377VT004251";
    v[9] = (r >> 38) % 4 == 0 ? "OBSERVADO" : "";
    std::snprintf(buf, sizeof buf, "%.2f", 22.22 + static_cast<double>((r >> 40) % 20000) / 100.0);
    v[10] = buf;
    w.AddRecord(v, r % 200 == 0);  // 0.5% deleted
  }
  w.Finish();
}

}  // namespace tolk::bench
