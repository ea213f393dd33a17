// Walking a 1,000,000-record risks-like table: the table reader against a
// plain sequential read and a hand-written scan of the same file.
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>

#include "bench/bench_common.h"
#include "bench/risks_table.h"
#include "dbf/TXQSmartDBF.h"

using namespace tolk;

namespace {

// (a) The file in 64 KiB blocks, summing a byte of each block.
std::uint64_t PlainRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<char> buf(1 << 16);
  std::uint64_t sum = 0;
  ssize_t n;
  while ((n = ::read(fd, buf.data(), buf.size())) > 0) sum += static_cast<unsigned char>(buf[0]);
  ::close(fd);
  return sum;
}

// (b) A scan that knows the layout: every C field tested for blanks, the N field parsed.
std::uint64_t HandScan(const std::string& path) {
  TXQSmartDBF probe;
  probe.DBFFileName = path;
  probe.Open();
  const std::size_t header = probe.HeaderLength(), rl = probe.RecordLength();
  std::vector<std::pair<std::size_t, std::size_t>> cfields;
  std::size_t noff = 0, nwidth = 0;
  for (int i = 0; i < probe.FieldCount(); ++i) {
    const auto& d = probe.FieldDef(i);
    if (d.type == 'C') cfields.emplace_back(d.offset, d.width);
    else noff = d.offset, nwidth = d.width;
  }
  probe.Close();
  int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<char> buf(rl * (65536 / rl));
  std::uint64_t blanks = 0;
  double total = 0;
  std::uint64_t off = header;
  ssize_t n;
  while ((n = ::pread(fd, buf.data(), buf.size(), static_cast<off_t>(off))) >= static_cast<ssize_t>(rl)) {
    std::size_t recs = static_cast<std::size_t>(n) / rl;
    for (std::size_t r = 0; r < recs; ++r) {
      const char* rec = buf.data() + r * rl;
      if (rec[0] == '*') continue;
      for (auto [o, w] : cfields) {
        bool blank = true;
        for (std::size_t k = 0; k < w; ++k)
          if (rec[o + k] != ' ') { blank = false; break; }
        blanks += blank;
      }
      const char* p = rec + noff;
      const char* e = p + nwidth;
      while (p < e && *p == ' ') ++p;
      double v = 0;
      std::from_chars(p, e, v);
      total += v;
    }
    off += recs * rl;
  }
  ::close(fd);
  bench::Keep(total);
  return blanks;
}

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
  PlainRead(path);  // warm the page cache
  const int runs = 5;
  double a = bench::MedianSeconds(runs, [&] { bench::Keep(PlainRead(path)); });
  double b = bench::MedianSeconds(runs, [&] { bench::Keep(HandScan(path)); });
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
