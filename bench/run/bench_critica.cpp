// A whole validation run over a generated delivery, stage by stage, beside
// a plain read and a hand-written scan of the same two files.
//   bench_critica [RISKS] [RUNS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/Critica.h"
#include "cli/relatorios.h"
#include "bench/bench_common.h"
#include "bench/reference_scans.h"
#include "dataset/number_format.h"
#include "tools/delivery_generator.h"

using namespace tolk;
using Clock = std::chrono::steady_clock;

namespace {

// Marks the stages by what the run shows: the progress positions it sets
// and the record-count line each table ends with.
class StageClock : public RunWindow {
 public:
  Clock::time_point start, risksStart, claimsStart, crossStart, reconStart, end;
  std::vector<Clock::time_point> totals;  // each "Total de registros"
  int last = -1;
  void AddLine(const std::string& l) override {
    if (l.rfind("Total de registros", 0) == 0) totals.push_back(Clock::now());
  }
  void ReplaceLine(int, const std::string&) override {}
  void ClearLog() override { start = Clock::now(); }
  void SetProgress(int p) override {
    if (p == last) return;
    last = p;
    auto now = Clock::now();
    if (p == 25) risksStart = now;
    if (p == 50) claimsStart = now;
    if (p == 75) crossStart = now;
    if (p == 90) reconStart = now;
  }
  void ShowFinalMessage(const std::string&) override { end = Clock::now(); }
};

// The same, also writing every finding as a CSV row, as --detalhes does.
class FindingsClock : public StageClock {
 public:
  std::FILE* out = nullptr;
  long long rows = 0;
  bool WantsFindings() const override { return true; }
  void AddFinding(const Finding& f) override {
    std::string row = CsvRow(f, ';');
    std::fwrite(row.data(), 1, row.size(), out);
    ++rows;
  }
};

double Sec(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double Fixed(void*) { return EncodeDate(2026, 12, 8) + 0.5; }

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t risks = argc > 1 ? static_cast<std::uint32_t>(std::atol(argv[1])) : 1000000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  bench::ScratchDir dir;
  const std::string folder = dir.File("");
  tools::DeliveryOptions o;
  o.risks = risks;
  o.claims = risks / 5;
  o.seed = 11;
  std::printf("generating %u risks and %u claims ...\n", o.risks, o.claims);
  tools::WriteDeliveryDbf(tools::DeliveryGenerator(o), folder);
  // The program folder: the shipped dictionary and figures beside the executable.
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  for (const char* f : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"})
    std::filesystem::copy_file(exe / f, dir.File(f), std::filesystem::copy_options::overwrite_existing);

  const std::string r = dir.File("riscos.dbf"), s = dir.File("sinistros.dbf");
  bench::PlainRead(r);
  bench::PlainRead(s);
  double plain = bench::MedianSeconds(5, [&] { bench::Keep(bench::PlainRead(r) + bench::PlainRead(s)); });
  double scan = bench::MedianSeconds(5, [&] { bench::Keep(bench::HandScan(r) + bench::HandScan(s)); });

  std::vector<double> total, dict, rulesR, rulesS, cross, recon;
  for (int i = 0; i < runs; ++i) {
    Critica critica;
    RunParameters p;
    p.riskPath = r;
    p.claimPath = s;
    p.programFolder = folder;
    p.clock = &Fixed;
    StageClock w;
    auto t0 = Clock::now();
    critica.Executa(p, w);
    auto t1 = Clock::now();
    total.push_back(Sec(t0, t1));
    dict.push_back(Sec(w.start, w.risksStart));
    rulesR.push_back(Sec(w.risksStart, w.totals.at(0)));
    rulesS.push_back(Sec(w.claimsStart, w.totals.at(1)));
    cross.push_back(Sec(w.crossStart, w.reconStart));
    recon.push_back(Sec(w.reconStart, w.end));
  }
  std::vector<double> withFindings;
  long long rows = 0;
  for (int i = 0; i < runs; ++i) {
    Critica critica;
    RunParameters p;
    p.riskPath = r;
    p.claimPath = s;
    p.programFolder = folder;
    p.clock = &Fixed;
    FindingsClock w;
    w.out = std::fopen(dir.File("detalhes.csv").c_str(), "wb");
    auto t0 = Clock::now();
    critica.Executa(p, w);
    std::fclose(w.out);
    withFindings.push_back(Sec(t0, Clock::now()));
    rows = w.rows;
  }
  const double rules = bench::Median(rulesR) + bench::Median(rulesS);
  std::printf("delivery: %u risks, %u claims; medians of %d runs\n", o.risks, o.claims, runs);
  std::printf("  plain read of both files          %8.3f s\n", plain);
  std::printf("  hand-written scan of both files   %8.3f s\n", scan);
  std::printf("  dictionary load                   %8.3f s\n", bench::Median(dict));
  std::printf("  record rules, risks               %8.3f s\n", bench::Median(rulesR));
  std::printf("  record rules, claims              %8.3f s\n", bench::Median(rulesS));
  std::printf("  cross-check (index and seeks)     %8.3f s\n", bench::Median(cross));
  std::printf("  reconciliation                    %8.3f s\n", bench::Median(recon));
  std::printf("  whole run                         %8.3f s\n", bench::Median(total));
  std::printf("  whole run, findings as CSV        %8.3f s  (%lld rows)\n", bench::Median(withFindings), rows);
  std::printf("record rules / (plain read + scan) = %.2f   goal <= 3\n", rules / (plain + scan));
  std::printf("cross-check = %.3f s   goal < 1.2 s\n", bench::Median(cross));
  std::printf("reconciliation / record rules = %.2f   goal <= 1\n", bench::Median(recon) / rules);
  std::printf("with findings / without = %.2f   goal <= 1.20\n", bench::Median(withFindings) / bench::Median(total));
  return 0;
}
