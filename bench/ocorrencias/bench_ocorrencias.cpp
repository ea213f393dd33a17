// What a window pays for keeping every finding of a run: the run with the
// findings store against the same run without it, round by round, the bytes
// the store holds per finding, and how long the view's filters and sorts
// take over all of them.
//   bench_ocorrencias [RISKS] [RUNS]
// generates RISKS risks (1,000,000) and a fifth as many claims, tickets in
// random order and a fifth of the records with each kind of finding (about
// 1.5 findings a risk), in a scratch folder, and runs RUNS rounds (5).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Critica.h"
#include "app/ocorrencias.h"
#include "bench/bench_common.h"
#include "dataset/number_format.h"
#include "tools/delivery_generator.h"

using namespace tolk;

namespace {

class Janela : public RunWindow {
 public:
  Ocorrencias* store = nullptr;  // none: the window asks for no findings
  void AddLine(const std::string&) override {}
  void ReplaceLine(int, const std::string&) override {}
  void ClearLog() override {}
  void SetProgress(int) override {}
  void ShowFinalMessage(const std::string&) override {}
  bool WantsFindings() const override { return store != nullptr; }
  void AddFinding(const Finding& f) override { store->Adiciona(f); }
};

double Fixed(void*) { return EncodeDate(2026, 12, 8) + 0.5; }

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t risks = argc > 1 ? static_cast<std::uint32_t>(std::atol(argv[1])) : 1000000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  bench::ScratchDir dir;
  tools::DeliveryOptions d;
  d.risks = risks;
  d.claims = risks / 5;
  d.seed = 1;
  d.findingShare = 0.2;
  d.ticketOrder = tools::TicketOrder::kRandom;
  std::printf("generating %u risks and %u claims, many findings ...\n", d.risks, d.claims);
  tools::WriteDeliveryDbf(tools::DeliveryGenerator(d), dir.File(""));
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  for (const char* f : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"})
    std::filesystem::copy_file(exe / f, dir.File(f),
                               std::filesystem::copy_options::overwrite_existing);

  RunParameters p;
  p.riskPath = dir.File("riscos.dbf");
  p.claimPath = dir.File("sinistros.dbf");
  p.programFolder = dir.File("");
  p.clock = &Fixed;

  // Round by round, the two runs back to back, the order alternating, so a
  // drift of the shared machine's speed touches both; the ratio to trust is
  // the median of the rounds' ratios.
  Ocorrencias store;
  std::vector<double> without, with, ratios;
  for (int i = 0; i < runs; ++i) {
    double a = 0, b = 0;
    auto semAchados = [&] {
      Critica c;
      Janela w;
      a = bench::Seconds([&] { c.Executa(p, w); });
    };
    auto comAchados = [&] {
      Critica c;
      Janela w;
      store.Limpa();
      w.store = &store;
      b = bench::Seconds([&] { c.Executa(p, w); });
    };
    if (i % 2) {
      comAchados();
      semAchados();
    } else {
      semAchados();
      comAchados();
    }
    without.push_back(a);
    with.push_back(b);
    ratios.push_back(b / a);
  }

  std::size_t texts = 0;
  for (std::size_t i = 0; i < store.Tamanho(); ++i)
    texts += store.Valor(i).size() + store.Qualificador(i).size();
  const double n = static_cast<double>(store.Tamanho());
  const double bytes = static_cast<double>(store.BytesOcupados());
  std::printf("findings kept: %zu; medians of %d rounds\n", store.Tamanho(), runs);
  std::printf("  run without the store             %8.3f s\n", bench::Median(without));
  std::printf("  run keeping every finding         %8.3f s\n", bench::Median(with));
  std::printf("  with / without = %.2f (rounds %.2f to %.2f)   goal <= 1.3\n",
              bench::Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  std::printf("  bytes held per finding            %8.1f (of which texts %.1f)\n", bytes / n,
              static_cast<double>(texts) / n);
  std::printf("  besides its texts                 %8.1f   goal <= 40\n",
              (bytes - static_cast<double>(texts)) / n);

  // The view, as the window drives it on each click.
  VisaoOcorrencias v(store);
  auto tempo = [&](const char* o_que, const std::function<void()>& f) {
    const double ms = 1000 * bench::MedianSeconds(3, f);
    std::printf("  %-32s %8.1f ms  (%zu rows)\n", o_que, ms, v.Linhas());
  };
  std::printf("the view over %zu findings, medians of 3:\n", store.Tamanho());
  tempo("every finding", [&] { v.Filtra({}); });
  tempo("the lists' counts",
        [&] { bench::Keep(v.Tabelas().size() + v.Campos().size() + v.Regras().size()); });
  tempo("sort by value", [&] { v.Ordena(Coluna::kValor, true); });
  tempo("sort by record, descending", [&] { v.Ordena(Coluna::kRegistro, false); });
  tempo("back to the order found", [&] { v.Ordena(std::nullopt); });
  FiltroOcorrencias campo;
  campo.campo = "BILHETE";
  tempo("one field", [&] { v.Filtra(campo); });
  FiltroOcorrencias procura;
  procura.texto = "2017";
  tempo("a search over the values", [&] { v.Filtra(procura); });
  std::size_t csv = 0;
  tempo("the CSV of every finding", [&] {
    csv = 0;
    GravaCsv(store, ',', [&](std::string_view s) { csv += s.size(); });
  });
  std::printf("  (%zu bytes of CSV)\n", csv);
  return 0;
}
