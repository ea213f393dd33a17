// A dBASE table from arbitrary bytes: open it, walk every record with deleted
// records shown and hidden, read every field every way. Errors are fine;
// crashes, hangs and reads outside a buffer are not.
#include <cstdint>

#include "dataset/Exceptions.h"
#include "dbf/TXQSmartDBF.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolk::fuzz::MemFile file(data, size);
  for (bool hide : {false, true}) {
    tolk::TXQSmartDBF t("tbFuzz");
    t.DBFFileName = file.Path();
    t.SetSetDeleted(hide);
    try {
      t.Open();
    } catch (const tolk::Exception&) {
      return 0;
    }
    int guard = 0;
    for (; !t.Eof() && guard < 100000; t.Next(), ++guard) {
      (void)t.Deleted();
      (void)t.RecNo();
      for (const auto& f : t.Fields()) {
        (void)f->IsNull();
        tolk::Variant v = f->AsVariant();
        try {
          (void)f->AsString();
          (void)f->AsFloat();
          if (!v.IsNull()) (void)tolk::VarToStr(v);
        } catch (const tolk::Exception&) {
        }
      }
    }
    (void)t.RecordCount();
    t.Close();
  }
  return 0;
}
