// An NTX file from arbitrary bytes, attached to a small tickets table: open
// the table with it, activate it, and seek a few keys (short, exact,
// overlong, absent) with deleted records shown and hidden. Errors are fine;
// crashes, hangs and reads outside a page are not.
#include <cstdint>
#include <string>

#include "dataset/Exceptions.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/seed_tables.h"
#include "ntx/TXQDBFNTX.h"
#include "ntx/TXQNTXIndex.h"

namespace {

const std::string& TableFile() {
  static const std::string path = [] {
    const std::string p = tolk::fuzz::ScratchFolder() + "riscos.dbf";
    tolk::fuzz::WriteTicketsTable(p);
    return p;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolk::fuzz::MemFile ntx(data, size);
  for (bool shared : {false, true}) {
    tolk::TXQDBFNTX tb("tbRiscos");
    tb.DBFFileName = TableFile();
    if (shared) {
      tb.AccessMode = tolk::ShareDenyNone;
      tb.WaitBusyRes = 1;
    }
    try {
      auto& ind = dynamic_cast<tolk::TXQNTXIndex&>(tb.Indexes.Add("bilhete"));
      ind.SetNTXFileName(ntx.Path());
      tb.Open();
      tb.Indexes[0].SetActive(true);
      for (bool hide : {false, true}) {
        tb.SetSetDeleted(hide);
        for (const char* key :
             {"1000000001", "1000000002", "1000000300", "10000001", "", "0", "ZZZZZZZZZZZZZZZZ"})
          if (tb.FindKey({tolk::Variant(std::string(key))}))
            (void)tb.FieldByName("BILHETE").AsString();
        (void)tb.FindKey({tolk::Variant(42)});
      }
    } catch (const tolk::Exception&) {
    }
  }
  return 0;
}
