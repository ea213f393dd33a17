// Keyed searches and fills of a memory table shaped like the dictionary's
// domain table (integer, integer, string 5, string 7, one index on all four).
// Every figure is the median of kRuns runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "memtable/TqelMemTable.h"

namespace {

using tolk::TFieldType;
using tolk::TqelMemTable;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 7;
constexpr int kDomainRows = 5000;
constexpr int kSearches = 1'000'000;

struct Row {
  int tabela;
  int campo;
  std::string valor1;
  std::string valor2;
};

// A code of 1 to `width` upper-case letters and digits, padded with blanks to
// `width`, as domain values are stored and searched.
std::string Code(std::mt19937& rng, std::size_t width) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s(1 + rng() % width, ' ');
  for (char& c : s) c = alphabet[rng() % 36];
  s.resize(width, ' ');
  return s;
}

void Define(TqelMemTable& t, bool secondIndex) {
  t.Close();
  t.FieldDefs.Clear();
  t.FieldDefs.Add("tabela", TFieldType::ftInteger, 0, false);
  t.FieldDefs.Add("campo", TFieldType::ftInteger, 0, false);
  t.FieldDefs.Add("valor1", TFieldType::ftString, 5, false);
  t.FieldDefs.Add("valor2", TFieldType::ftString, 7, false);
  t.IndexDefs.Clear();
  t.IndexDefs.Add("index1", "tabela;campo;valor1;valor2");
  if (secondIndex) t.IndexDefs.Add("index2", "valor2;valor1;campo");
  t.CreateTable();
  t.Open();
  t.SetIndexName("index1");
}

void Fill(TqelMemTable& t, const std::vector<Row>& rows) {
  tolk::TField& tabela = t.FieldByName("tabela");
  tolk::TField& campo = t.FieldByName("campo");
  tolk::TField& valor1 = t.FieldByName("valor1");
  tolk::TField& valor2 = t.FieldByName("valor2");
  for (const Row& r : rows) {
    t.Append();
    tabela.SetAsVariant(r.tabela);
    campo.SetAsVariant(r.campo);
    valor1.SetAsVariant(r.valor1);
    valor2.SetAsVariant(r.valor2);
    t.Post();
  }
}

// Rows in random order over 10 tables of 25 fields each.
std::vector<Row> Rows(std::mt19937& rng, int count) {
  std::vector<Row> rows;
  rows.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    rows.push_back({1 + static_cast<int>(rng() % 10), 1 + static_cast<int>(rng() % 25),
                    Code(rng, 5), Code(rng, 7)});
  return rows;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Wall-clock and processor seconds of a run. On a shared machine the
// processor time leaves out the time given to other programs.
struct Timing {
  double wall;
  double cpu;
};

template <class F>
Timing Time(F run) {
  const auto wall = Clock::now();
  const std::clock_t cpu = std::clock();
  run();
  return {std::chrono::duration<double>(Clock::now() - wall).count(),
          static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC};
}

Timing Median(const std::vector<Timing>& runs) {
  std::vector<double> wall, cpu;
  for (const Timing& t : runs) {
    wall.push_back(t.wall);
    cpu.push_back(t.cpu);
  }
  return {Median(wall), Median(cpu)};
}

void BenchFindKey() {
  std::mt19937 rng(42);
  const std::vector<Row> rows = Rows(rng, kDomainRows);
  TqelMemTable t("qelAnexos");
  Define(t, false);
  Fill(t, rows);

  // Half the searches hit a row; the other half change the value of a row
  // (same table and field), as a value outside the domain does.
  std::vector<Row> queries;
  queries.reserve(kSearches);
  for (int i = 0; i < kSearches; ++i) {
    Row q = rows[rng() % rows.size()];
    if (i % 2) q.valor1 = Code(rng, 5);
    queries.push_back(q);
  }
  std::shuffle(queries.begin(), queries.end(), rng);

  std::vector<Timing> runs;
  long hits = 0;
  for (int run = 0; run < kRuns; ++run) {
    hits = 0;
    runs.push_back(Time([&] {
      for (const Row& q : queries) hits += t.FindKey({q.tabela, q.campo, q.valor1, q.valor2});
    }));
  }
  const Timing m = Median(runs);
  std::printf("FindKey, %d rows, %d calls (%ld hits): %.1f ns per call (processor time %.1f ns)\n",
              kDomainRows, kSearches, hits, m.wall * 1e9 / kSearches, m.cpu * 1e9 / kSearches);
}

// Answers the processor seconds per row.
double BenchFill(int count) {
  std::mt19937 rng(static_cast<unsigned>(count));
  const std::vector<Row> rows = Rows(rng, count);
  std::vector<Timing> runs;
  for (int run = 0; run < kRuns; ++run) {
    TqelMemTable t("qelAnexos");
    Define(t, true);
    runs.push_back(Time([&] { Fill(t, rows); }));
  }
  const Timing m = Median(runs);
  std::printf(
      "Append/Post, %d rows, two indexes: %.1f ms, %.0f ns per row (processor time %.1f ms)\n",
      count, m.wall * 1e3, m.wall * 1e9 / count, m.cpu * 1e3);
  return m.cpu / count;
}

}  // namespace

int main() {
  BenchFindKey();
  const double small = BenchFill(10'000);
  const double large = BenchFill(100'000);
  // Linear growth keeps this near 1; quadratic growth would make it near 10.
  std::printf("Append/Post cost per row, 100,000 rows against 10,000: x%.2f\n", large / small);
  return 0;
}
