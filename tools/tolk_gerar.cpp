// tolk-gerar: synthetic TOLK deliveries for benchmarks and the shipped sample.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/delivery_generator.h"

namespace {

using tolk::tools::DeliveryGenerator;
using tolk::tools::DeliveryOptions;
using tolk::tools::DeliverySummary;
using tolk::tools::Finding;

constexpr const char* kUsage =
    "uso: tolk-gerar [--registros N] [--sinistros N] [--semente S] [--saida DIR]\n"
    "                [--taxa P] [--excluidos P] [--fora P] [--seguradora COD]\n"
    "                [--inicio AAAAMMDD] [--fim AAAAMMDD] [--ordem crescente|aleatoria]\n"
    "     tolk-gerar --amostra [--tsv] [--saida DIR]\n"
    "\n"
    "Gera riscos.dbf e sinistros.dbf de uma entrega do TOLK na pasta DIR (padrão: a atual).\n"
    "  --registros N     registros de riscos (padrão 1000000)\n"
    "  --sinistros N     registros de sinistros (padrão: N/5)\n"
    "  --semente S       semente dos valores (padrão 1)\n"
    "  --taxa P          fração dos registros com cada tipo de achado, 0 a 0.2 (padrão 0.002)\n"
    "  --excluidos P     fração dos registros sem achado marcados excluídos (padrão 0.001)\n"
    "  --fora P          fração dos registros sem achado fora do período (padrão 0.02)\n"
    "  --seguradora COD  código da seguradora, 5 caracteres (padrão 03468)\n"
    "  --inicio, --fim   período de referência (padrão 20250101 a 20251231)\n"
    "  --ordem ORDEM     ordem dos bilhetes dos riscos: crescente (padrão; em longas\n"
    "                    sequências ascendentes) ou aleatoria (espalhados, sem sequências)\n"
    "  --amostra         a entrega de exemplo do programa; com --tsv, em texto (riscos.tsv,\n"
    "                    sinistros.tsv), como fica em samples/\n";

[[noreturn]] void BadCommandLine(const std::string& why) { throw std::invalid_argument(why); }

std::uint64_t ParseCount(std::string_view s, const char* option) {
  std::uint64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size())
    BadCommandLine(std::string(option) + ": número inválido");
  return v;
}

double ParseShare(const std::string& s, const char* option) {
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != '\0') BadCommandLine(std::string(option) + ": fração inválida");
  return v;
}

void PrintTable(const char* name, std::uint32_t records, std::uint32_t deleted,
                const std::array<std::uint32_t, tolk::tools::kFindingKinds>& findings) {
  std::printf("%s: %u registros, %u excluídos\n", name, records, deleted);
  for (std::size_t k = 1; k < findings.size(); ++k)
    if (findings[k]) {
      std::string label = tolk::tools::FindingLabel(static_cast<Finding>(k));
      std::size_t chars = 0;  // UTF-8: continuation bytes take no column
      for (char c : label) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
      label.append(chars < 34 ? 34 - chars : 0, ' ');
      std::printf("  %s %u\n", label.c_str(), findings[k]);
    }
}

void PrintSummary(const DeliverySummary& s) {
  PrintTable("riscos", s.risks, s.deletedRisks, s.riskFindings);
  PrintTable("sinistros", s.claims, s.deletedClaims, s.claimFindings);
  std::printf("prêmios no período:   %.2f em %u registros\n", s.premiums, s.premiumRecords);
  std::printf("sinistros no período: %.2f em %u registros\n", s.claimValues, s.claimRecords);
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("não foi possível gravar " + path);
}

int Run(int argc, char** argv) {
  DeliveryOptions o;
  o.risks = 1000000;
  std::string folder = ".";
  bool sample = false, tsv = false, claimsGiven = false, tuned = false;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--amostra") {
      sample = true;
      continue;
    }
    if (arg == "--tsv") {
      tsv = true;
      continue;
    }
    if (a + 1 >= argc) BadCommandLine(arg + ": falta o valor");
    const std::string val = argv[++a];
    tuned = tuned || arg != "--saida";
    if (arg == "--registros") {
      o.risks = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(ParseCount(val, "--registros"), 1000000000));
    } else if (arg == "--sinistros") {
      o.claims = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(ParseCount(val, "--sinistros"), 1000000000));
      claimsGiven = true;
    } else if (arg == "--semente") {
      o.seed = ParseCount(val, "--semente");
    } else if (arg == "--saida") {
      folder = val;
    } else if (arg == "--taxa") {
      o.findingShare = ParseShare(val, "--taxa");
    } else if (arg == "--excluidos") {
      o.deletedShare = ParseShare(val, "--excluidos");
    } else if (arg == "--fora") {
      o.outsideShare = ParseShare(val, "--fora");
    } else if (arg == "--seguradora") {
      o.insurer = val;
    } else if (arg == "--inicio") {
      o.periodStart = val;
    } else if (arg == "--fim") {
      o.periodEnd = val;
    } else if (arg == "--ordem") {
      if (val == "crescente")
        o.ticketOrder = tolk::tools::TicketOrder::kAscending;
      else if (val == "aleatoria")
        o.ticketOrder = tolk::tools::TicketOrder::kRandom;
      else
        BadCommandLine("--ordem: use crescente ou aleatoria");
    } else {
      BadCommandLine("opção desconhecida: " + arg);
    }
  }
  if (tsv && !sample) BadCommandLine("--tsv só com --amostra");
  if (sample && tuned) BadCommandLine("--amostra aceita apenas --tsv e --saida");
  if (sample) {
    o = tolk::tools::SampleOptions();
  } else if (!claimsGiven) {
    o.claims = o.risks / 5;
  }
  DeliveryGenerator g(o);  // checks the options
  std::filesystem::create_directories(folder);
  if (tsv) {
    WriteText(folder + "/riscos.tsv", tolk::tools::DeliveryTsv(g, true));
    WriteText(folder + "/sinistros.tsv", tolk::tools::DeliveryTsv(g, false));
    PrintSummary(tolk::tools::SummarizeDelivery(g));
  } else {
    PrintSummary(tolk::tools::WriteDeliveryDbf(g, folder));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "tolk-gerar: %s\n\n%s", e.what(), kUsage);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tolk-gerar: %s\n", e.what());
    return 1;
  }
}
