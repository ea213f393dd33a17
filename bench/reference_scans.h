// The two references every table benchmark is measured against, in the same
// run: a plain sequential read of the file, and a scan written by hand for
// the file's layout (every C field tested for blanks, every N field parsed).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "dbf/TXQSmartDBF.h"

namespace tolk::bench {

// The file in 64 KiB blocks.
inline std::uint64_t PlainRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<char> buf(1 << 16);
  std::uint64_t sum = 0;
  ssize_t n;
  while ((n = ::read(fd, buf.data(), buf.size())) > 0) sum += static_cast<unsigned char>(buf[0]);
  ::close(fd);
  return sum;
}

inline std::uint64_t HandScan(const std::string& path) {
  TXQSmartDBF probe;
  probe.DBFFileName = path;
  probe.Open();
  const std::size_t header = probe.HeaderLength(), rl = probe.RecordLength();
  std::vector<std::pair<std::size_t, std::size_t>> cfields, nfields;
  for (int i = 0; i < probe.FieldCount(); ++i) {
    const auto& d = probe.FieldDef(i);
    (d.type == 'C' ? cfields : nfields).emplace_back(d.offset, d.width);
  }
  probe.Close();
  int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<char> buf(rl * (65536 / rl));
  std::uint64_t blanks = 0;
  double total = 0;
  std::uint64_t off = header;
  ssize_t n;
  while ((n = ::pread(fd, buf.data(), buf.size(), static_cast<off_t>(off))) >=
         static_cast<ssize_t>(rl)) {
    std::size_t recs = static_cast<std::size_t>(n) / rl;
    for (std::size_t r = 0; r < recs; ++r) {
      const char* rec = buf.data() + r * rl;
      if (rec[0] == '*') continue;
      for (auto [o, w] : cfields) {
        bool blank = true;
        for (std::size_t k = 0; k < w; ++k)
          if (rec[o + k] != ' ') {
            blank = false;
            break;
          }
        blanks += blank;
      }
      for (auto [o, w] : nfields) {
        const char* p = rec + o;
        const char* e = p + w;
        while (p < e && *p == ' ') ++p;
        double v = 0;
        std::from_chars(p, e, v);
        total += v;
      }
    }
    off += recs * rl;
  }
  ::close(fd);
  Keep(total);
  return blanks;
}

}  // namespace tolk::bench
