// Writes the seed corpus of every fuzz target into the folder given:
//   make_seeds DIR   ->  DIR/dbf/, DIR/critica/, DIR/expr/, DIR/ntx/
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/seed_tables.h"
#include "ntx/TXQDBFNTX.h"
#include "ntx/TXQNTXIndex.h"
#include "tools/dbf_writer.h"

namespace fs = std::filesystem;

namespace {

void Put(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const fs::path root = argv[1];
  for (const char* d : {"dbf", "critica", "expr", "ntx", "work"}) fs::create_directories(root / d);
  const std::string work = (root / "work").string() + "/";
  tolk::fuzz::WriteProgramFolder(work);
  Put(root / "critica" / "riscos.dbf", Read(work + "riscos.dbf"));
  Put(root / "dbf" / "riscos.dbf", Read(work + "riscos.dbf"));
  Put(root / "dbf" / "sinistros.dbf", Read(work + "sinistros.dbf"));
  Put(root / "dbf" / "tabelas.dbf", Read(work + "tabelas.dbf"));

  using tolk::tools::DbfWriter;
  DbfWriter types({{"C", 'C', 5},
                   {"N", 'N', 7},
                   {"G", 'N', 12},
                   {"F", 'F', 10, 3},
                   {"D", 'D', 8},
                   {"L", 'L', 1},
                   {"M", 'M', 10}});
  types.version = 0x83;
  types.AddRecord({"AB", "-45", "123456789012", "1.5E3", "20160229", "T", "1"});
  types.AddRecord({"", "$1F", "ABC", "1,5", "20170229", "?", ""}, true);
  types.gapAfterTerminator = 3;
  types.headerRecordCount = 9;
  Put(root / "dbf" / "types.dbf", types.Bytes());
  DbfWriter seven({{"ACTION", 'C', 10}, {"ID", 'I', 4}});
  seven.version = 0x30;
  seven.AddRecord({"x", "1234"});
  Put(root / "dbf" / "vfp.dbf", seven.Bytes());

  for (const char* e : {"bilhete", "BILHETE", "upper(bilhete)", "bilhete+cod_seg", "dtos(data)",
                        "(bilhete", "bilhete)", "\"abc\"", ".T.", "bilhete = 'x' .and. val(x) > 3"})
    Put(root / "expr" / (std::to_string(std::hash<std::string>()(e)) + ".txt"), e);
  // An index over the NTX target's table, built by the project itself.
  tolk::fuzz::WriteTicketsTable(work + "riscos_ntx.dbf");
  {
    tolk::TXQDBFNTX tb("tbRiscos");
    tb.DBFFileName = work + "riscos_ntx.dbf";
    tb.Open();
    auto& ind = dynamic_cast<tolk::TXQNTXIndex&>(tb.Indexes.Add("bilhete"));
    ind.SetKeyExpresion("bilhete");
    ind.SetNTXFileName(work + "bilhete.ntx");
    ind.SetCreateNow(true);
    tb.Close();
  }
  Put(root / "ntx" / "bilhete.ntx", Read(work + "bilhete.ntx"));
  fs::remove_all(root / "work");
  return 0;
}
