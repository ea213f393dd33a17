// tolk-critica: the validation run from a terminal or a script.
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/Critica.h"
#include "app/explicacoes.h"
#include "app/relatorios.h"
#include "app/saidas.h"
#include "dataset/cp1252.h"
#include "dataset/number_format.h"
#include "front/regional_settings.h"
#include "platform/file.h"
#include "platform/system.h"

namespace {

const char* kUsage =
    "uso: tolk-critica [--riscos ARQ] [--sinistros ARQ] [--pasta DIR] [--saida ARQ]\n"
    "                  [--locale NOME] [--agora \"AAAA-MM-DD HH:MM:SS\"]\n"
    "                  [--detalhes ARQ|-] [--json ARQ]\n"
    "\n"
    "Critica a entrega do ramo TOLK (arquivos de riscos e de sinistros em dBASE III)\n"
    "e escreve o log na saída padrão.\n"
    "\n"
    "  --riscos ARQ      arquivo de riscos (omitido: caixa em branco)\n"
    "  --sinistros ARQ   arquivo de sinistros (omitido: caixa em branco)\n"
    "  --pasta DIR       pasta do programa, com tabelas.dbf, anexos.dbf e DadosOrb.DBF;\n"
    "                    nela é gravado bilhete.ntx (padrão: a pasta do executável)\n"
    "  --saida ARQ       grava também o log como a exportação (Windows-1252, CR LF)\n"
    "  --locale NOME     configurações regionais, por exemplo pt_BR ou en_US\n"
    "                    (padrão: as do ambiente)\n"
    "  --agora DATA      data e hora da crítica, para logs reproduzíveis\n"
    "  --detalhes ARQ    grava cada valor recusado em CSV (UTF-8): tabela, registro,\n"
    "                    campo, regra, valor e qualificador; com \"-\" o CSV vai para a\n"
    "                    saída padrão no lugar do log\n"
    "  --json ARQ        grava um resumo da crítica em JSON\n"
    "  --help            mostra esta ajuda\n"
    "  --version         mostra a versão\n"
    "\n"
    "Saída: 0 crítica finalizada; 1 um erro encerrou a crítica (o log até ali\n"
    "é escrito); 2 linha de comando inválida.\n";

struct Options {
  std::string riscos, sinistros, pasta, saida, locale, agora, detalhes, json;
  bool hasLocale = false, hasAgora = false, hasPasta = false;
};

// The run's window: the log kept in memory (the third line is rewritten
// late in the run), a progress line on standard error when it is a terminal.
class TerminalWindow : public tolk::RunWindow {
 public:
  std::vector<std::string> lines;
  std::string finalMessage;
  bool progress = tolk::IsTerminal(stderr);
  bool progressShown = false;
  std::FILE* findings = nullptr;  // the CSV of --detalhes
  char separator = ',';

  bool WantsFindings() const override { return findings != nullptr; }
  void AddFinding(const tolk::Finding& f) override {
    std::string row = tolk::CsvRow(f, separator);
    std::fwrite(row.data(), 1, row.size(), findings);
  }

  void AddLine(const std::string& line) override { lines.push_back(line); }
  void ReplaceLine(int index, const std::string& line) override {
    if (index >= 0 && index < static_cast<int>(lines.size()))
      lines[static_cast<std::size_t>(index)] = line;
  }
  void ClearLog() override { lines.clear(); }
  void SetProgress(int) override {}
  void ShowFinalMessage(const std::string& text) override { finalMessage = text; }
  void RecordsRead(const std::string& table, long long count) override {
    if (!progress) return;
    tolk::WriteUtf8(stderr, "\r\033[K" + tolk::Cp1252ToUtf8(table) + ": " + std::to_string(count) +
                                " registros lidos");
    std::fflush(stderr);
    progressShown = true;
  }
  void EndProgress() {
    if (progressShown) std::fprintf(stderr, "\r\033[K");
    progressShown = false;
  }
};

struct FixedClock {
  double value;
  static double Read(void* self) { return static_cast<FixedClock*>(self)->value; }
};

bool ParseAgora(const std::string& s, double& out) {
  int y, mo, d, h, mi, se;
  char tail;
  if (std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &se, &tail) != 6)
    return false;
  if (!tolk::IsValidDate(y, mo, d) || h < 0 || h > 23 || mi < 0 || mi > 59 || se < 0 || se > 59)
    return false;
  out = tolk::EncodeDate(y, mo, d) + (h * 3600 + mi * 60 + se) / 86400.0;
  return true;
}

