// Building an NTX index over a 1,000,000-record risks-like table (C 10 key
// BILHETE, mostly unique, in random order) and 200,000 FindKey calls (95%
// hits) in random order, against a reference in the same run: std::sort of
// the same (key, record number) pairs and 200,000 std::lower_bound look-ups,
// and, for the build, random visits of the built index's pages (below).
// The build and the look-ups are timed both ways: with the tree built in the
// file itself, mapped, as a run builds it, and with the tree built in memory
// and written to the file at the end. Prints medians and ratios; asserts
// nothing.
//   bench_ntx [records] [lookups] [runs]
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <thread>

#include "bench/bench_common.h"
#include "bench/risks_table.h"
#include "ntx/TXQDBFNTX.h"
#include "ntx/TXQNTXIndex.h"
#include "platform/mapping.h"

using namespace tolk;

namespace {

using Key = std::array<char, 10>;
using Pair = std::pair<Key, std::uint32_t>;

Key ToKey(const std::string& s) {
  Key k;
  k.fill(' ');
  std::memcpy(k.data(), s.data(), std::min(s.size(), k.size()));
  return k;
}

// Medians of wall time and of processor time (std::clock) over `runs` runs:
// on a shared machine the processor time shows the work itself.
struct Timing {
  double wall = 0;
  double cpu = 0;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Timing Measure(int runs, const std::function<void()>& f) {
  std::vector<double> wall, cpu;
  for (int i = 0; i < runs; ++i) {
    const std::clock_t c0 = std::clock();
    wall.push_back(bench::Seconds(f));
    cpu.push_back(static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
  }
  return {bench::Median(wall), bench::Median(cpu)};
}

// What a build of tickets in random order waits for at least: one page of
// the index, at random, per ticket, the whole page asked for four visits
// ahead (as the build asks for its leaves) and eight of its lines read, one
// written. Over a copy of the index in large-page memory, the way a run maps
// it. The time per visit grows with the size of the index (misses of the
// address translation, longer trips to memory) even where the number of
// visits does not.
double PageVisits(const std::string& ntx, std::uint32_t visits, int runs) {
  std::vector<std::uint8_t> bytes;
  {
    std::FILE* f = std::fopen(ntx.c_str(), "rb");
    if (!f) return 0;
    bytes.resize(std::filesystem::file_size(ntx));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    bytes.resize(got);
  }
  const std::size_t pages = bytes.size() / 1024;
  if (pages < 2) return 0;
  const std::size_t length =
      (bytes.size() + mapping::kLargePage - 1) / mapping::kLargePage * mapping::kLargePage;
  std::uint8_t* image = mapping::MapZeroed(length);
  std::memcpy(image, bytes.data(), bytes.size());
  bytes = {};
  std::vector<std::uint32_t> order(visits);
  std::mt19937 rng(7);
  for (std::uint32_t& o : order) o = static_cast<std::uint32_t>(1 + rng() % (pages - 1));
  constexpr std::size_t kAhead = 4;
  std::uint64_t sum = 0;
  const Timing t = Measure(runs, [&] {
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (i + kAhead < order.size())
        PrefetchBytes(image + std::size_t{order[i + kAhead]} * 1024, 1024);
      std::uint8_t* page = image + std::size_t{order[i]} * 1024;
      for (std::size_t l = 0; l < 8; ++l) sum += page[(l * 7 % 16) * 64 + (sum & 7)];
      page[(sum & 15) * 64] = static_cast<std::uint8_t>(sum);
    }
  });
  bench::Keep(sum);
  mapping::UnmapZeroed(image, length);
  return t.wall;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t records = argc > 1 ? static_cast<std::uint32_t>(std::atol(argv[1])) : 1000000;
  const std::size_t lookups = argc > 2 ? static_cast<std::size_t>(std::atol(argv[2])) : 200000;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 3;

  bench::ScratchDir dir;
  const std::string table = dir.File("riscos.dbf");
  const std::string ntx = dir.File("bilhete.ntx");
  bench::WriteRisksTable(table, records);

  TXQDBFNTX tb("tbRiscos");
  tb.DBFFileName = table;
  tb.Open();
  std::vector<Pair> pairs;
  pairs.reserve(records);
  {
    const TField& f = tb.FieldByName("BILHETE");
    Variant v;
    for (; !tb.Eof(); tb.Next()) {
      f.GetVariant(v);
      pairs.emplace_back(ToKey(v.Str()), static_cast<std::uint32_t>(tb.RecNo()));
    }
  }

  // The probes: 95% keys of the table, 5% tickets no record has (the table's
  // tickets stay below 4,000,000,000).
  std::mt19937_64 rng(42);
  std::vector<std::string> probes;
  probes.reserve(lookups);
  for (std::size_t i = 0; i < lookups; ++i) {
    if (i % 20 == 19) {
      probes.push_back("9" + std::to_string(100000000 + rng() % 900000000));
    } else {
      const Key& k = pairs[rng() % pairs.size()].first;
      probes.emplace_back(k.data(), k.size());
    }
  }
  std::shuffle(probes.begin(), probes.end(), rng);

  // The index.
  TXQNTXIndex* ind = nullptr;
  // A new index over the tickets, not built yet; `inFile`: built in the file
  // itself, mapped (the table is open exclusively), as a run builds it.
  const auto newIndex = [&](bool inFile) {
    tb.Indexes.Clear();
    tb.DBFIndexDefs.Clear();
    ind = &dynamic_cast<TXQNTXIndex&>(tb.Indexes.Add("bilhete"));
    ind->SetKeyExpresion("bilhete");
    ind->SetNTXFileName(ntx);
    ind->WriteInBackground = inFile;
  };
  const Timing buildInFile = Measure(runs, [&] {
    newIndex(true);
    ind->SetCreateNow(true);
    ind->WaitWritten();
  });
  // The same with a second thread that inserts half of each batch, as the
  // run's thread does once it waits for the index; the same file. The seeks
  // below read this one.
  const std::string helpedExpected = ReadAll(ntx);
  const Timing buildHelped = Measure(runs, [&] {
    newIndex(true);
    std::atomic<bool> done{false};
    // False until the build has begun (and again once it has no batch left).
    std::thread helper([&] {
      while (!done.load())
        if (!ind->HelpBuild(std::chrono::milliseconds(10))) std::this_thread::yield();
    });
    try {
      ind->SetCreateNow(true);
    } catch (...) {
      done = true;
      helper.join();
      throw;
    }
    done = true;
    helper.join();
    ind->WaitWritten();
  });
  const bool helpedSame = ReadAll(ntx) == helpedExpected;
  const double visits = PageVisits(ntx, records, runs);
  std::size_t hits = 0;
  std::vector<Variant> values;
  values.reserve(probes.size());
  for (const auto& p : probes) values.emplace_back(p);
  const Timing seekInFile = Measure(runs, [&] {
    hits = 0;
    for (const Variant& v : values) hits += tb.FindKey({v});
  });
  const std::size_t hitsInFile = hits;
  // The build that writes its image to the file at the end, and its seeks.
  const Timing build = Measure(runs, [&] {
    newIndex(false);
    ind->SetCreateNow(true);
  });
  const Timing seek = Measure(runs, [&] {
    hits = 0;
    for (const Variant& v : values) hits += tb.FindKey({v});
  });
  // The same searches without moving the table (no record read).
  std::vector<std::string> keyTexts;
  for (const auto& p : probes) keyTexts.emplace_back(ToKey(p).data(), 10);
  std::size_t seekOnlyHits = 0;
  const Timing seekOnly = Measure(runs, [&] {
    seekOnlyHits = 0;
    for (const std::string& k : keyTexts) seekOnlyHits += ind->Seek(k, false, false) != 0;
  });
  const auto& stats = ind->Buffers().Statistics();
  const double fileMb = static_cast<double>(std::filesystem::file_size(ntx)) / (1 << 20);

  // The reference.
  std::vector<Pair> sorted;
  const Timing sortTime = Measure(runs, [&] {
    sorted = pairs;
    std::sort(sorted.begin(), sorted.end());
  });
  std::vector<Key> probeKeys;
  for (const auto& p : probes) probeKeys.push_back(ToKey(p));
  std::size_t refHits = 0;
  const Timing lookupTime = Measure(runs, [&] {
    refHits = 0;
    for (const Key& k : probeKeys) {
      auto it = std::lower_bound(sorted.begin(), sorted.end(), Pair{k, 0});
      refHits += it != sorted.end() && it->first == k;
    }
  });

  std::printf(
      "records %u, lookups %zu, median of %d runs (wall time; processor time in brackets)\n",
      records, lookups, runs);
  std::printf("  index file              %8.1f MB, cache limit %d groups of %d pages\n", fileMb,
              ind->LimitPages.LimitBuffers, ind->LimitPages.PagesPerBuffer);
  std::printf("  CreateNow               %8.3f s [%.3f]\n", build.wall, build.cpu);
  std::printf("    built in the file     %8.3f s [%.3f]   (mapped, as a run builds it)\n",
              buildInFile.wall, buildInFile.cpu);
  std::printf("    helped by a thread    %8.3f s [%.3f]   (half of each batch; %s file)\n",
              buildHelped.wall, buildHelped.cpu, helpedSame ? "the same" : "ANOTHER");
  std::printf("    page visits reference %8.3f s         built in the file / visits %5.2fx\n",
              visits, visits > 0 ? buildInFile.wall / visits : 0.0);
  std::printf(
      "  std::sort reference     %8.3f s [%.3f]   build / sort  %5.2fx [%.2fx]  (goal <= 4x)\n",
      sortTime.wall, sortTime.cpu, build.wall / sortTime.wall, build.cpu / sortTime.cpu);
  std::printf("  FindKey x %-7zu       %8.3f s [%.3f]   hits %zu (reference %zu)  (goal < 0.4 s)\n",
              lookups, seek.wall, seek.cpu, hits, refHits);
  std::printf("    over the mapped file  %8.3f s [%.3f]   hits %zu\n", seekInFile.wall,
              seekInFile.cpu, hitsInFile);
  std::printf("    index search alone    %8.3f s [%.3f]   (the same keys, table not moved)\n",
              seekOnly.wall, seekOnly.cpu);
  std::printf("  lower_bound reference   %8.3f s [%.3f]   FindKey / lower_bound %5.2fx [%.2fx]\n",
              lookupTime.wall, lookupTime.cpu, seek.wall / lookupTime.wall,
              seek.cpu / lookupTime.cpu);
  if (ind->Buffers().InPlace())
    std::printf("  page cache over all seeks: pages read in place in the image, no groups\n");
  else
    std::printf("  page cache over all seeks: %llu hits, %llu group loads\n",
                static_cast<unsigned long long>(stats.hits),
                static_cast<unsigned long long>(stats.loads));
  tb.Indexes.Clear();
  tb.Close();
  return hits == refHits && hitsInFile == refHits && helpedSame ? 0 : 1;
}
