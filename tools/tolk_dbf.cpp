// tolk-dbf: the build's and the developers' dBASE helper.
//   tolk-dbf from-tsv IN.tsv OUT.dbf   write a table from readable text
//   tolk-dbf dump FILE.dbf             print the structure and record count
#include <cstdio>
#include <exception>
#include <string>

#include "dataset/cp1252.h"
#include "dbf/TXQSmartDBF.h"
#include "tools/tsv_table.h"

namespace {

int Dump(const std::string& path) {
  tolk::TXQSmartDBF t("tbDump");
  t.DBFFileName = path;
  t.Open();
  std::printf("%s: version 0x%02X, %d records, header %u bytes, record %u bytes\n", path.c_str(),
              t.VersionByte(), t.RecordCount(), t.HeaderLength(), t.RecordLength());
  std::printf("  %-10s %-4s %5s %3s  %s\n", "FIELD", "TYPE", "WIDTH", "DEC", "FIELD TYPE");
  for (int i = 0; i < t.FieldCount(); ++i) {
    const auto& d = t.FieldDef(i);
    std::printf("  %-10s %-4c %5u %3u  %d\n", tolk::Cp1252ToUtf8(d.name).c_str(), d.type, d.width,
                d.type == 'C' ? 0u : d.decimals, static_cast<int>(d.fieldType));
  }
  t.Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "from-tsv" && argc == 4) {
      tolk::tools::TsvToDbf(argv[2], argv[3]);
      return 0;
    }
    if (cmd == "dump" && argc == 3) return Dump(argv[2]);
    std::fprintf(stderr,
                 "usage: tolk-dbf from-tsv IN.tsv OUT.dbf\n       tolk-dbf dump FILE.dbf\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tolk-dbf: %s\n", e.what());
    return 1;
  }
}
