// A whole validation run over a delivery, stage by stage, beside a plain read
// and a hand-written scan of the same two files.
//   bench_critica [RISKS] [RUNS]
//       generates RISKS risks and RISKS/5 claims in a scratch folder
//   bench_critica --riscos ARQ --sinistros ARQ --pasta DIR [--runs N]
//                 [--critica EXE] [--csv ARQ]
//       times the run over an existing delivery; DIR holds the dictionary and
//       the figures and receives bilhete.ntx. --critica also times N whole
//       runs of the tolk-critica executable EXE, with the peak resident
//       memory of its process and the peak of its own memory (resident
//       memory less the file pages it maps, such as the index's pages in
//       the page cache). --csv appends one row of medians (seconds) to
//       ARQ, with a header when ARQ is new.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Critica.h"
#include "app/relatorios.h"
#include "app/textos.h"
#include "bench/bench_common.h"
#include "bench/reference_scans.h"
#include "dataset/number_format.h"
#include "dbf/TXQSmartDBF.h"
#include "tools/delivery_generator.h"

using namespace tolk;
using Clock = std::chrono::steady_clock;

namespace {

// Marks the stages by what the run shows: the progress positions it sets,
// the record-count line each table ends with, and the progress reports of
// the index build. The index is built on a thread of its own from the risks'
// record rules on, and the reconciliation runs while the cross-check waits
// for what is left of the build: the cross-check's wait includes that
// reconciliation, and the reconciliation's own stage is only the showing of
// its lines.
class StageClock : public RunWindow {
 public:
  Clock::time_point start, risksStart, claimsStart, crossStart, indexBuilt, reconStart, end;
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
  void RecordsRead(const std::string& table, long long) override {
    if (table == textos::Cp("Índice")) indexBuilt = Clock::now();
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

double Sec(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

double Fixed(void*) { return EncodeDate(2026, 12, 8) + 0.5; }

struct Options {
  std::string risks, claims, folder, csv, critica;
  int runs = 3;
};

// One run of the terminal front in its own process, its output discarded:
// the wall time, the peak resident memory the kernel kept for it (KiB), and
// the peak of its anonymous memory, sampled every 2 ms (KiB).
struct ProcessRun {
  double seconds = 0;
  long peakKb = 0;
  long peakAnonKb = 0;
};

// RssAnon of a live process, in KiB; 0 when it cannot be read.
long AnonKb(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(pid));
  std::FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  long kb = 0;
  char line[256];
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "RssAnon: %ld", &kb) == 1) break;
  std::fclose(f);
  return kb;
}

ProcessRun RunProcess(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto t0 = Clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) {
    std::perror("fork");
    std::exit(1);
  }
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  rusage ru{};
  long anon = 0;
  for (;;) {
    const pid_t done = ::wait4(pid, &status, WNOHANG, &ru);
    if (done == pid) break;
    if (done < 0) {
      std::perror("wait4");
      std::exit(1);
    }
    anon = std::max(anon, AnonKb(pid));
    timespec pause{0, 2000000};
    ::nanosleep(&pause, nullptr);
  }
  ProcessRun r;
  r.seconds = Sec(t0, Clock::now());
  r.peakKb = ru.ru_maxrss;
  r.peakAnonKb = anon;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_critica: %s did not end normally (status %d)\n", args[0], status);
    std::exit(1);
  }
  return r;
}

int RecordCount(const std::string& path) {
  TXQSmartDBF t;
  t.DBFFileName = path;
  t.Open();
  const int n = t.RecordCount();
  t.Close();
  return n;
}

// The columns of the CSV row: record counts, seconds, KiB and bytes, and the
// median of the rounds' ratios of the whole run to the references.
constexpr const char* kCsvHeader =
    "risks,claims,plain_read,hand_scan,dictionary_structure,rules_risks,rules_claims,index_build,"
    "seeks,"
    "reconciliation,run_in_process,run_with_findings,run_process,peak_rss_kb,ntx_bytes,ratio,peak_"
    "anon_kb\n";

