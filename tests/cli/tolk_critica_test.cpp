// tolk-critica end to end: whole deliveries through the built program, the
// complete standard output compared with the expected logs kept beside this
// file (TOLK_UPDATE_EXPECTED=1 rewrites them; review the difference).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/run_fixture.h"
#include "cli/cli_runner.h"
#include "dataset/cp1252.h"

namespace tolk {
namespace {

using testing::Risco;
using testing::RunFixture;
using testing::Sinistro;

std::string ExpectedPath(const std::string& name) {
  return Env("TOLK_SOURCE_DIR", TOLK_SOURCE_DIR_DEFAULT) + "/tests/cli/expected/" + name;
}

// Compares with the expected file, line by line for a readable failure.
void ExpectLog(const std::string& name, const std::string& actual) {
  const std::string path = ExpectedPath(name);
  if (std::getenv("TOLK_UPDATE_EXPECTED")) {
    testing::WriteBytes(path, actual);
    return;
  }
  std::string expected = testing::ReadBytes(path);
  ASSERT_FALSE(expected.empty()) << "no expected log " << path;
  if (expected == actual) return;
  std::istringstream e(expected), a(actual);
  std::string le, la;
  for (int line = 1;; ++line) {
    bool he = static_cast<bool>(std::getline(e, le)), ha = static_cast<bool>(std::getline(a, la));
    if (!he && !ha) break;
    ASSERT_EQ(la, le) << name << " line " << line;
  }
}

const std::vector<std::string> kClock = {"--agora", "2026-12-08 16:40:35"};

// A delivery with a finding of each kind, over the test dictionary.
class Entrega {
 public:
  RunFixture f;
  std::string riscos, sinistros;
  Entrega() {
    riscos = f.Riscos({Risco("0000000001"),
                       {"05428", "0000000002", "201713", "4", "10", "355030", "177.69"},
                       {"05428", "          ", "201702", "2", "20", "3550308", "22.22"},
                       Risco("0000000004"),
                       {"*", "05428", "0000000009", "201703", "1", "10", "3550308", "22.22"},
                       {"05428", "0000000005", "201712", "3", "20", "3304557", "1234567.89"}},
                      "riscos com espaço.dbf");
    sinistros = f.Sinistros({Sinistro("0000000001"),
                             Sinistro("0000000004"),
                             {"05428", "0000000007", "20170231", "00000000", "X", "250.50"},
                             {"05428", "0000000009", "20170510", "20170601", "I", "13500.00"},
                             {"*", "05428", "0000000008", "20170510", "20170601", "I", "1.00"}},
                            "sinistros.dbf");
  }
  std::vector<std::string> Args(const std::string& locale, bool withRisks = true,
                                bool withClaims = true) const {
    std::vector<std::string> a = {"--pasta", f.dir.path(), "--locale", locale};
    if (withRisks) a.insert(a.end(), {"--riscos", riscos});
    if (withClaims) a.insert(a.end(), {"--sinistros", sinistros});
    a.insert(a.end(), kClock.begin(), kClock.end());
    return a;
  }
};

TEST(TolkCriticaTest, WholeDeliveryInBothLocales) {
  Entrega e;
  for (const char* locale : {"pt_BR", "en_US"}) {
    Result r = RunCli(e.Args(locale));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Crítica finalizada.\n");
    ExpectLog(std::string("entrega_") + locale + ".txt", r.out);
  }
}

TEST(TolkCriticaTest, OneBoxAtATime) {
  Entrega e;
  Result risks = RunCli(e.Args("pt_BR", true, false));
  EXPECT_EQ(risks.status, 0);
  ExpectLog("somente_riscos_pt_BR.txt", risks.out);
  Result claims = RunCli(e.Args("pt_BR", false, true));
  EXPECT_EQ(claims.status, 0);
  ExpectLog("somente_sinistros_pt_BR.txt", claims.out);
}

TEST(TolkCriticaTest, AnErrorKeepsTheLogAndSaysWhy) {
  Entrega e;
  std::vector<std::string> args = e.Args("pt_BR", true, false);
  args.insert(args.end(), {"--sinistros", e.f.dir.File("falta.dbf")});
  Result r = RunCli(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "TXQSmartDBF.InternalOpen: Open error \"" + e.f.dir.File("falta.dbf") +
                       "\"\nO arquivo de sinistros não existe: confira a pasta e o nome na caixa "
                       "“Arquivo de Sinistros”, ou escolha o arquivo pelo botão ao lado dela.\n");
  ExpectLog("erro_pt_BR.txt", r.out);

  // Each file in the other's box: both fail the structure check, the log
  // says so as always, and the analyst is told why after the run.
  Result swapped = RunCli({"--pasta", e.f.dir.path(), "--locale", "pt_BR", "--riscos", e.sinistros,
                           "--sinistros", e.riscos});
  EXPECT_EQ(swapped.status, 0);
  EXPECT_EQ(swapped.err,
            "Crítica finalizada.\nOs arquivos parecem estar trocados: o arquivo "
            "indicado em “Arquivo de Riscos” tem a estrutura da tabela de sinistros, e "
            "o indicado em “Arquivo de Sinistros”, a da tabela de riscos. Troque-os de "
            "caixa e critique de novo.\n");
  EXPECT_NE(swapped.out.find("Erro: estrutura incorreta na tabela SINISTROS"), std::string::npos);
}

TEST(TolkCriticaTest, ExportIsWindows1252WithCrLf) {
  Entrega e;
  std::vector<std::string> args = e.Args("pt_BR");
  args.insert(args.end(), {"--saida", e.f.dir.File("log.txt")});
  Result r = RunCli(args);
  ASSERT_EQ(r.status, 0);
  std::string expected;
  std::istringstream lines(r.out);
  for (std::string l; std::getline(lines, l);) expected += Utf8ToCp1252(l) + "\r\n";
  std::string written = testing::ReadBytes(e.f.dir.File("log.txt"));
  EXPECT_EQ(written, expected);
  EXPECT_EQ(written.substr(0, 8),
            "In\xED"
            "cio d");

  args.back() = e.f.dir.File("nao/existe/log.txt");
  r = RunCli(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("tolk-critica: não foi possível gravar"), std::string::npos) << r.err;
}

TEST(TolkCriticaTest, AnOutputThatNamesARunFileIsRefusedBeforeAnythingIsWritten) {
  Entrega e;
  const std::string riscos = testing::ReadBytes(e.riscos),
                    sinistros = testing::ReadBytes(e.sinistros);
  const std::string link = e.f.dir.File("link.dbf");
  ASSERT_EQ(::symlink(e.sinistros.c_str(), link.c_str()), 0);
  const std::string log = e.f.dir.File("log.txt");
  struct Case {
    std::vector<std::string> extra;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--saida", e.riscos},
       "--saida \"" + e.riscos + "\" é o arquivo de riscos: nada foi gravado"},
      {{"--detalhes", link},
       "--detalhes \"" + link + "\" é o arquivo de sinistros: nada foi gravado"},
      {{"--json", e.f.dir.File("tabelas.dbf")},
       "--json \"" + e.f.dir.File("tabelas.dbf") +
           "\" é tabelas.dbf da pasta do programa: nada foi gravado"},
      {{"--saida", log, "--json", e.f.dir.Folder() + "./log.txt"},
       "--saida e --json nomeiam o mesmo arquivo \"" + e.f.dir.Folder() + "./log.txt\""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = e.Args("pt_BR");
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    Result r = RunCli(args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.err, "tolk-critica: " + c.message + "\n");
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(testing::ReadBytes(e.riscos), riscos);
  EXPECT_EQ(testing::ReadBytes(e.sinistros), sinistros);
  EXPECT_FALSE(std::filesystem::exists(log));
}

TEST(TolkCriticaTest, CommandLine) {
  Result help = RunCli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("uso: tolk-critica [--riscos ARQ]", 0), 0u);
  Result version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tolk-critica (tolk-zav) " TOLK_VERSION "\n");
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--riscos"},
                                              {"--nada"},
                                              {"--agora", "2026-02-30 10:00:00"},
                                              {"--locale", "xx_YY"}}) {
    Result r = RunCli(bad);
    EXPECT_EQ(r.status, 2) << bad[0];
    EXPECT_NE(r.err.find("uso: tolk-critica"), std::string::npos);
    EXPECT_TRUE(r.out.empty());
  }
  // The program folder with or without its trailing separator; both boxes blank.
  Entrega e;
  Result a =
      RunCli({"--pasta", e.f.dir.path(), "--locale", "pt_BR", "--agora=2026-12-08 00:00:00"});
  Result b =
      RunCli({"--pasta", e.f.dir.Folder(), "--locale", "pt_BR", "--agora", "2026-12-08 00:00:00"});
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(a.out.substr(0, a.out.find('\n')), "Início do processamento: 08/12/2026");
}

TEST(TolkCriticaTest, TheShippedSample) {
  const std::string bin = Env("TOLK_BIN_DIR", TOLK_BIN_DIR_DEFAULT);
  const std::string samples = bin + "/../samples/";
  Result r = RunCli({"--riscos", samples + "riscos.dbf", "--sinistros", samples + "sinistros.dbf",
                     "--locale", "pt_BR", "--agora", "2026-12-08 16:40:35"});
  EXPECT_EQ(r.status, 0) << r.err;
  ExpectLog("amostra_pt_BR.txt", r.out);
}

}  // namespace
}  // namespace tolk