// A line on standard error, after the program's name.
void Complain(const std::string& text) { tolk::WriteUtf8(stderr, "tolk-critica: " + text + "\n"); }

int Usage(const char* problem) {
  if (problem) Complain(problem);
  tolk::WriteUtf8(stderr, kUsage);
  return 2;
}

// The outputs are truncated when they are written, --detalhes before the run
// even opens its tables: an output that names one of the run's files (a slip
// of the shell's completion: --saida riscos.dbf) would destroy it. Such a
// command line is refused before anything is opened. Returns the complaint,
// or an empty text.
std::string OutputsClash(const Options& o, const tolk::RunParameters& p) {
  struct Named {
    std::string what, path;
  };
  std::vector<Named> outputs;
  if (!o.saida.empty()) outputs.push_back({"--saida", o.saida});
  if (!o.detalhes.empty() && o.detalhes != "-") outputs.push_back({"--detalhes", o.detalhes});
  if (!o.json.empty()) outputs.push_back({"--json", o.json});
  const std::vector<tolk::ArquivoDaCritica> files = tolk::ArquivosDaCritica(p);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (const auto f = tolk::SaidaProibida(outputs[i].path, files))
      return outputs[i].what + " \"" + outputs[i].path + "\" é " + f->papel + ": nada foi gravado";
    for (std::size_t j = 0; j < i; ++j)
      if (tolk::MesmoArquivo(outputs[i].path, outputs[j].path))
        return outputs[j].what + " e " + outputs[i].what + " nomeiam o mesmo arquivo \"" +
               outputs[i].path + "\"";
  }
  return {};
}

// The log as the window exports it.
bool WriteExport(const std::string& path, const std::vector<std::string>& lines,
                 std::string& error) {
  const std::string bytes = tolk::TextoExportado(lines);
  std::FILE* out = tolk::OpenStream(path, "wb");
  bool ok = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (out) ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    error = "não foi possível gravar \"" + path + "\": " + tolk::ErrnoText(errno);
    return false;
  }
  return true;
}

// The command line into `o`; a status to exit with when it is not a run.
std::optional<int> ParseOptions(const std::vector<std::string>& argv, Options& o) {
  const std::size_t argc = argv.size();
  for (std::size_t i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      tolk::WriteUtf8(stdout, kUsage);
      return 0;
    }
    if (a == "--version") {
      tolk::WriteUtf8(stdout, "tolk-critica (tolk-zav) " TOLK_VERSION "\n");
      return 0;
    }
    std::string value;
    std::size_t eq = a.find('=');
    std::string name = a.substr(0, eq);
    if (name != "--riscos" && name != "--sinistros" && name != "--pasta" && name != "--saida" &&
        name != "--locale" && name != "--agora" && name != "--detalhes" && name != "--json")
      return Usage(("opção desconhecida: " + a).c_str());
    if (eq != std::string::npos) {
      value = a.substr(eq + 1);
    } else {
      if (i + 1 >= argc) return Usage(("falta o valor de " + name).c_str());
      value = argv[++i];
    }
    if (name == "--riscos")
      o.riscos = value;
    else if (name == "--sinistros")
      o.sinistros = value;
    else if (name == "--pasta")
      o.pasta = value, o.hasPasta = true;
    else if (name == "--saida")
      o.saida = value;
    else if (name == "--locale")
      o.locale = value, o.hasLocale = true;
    else if (name == "--detalhes")
      o.detalhes = value;
    else if (name == "--json")
      o.json = value;
    else
      o.agora = value, o.hasAgora = true;
  }
  return std::nullopt;
}

// The run's parameters from the options; a status to exit with when they
// are wrong.
std::optional<int> Parameters(const Options& o, tolk::RunParameters& p, FixedClock& fixed) {
  p.riskPath = o.riscos;
  p.claimPath = o.sinistros;
  p.programFolder = o.hasPasta ? o.pasta : tolk::ExecutableFolder();
  p.programFolder = tolk::FolderWithSeparator(p.programFolder);
  const auto regional = tolk::RegionalSettingsNamed(o.hasLocale ? o.locale : std::string());
  if (!regional) return Usage(("locale desconhecido: " + o.locale).c_str());
  p.regional = *regional;
  if (o.hasAgora) {
    if (!ParseAgora(o.agora, fixed.value))
      return Usage(("data e hora inválidas em --agora: " + o.agora).c_str());
    p.clock = &FixedClock::Read;
    p.clockContext = &fixed;
  } else {
    p.clock = &tolk::SystemClock;
  }
  if (const std::string clash = OutputsClash(o, p); !clash.empty()) {
    Complain(clash);
    return 2;
  }
  return std::nullopt;
}

