// Key expressions and FOR conditions from arbitrary text, parsed against a
// table with a field of every type, then evaluated on its records and on
// supplied values.
#include <cstdint>
#include <string>
#include <string_view>

#include "dataset/Exceptions.h"
#include "dbf/TXQSmartDBF.h"
#include "fuzz/fuzz_support.h"
#include "ntx/TXQDBFExprParser.h"
#include "tools/dbf_writer.h"

namespace {

tolk::TXQSmartDBF& Table() {
  static tolk::TXQSmartDBF* table = [] {
    const std::string dir = tolk::fuzz::ScratchFolder();
    tolk::tools::DbfWriter w({{"BILHETE", 'C', 10},
                              {"VALOR", 'N', 9, 2},
                              {"TAXA", 'F', 10, 3},
                              {"DATA", 'D', 8},
                              {"PAGO", 'L', 1}});
    w.AddRecord({"A1", "-12.50", "1.5", "20240229", "T"});
    w.AddRecord({"", "", "", "", ""}, true);
    w.WriteFile(dir + "tipos.dbf");
    auto* t = new tolk::TXQSmartDBF("tbTipos");
    t->DBFFileName = dir + "tipos.dbf";
    t->Open();
    return t;
  }();
  return *table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tolk::TXQSmartDBF& t = Table();
  tolk::TXQDBFExprParser parser(t);
  try {
    parser.Parse(text);
  } catch (const tolk::Exception&) {
    return 0;
  }
  const tolk::Variant values[] = {tolk::Variant(std::string("A1")), tolk::Variant(-3.25),
                                  tolk::Variant()};
  for (t.First(); !t.Eof(); t.Next()) {
    try {
      (void)parser.EvaluateKey();
      (void)parser.EvaluateCondition();
    } catch (const tolk::Exception&) {
    }
  }
  for (bool partial : {false, true}) {
    try {
      (void)parser.EvaluateKeyWith(values, partial);
      (void)parser.EvaluateKeyWith({}, partial);
    } catch (const tolk::Exception&) {
    }
  }
  return 0;
}
