// Walking a 1,000,000-record risks-like table: the table reader against a
// plain sequential read and a hand-written scan of the same file.
#include <cstdio>
#include <cstdlib>

#include "bench/bench_common.h"
#include "bench/reference_scans.h"
#include "bench/risks_table.h"
#include "dbf/TXQSmartDBF.h"

using namespace tolk;

namespace {

// (c) The table reader: SetDeleted on, every field's IsNull and value.
std::uint64_t ReaderWalk(const std::string& path, bool byValue) {
  TXQSmartDBF t("tbDados");
  t.DBFFileName = path;
  t.SetSetDeleted(true);
  t.Open();
  std::vector<const TField*> fields;
  for (const auto& f : t.Fields()) fields.push_back(f.get());
  std::uint64_t nulls = 0;
  Variant v;
  for (; !t.Eof(); t.Next()) {
    for (const TField* f : fields) {
      nulls += f->IsNull();
      if (byValue) {
        Variant w = f->AsVariant();
        bench::Keep(w);
      } else {
        f->GetVariant(v);
        bench::Keep(v);
      }
    }
  }
  t.Close();
  return nulls;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint32_t n = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 1000000;
  bench::ScratchDir dir;
  std::string path = dir.File("riscos.dbf");
  std::printf("generating %u records ...\n", n);
  bench::WriteRisksTable(path, n);
  bench::PlainRead(path);  // warm the page cache
  const int runs = 5;
  double a = bench::MedianSeconds(runs, [&] { bench::Keep(bench::PlainRead(path)); });
  double b = bench::MedianSeconds(runs, [&] { bench::Keep(bench::HandScan(path)); });
  double c = bench::MedianSeconds(runs, [&] { bench::Keep(ReaderWalk(path, false)); });
  double c2 = bench::MedianSeconds(runs, [&] { bench::Keep(ReaderWalk(path, true)); });
  std::printf("records: %u (medians of %d runs)\n", n, runs);
  std::printf("(a) plain read, 64 KiB blocks         %8.3f s\n", a);
  std::printf("(b) hand-written scan                 %8.3f s  %6.1f M records/s\n", b, n / b / 1e6);
  std::printf("(c) table walk, IsNull + value        %8.3f s  %6.1f M records/s\n", c, n / c / 1e6);
  std::printf("    the same with AsVariant by value  %8.3f s\n", c2);
  std::printf("(c)/(a) = %.2f   (c)/(b) = %.2f   goal (c)/(b) <= 2\n", c / a, c / b);
  return 0;
}