int Bench(const Options& o) {
  const std::string& r = o.risks;
  const std::string& s = o.claims;
  const int risks = RecordCount(r), claims = RecordCount(s);
  bench::PlainRead(r);
  bench::PlainRead(s);

  RunParameters p;
  p.riskPath = r;
  p.claimPath = s;
  p.programFolder = o.folder;
  if (!p.programFolder.empty() && p.programFolder.back() != '/') p.programFolder += '/';
  p.clock = &Fixed;

  // Round by round: the references, the tolk-critica process, the run in
  // this process. On a shared machine the speed drifts from minute to
  // minute; each round's ratio compares a run with references taken moments
  // before it, and the median of those ratios is the figure to trust.
  std::vector<double> plains, scans, process, ratios;
  std::vector<double> total, dict, rulesR, rulesS, index, seeks, recon;
  long peakKb = 0, peakAnonKb = 0;
  for (int i = 0; i < o.runs; ++i) {
    // The references take a few hundredths of a second: the median of three
    // keeps a single hiccup out of them.
    const double plain =
        bench::MedianSeconds(3, [&] { bench::Keep(bench::PlainRead(r) + bench::PlainRead(s)); });
    const double scan =
        bench::MedianSeconds(3, [&] { bench::Keep(bench::HandScan(r) + bench::HandScan(s)); });
    plains.push_back(plain);
    scans.push_back(scan);

    // The whole program, as a user runs it.
    if (!o.critica.empty()) {
      const ProcessRun run = RunProcess({o.critica, "--riscos", r, "--sinistros", s, "--pasta",
                                         p.programFolder, "--agora", "2026-12-08 12:00:00"});
      process.push_back(run.seconds);
      peakKb = std::max(peakKb, run.peakKb);
      peakAnonKb = std::max(peakAnonKb, run.peakAnonKb);
    }

    Critica critica;
    StageClock w;
    auto t0 = Clock::now();
    critica.Executa(p, w);
    auto t1 = Clock::now();
    if (w.totals.size() != 2 || w.indexBuilt == Clock::time_point{}) {
      std::fprintf(
          stderr,
          "bench_critica: the run did not reach every stage (both tables, the cross-check)\n");
      return 1;
    }
    total.push_back(Sec(t0, t1));
    dict.push_back(Sec(w.start, w.risksStart));
    rulesR.push_back(Sec(w.risksStart, w.totals[0]));
    rulesS.push_back(Sec(w.totals[0], w.totals[1]));
    index.push_back(Sec(w.crossStart, w.indexBuilt));
    seeks.push_back(Sec(w.indexBuilt, w.reconStart));
    recon.push_back(Sec(w.reconStart, w.end));
    ratios.push_back((process.empty() ? total.back() : process.back()) / (plain + scan));
  }
  const double plain = bench::Median(plains), scan = bench::Median(scans),
               ratio = bench::Median(ratios);
  std::vector<double> withFindings;
  long long rows = 0;
  const std::string csvOut = p.programFolder + "bench-detalhes.csv";
  for (int i = 0; i < o.runs; ++i) {
    Critica critica;
    FindingsClock w;
    w.out = std::fopen(csvOut.c_str(), "wb");
    auto t0 = Clock::now();
    critica.Executa(p, w);
    std::fclose(w.out);
    withFindings.push_back(Sec(t0, Clock::now()));
    rows = w.rows;
  }
  std::remove(csvOut.c_str());
  std::error_code ec;
  const auto ntxBytes = std::filesystem::file_size(p.programFolder + "bilhete.ntx", ec);

  const double med[] = {bench::Median(dict),  bench::Median(rulesR),      bench::Median(rulesS),
                        bench::Median(index), bench::Median(seeks),       bench::Median(recon),
                        bench::Median(total), bench::Median(withFindings)};
  std::printf("delivery: %d risks, %d claims; medians of %d runs\n", risks, claims, o.runs);
  std::printf("  plain read of both files          %8.3f s\n", plain);
  std::printf("  hand-written scan of both files   %8.3f s\n", scan);
  std::printf("  dictionary and structure checks   %8.3f s\n", med[0]);
  std::printf("  record rules, risks               %8.3f s\n", med[1]);
  std::printf("  record rules, claims              %8.3f s\n", med[2]);
  std::printf("  cross-check: wait for the index   %8.3f s\n", med[3]);
  std::printf("  seeks of the claims' tickets      %8.3f s\n", med[4]);
  std::printf("  reconciliation, shown             %8.3f s\n", med[5]);
  std::printf("  whole run                         %8.3f s\n", med[6]);
  std::printf("  whole run, findings as CSV        %8.3f s  (%lld rows)\n", med[7], rows);
  if (!process.empty())
    std::printf("  tolk-critica, whole process       %8.3f s  peak resident %ld KiB, own %ld KiB\n",
                bench::Median(process), peakKb, peakAnonKb);
  std::printf(
      "%s / (plain read + scan) = %.2f, median of the rounds' ratios (%.2f to %.2f)   goal <= 10\n",
      process.empty() ? "whole run" : "tolk-critica", ratio,
      *std::min_element(ratios.begin(), ratios.end()),
      *std::max_element(ratios.begin(), ratios.end()));
  std::printf("record rules / (plain read + scan) = %.2f\n", (med[1] + med[2]) / (plain + scan));
  std::printf("with findings / without = %.2f\n", med[7] / med[6]);

  if (!o.csv.empty()) {
    const bool fresh = !std::filesystem::exists(o.csv);
    std::FILE* f = std::fopen(o.csv.c_str(), "a");
    if (!f) {
      std::perror(o.csv.c_str());
      return 1;
    }
    if (fresh) std::fputs(kCsvHeader, f);
    std::fprintf(f, "%d,%d,%.6f,%.6f", risks, claims, plain, scan);
    for (double v : med) std::fprintf(f, ",%.6f", v);
    std::fprintf(f, ",%.6f,%ld,%llu,%.4f,%ld\n", process.empty() ? 0.0 : bench::Median(process),
                 peakKb, static_cast<unsigned long long>(ec ? 0 : ntxBytes), ratio, peakAnonKb);
    std::fclose(f);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::unique_ptr<bench::ScratchDir> dir;
  if (argc > 1 && std::strncmp(argv[1], "--", 2) == 0) {
    const bool read = bench::ReadOptions(
        argc, argv, 1, "bench_critica",
        {{"--riscos", [&](const std::string& v) { o.risks = v; }},
         {"--sinistros", [&](const std::string& v) { o.claims = v; }},
         {"--pasta", [&](const std::string& v) { o.folder = v; }},
         {"--runs", [&](const std::string& v) { o.runs = std::max(1, std::atoi(v.c_str())); }},
         {"--csv", [&](const std::string& v) { o.csv = v; }},
         {"--critica", [&](const std::string& v) { o.critica = v; }}});
    if (!read) return 2;
    if (o.risks.empty() || o.claims.empty() || o.folder.empty()) {
      std::fprintf(stderr, "bench_critica: --riscos, --sinistros and --pasta go together\n");
      return 2;
    }
    return Bench(o);
  }

  const std::uint32_t risks = argc > 1 ? static_cast<std::uint32_t>(std::atol(argv[1])) : 1000000;
  o.runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  dir = std::make_unique<bench::ScratchDir>();
  tools::DeliveryOptions d;
  d.risks = risks;
  d.claims = risks / 5;
  d.seed = 11;
  std::printf("generating %u risks and %u claims ...\n", d.risks, d.claims);
  const std::string folder = dir->File("");
  tools::WriteDeliveryDbf(tools::DeliveryGenerator(d), folder);
  // The program folder: the shipped dictionary and figures beside the executable.
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  for (const char* f : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"})
    std::filesystem::copy_file(exe / f, dir->File(f),
                               std::filesystem::copy_options::overwrite_existing);
  o.risks = dir->File("riscos.dbf");
  o.claims = dir->File("sinistros.dbf");
  o.folder = folder;
  return Bench(o);
}
