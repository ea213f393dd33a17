// Tables the fuzz targets start from: the shipped dictionary (from the TSV
// sources) and a small generated delivery.
#pragma once

#include <string>

#include "tools/dbf_writer.h"
#include "tools/delivery_generator.h"
#include "tools/tsv_table.h"

namespace tolk::fuzz {

// tabelas.dbf, anexos.dbf, DadosOrb.DBF and a small delivery (riscos.dbf,
// sinistros.dbf) in `folder` (ending with "/").
inline void WriteProgramFolder(const std::string& folder) {
  const std::string src = TOLK_SOURCE_DIR "/data/";
  tools::TsvToDbf(src + "tabelas.tsv", folder + "tabelas.dbf");
  tools::TsvToDbf(src + "anexos.tsv", folder + "anexos.dbf");
  tools::TsvToDbf(src + "DadosOrb.tsv", folder + "DadosOrb.DBF");
  tools::DeliveryOptions o = tools::SampleOptions();
  o.risks = 40;
  o.claims = 12;
  o.findingShare = 0.05;
  tools::WriteDeliveryDbf(tools::DeliveryGenerator(o), folder);
}

// The tickets table the NTX target seeks in: 300 records, every third
// ticket repeating the one before, every seventh record deleted.
inline void WriteTicketsTable(const std::string& path) {
  tools::DbfWriter w({{"BILHETE", 'C', 10}, {"VALOR", 'N', 6, 2}});
  for (int i = 1; i <= 300; ++i) {
    const int n = i % 3 == 0 ? i - 1 : i;
    w.AddRecord({std::to_string(1000000000 + n), "1.50"}, i % 7 == 0);
  }
  w.WriteFile(path);
}

}  // namespace tolk::fuzz