// What a run left to say.
struct Outcome {
  bool failed = false;
  std::string error;
  tolk::ContextoErro context;
};

// The log on standard output (unless the CSV went there), the JSON summary,
// the message on standard error and the export. Returns the exit status.
int WriteOutputs(const Options& o, const tolk::RunParameters& p, const tolk::Critica& critica,
                 const TerminalWindow& window, const Outcome& r) {
  int status = r.failed ? 1 : 0;
  if (o.detalhes != "-") {
    std::string log;
    for (const auto& l : window.lines) log += tolk::Cp1252ToUtf8(l) + '\n';
    tolk::WriteUtf8(stdout, log);
  }
  // A log that did not reach standard output (a full disk behind a
  // redirection) must not pass for one that did.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    Complain(std::string("não foi possível gravar a saída padrão: ") + tolk::ErrnoText(errno));
    status = 1;
  }
  const std::string error = tolk::MensagemUtf8(r.error);
  if (!o.json.empty()) {
    tolk::JsonInputs in{p.riskPath, p.claimPath, p.programFolder, r.failed, error};
    const std::string json = tolk::JsonSummary(critica.Estado(), in);
    std::FILE* jf = tolk::OpenStream(o.json, "wb");
    bool ok = jf && std::fwrite(json.data(), 1, json.size(), jf) == json.size();
    if (jf) ok = std::fclose(jf) == 0 && ok;
    if (!ok) {
      Complain("não foi possível gravar \"" + o.json + "\"");
      status = 1;
    }
  }
  if (r.failed) {
    // The message as raised, then what it means for the analyst.
    tolk::WriteUtf8(stderr, error + "\n");
    const std::string why = tolk::ExplicaErro(r.error, r.context);
    if (!why.empty()) tolk::WriteUtf8(stderr, why + "\n");
  } else {
    tolk::WriteUtf8(stderr, tolk::Cp1252ToUtf8(window.finalMessage) + "\n");
    if (critica.Estado().caixasTrocadas)
      tolk::WriteUtf8(stderr, std::string(tolk::kCaixasTrocadas) + "\n");
  }
  std::string werr;
  if (!o.saida.empty() && !WriteExport(o.saida, window.lines, werr)) {
    Complain(werr);
    status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  tolk::PrepareStandardStreams();
  Options o;
  if (const auto exit = ParseOptions(tolk::ArgumentsUtf8(argc, argv), o)) return *exit;
  tolk::RunParameters p;
  FixedClock fixed{0};
  if (const auto exit = Parameters(o, p, fixed)) return *exit;

  TerminalWindow window;
  // --detalhes: ";" between columns where the decimal separator is a comma.
  window.separator = p.regional.DecimalSeparator == ',' ? ';' : ',';
  const bool detailsToStdout = o.detalhes == "-";
  if (!o.detalhes.empty()) {
    window.findings = detailsToStdout ? stdout : tolk::OpenStream(o.detalhes, "wb");
    if (!window.findings) {
      Complain("não foi possível gravar \"" + o.detalhes + "\": " + tolk::ErrnoText(errno));
      return 1;
    }
    std::string header = tolk::CsvHeader(window.separator);
    std::fwrite(header.data(), 1, header.size(), window.findings);
  }
  tolk::Critica critica;
  Outcome r;
  try {
    critica.Executa(p, window);
  } catch (const std::exception& e) {
    r.failed = true;
    r.error = e.what();
    r.context = tolk::ContextoDe(e, p, critica.Estado().tabelaAtual);
  }
  window.EndProgress();
  bool csvLost = false;
  if (window.findings && !detailsToStdout && std::fclose(window.findings) != 0) {
    Complain("não foi possível gravar \"" + o.detalhes + "\"");
    csvLost = true;
  }
  const int status = WriteOutputs(o, p, critica, window, r);
  return csvLost ? 1 : status;
}
