// --detalhes and --json: every counted finding listed, the log unchanged.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "app/run_fixture.h"
#include "cli/cli_runner.h"
#include "dataset/text.h"

namespace tolk {
namespace {

std::vector<std::string> Lines(const std::string& text, const char* end = "\n") {
  std::vector<std::string> out;
  std::size_t start = 0, len = std::strlen(end);
  for (std::size_t p; (p = text.find(end, start)) != std::string::npos; start = p + len)
    out.push_back(text.substr(start, p - start));
  return out;
}

// A CSV row split on `sep`, with RFC 4180 quotes undone.
std::vector<std::string> Cells(const std::string& row, char sep) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < row.size(); ++i) {
    char c = row[i];
    if (quoted) {
      if (c == '"' && i + 1 < row.size() && row[i + 1] == '"')
        cells.back() += '"', ++i;
      else if (c == '"')
        quoted = false;
      else
        cells.back() += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == sep) {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

std::string Sample(const char* name) {
  return Env("TOLK_BIN_DIR", TOLK_BIN_DIR_DEFAULT) + "/../samples/" + name;
}

TEST(DetalhesTest, RowsMatchTheCountersAndTheLogStaysTheSame) {
  testing::TempDir dir;
  const std::vector<std::string> base = {
      "--riscos", Sample("riscos.dbf"), "--sinistros", Sample("sinistros.dbf"), "--locale", "pt_BR",
      "--agora",  "2026-12-08 16:40:35"};
  Result plain = RunCli(base);
  std::vector<std::string> args = base;
  args.insert(args.end(), {"--detalhes", dir.File("d.csv")});
  Result detailed = RunCli(args);
  ASSERT_EQ(detailed.status, 0) << detailed.err;
  EXPECT_EQ(detailed.out, plain.out);

  // Counters of the log's per-field tables: (table, field) -> (ErroNulo, ErroDom).
  std::map<std::pair<std::string, std::string>, std::pair<int, int>> log;
  int semBilhete = -1, inconsistentes = 0;
  for (const auto& l : Lines(plain.out)) {
    if (l.size() >= 100 && (l.rfind("RISCOS", 0) == 0 || l.rfind("SINISTROS", 0) == 0))
      log[{Trim(l.substr(0, 20)), Trim(l.substr(20, 20))}] = {std::stoi(l.substr(40, 20)),
                                                              std::stoi(l.substr(80, 20))};
    if (l.find("sinistros sem bilhete") != std::string::npos) semBilhete = std::stoi(l);
    if (l.rfind("Número de prêmios", 0) == 0)
      inconsistentes = std::stoi(l.substr(l.rfind(':') + 1));
  }
  ASSERT_FALSE(log.empty());

  std::map<std::pair<std::string, std::string>, std::pair<int, int>> rows;
  int sem = 0, classe = 0;
  auto csv = Lines(testing::ReadBytes(dir.File("d.csv")), "\r\n");
  ASSERT_EQ(csv.at(0), "tabela;registro;campo;regra;valor;qualificador");
  for (std::size_t i = 1; i < csv.size(); ++i) {
    auto c = Cells(csv[i], ';');
    ASSERT_EQ(c.size(), 6u) << csv[i];
    EXPECT_GT(std::stoi(c[1]), 0);
    const std::string& rule = c[3];
    if (rule == "nulo")
      ++rows[{c[0], c[2]}].first;
    else if (rule == "tamanho" || rule == "data" || rule == "dominio")
      ++rows[{c[0], c[2]}].second;
    else if (rule == "sem_bilhete")
      ++sem;
    else if (rule == "classe_tarifaria")
      ++classe;
    else
      ADD_FAILURE() << "unexpected rule " << rule;
  }
  for (const auto& [key, counts] : log) {
    auto it = rows.find(key);
    auto got = it == rows.end() ? std::make_pair(0, 0) : it->second;
    EXPECT_EQ(got, counts) << key.first << " " << key.second;
  }
  EXPECT_EQ(sem, semBilhete);
  EXPECT_EQ(classe, inconsistentes);
}

TEST(DetalhesTest, QuotingAndSeparators) {
  testing::RunFixture f;
  // COD_MUN must be 7 characters: this one has 6, a separator, a quote and
  // accented letters (Windows-1252 in the file, UTF-8 in the CSV).
  std::string odd = ";\"\xE7\xE3o,";
  std::string r = f.Riscos({{"05428", "0000000001", "201703", "1", "10", odd, "22.22"}});
  std::string csv = f.dir.File("d.csv");
  for (auto [locale, sep, cell] :
       {std::tuple<const char*, char, const char*>{"pt_BR", ';', "\";\"\"ção,\""},
        {"en_US", ',', "\";\"\"ção,\""}}) {
    Result res =
        RunCli({"--pasta", f.dir.path(), "--riscos", r, "--locale", locale, "--detalhes", csv});
    ASSERT_EQ(res.status, 0) << res.err;
    auto rows = Lines(testing::ReadBytes(csv), "\r\n");
    ASSERT_EQ(rows.size(), 2u);
    std::string expected =
        std::string("RISCOS") + sep + "1" + sep + "COD_MUN" + sep + "tamanho" + sep + cell + sep;
    EXPECT_EQ(rows[1], expected) << locale;
  }
}

TEST(DetalhesTest, ToStandardOutputInsteadOfTheLog) {
  testing::RunFixture f;
  std::string r = f.Riscos({{"05428", "", "201713", "1", "10", "3550308", "22.22"}});
  Result res =
      RunCli({"--pasta", f.dir.path(), "--riscos", r, "--locale", "en_US", "--detalhes", "-"});
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.out,
            "tabela,registro,campo,regra,valor,qualificador\r\n"
            "RISCOS,1,BILHETE,nulo,,\r\n"
            "RISCOS,1,DATA_COMP,data,201713,\r\n");
}

TEST(JsonTest, SummaryOfARunAndOfAnError) {
  testing::RunFixture f;
  std::string r = f.Riscos({{"05428", "", "201703", "7", "10", "3550308", "22.22"}});
  std::string s = f.Sinistros({testing::Sinistro("0000000002")});
  std::string json = f.dir.File("r.json");
  Result ok = RunCli({"--pasta", f.dir.path(), "--riscos", r, "--sinistros", s, "--json", json});
  ASSERT_EQ(ok.status, 0) << ok.err;
  std::string text = testing::ReadBytes(json);
  for (const char* piece :
       {"\"cod_seg\": \"05428\"", "\"empresa\": \"SEGURADORA EXEMPLO S.A.\"",
        "{\"campo\": \"BILHETE\", \"erro_nulo\": 1, \"erro_dom\": 0}",
        "\"cruzamento\": {\"sem_bilhete\": 1, \"sinistros\": 1}",
        "\"premios\": {\"valor_orb\": 1000, \"valor_zav\": 22.22",
        "\"premios_inconsistentes\": {\"quantidade\": 1, \"total\": 22.22}", "\"erro\": null"})
    EXPECT_NE(text.find(piece), std::string::npos) << piece << "\n" << text;

  Result bad =
      RunCli({"--pasta", f.dir.path(), "--riscos", f.dir.File("falta.dbf"), "--json", json});
  EXPECT_EQ(bad.status, 1);
  text = testing::ReadBytes(json);
  EXPECT_NE(text.find("\"erro\": \"TXQSmartDBF.InternalOpen: Open error \\\"" +
                      f.dir.File("falta.dbf") + "\\\"\""),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"tabelas\": []"), std::string::npos) << text;

  // A file name that is not UTF-8 still gives UTF-8: its bytes read as
  // Windows-1252. A UTF-8 name stays as it is.
  const std::string latin = f.dir.File("S\xE3o.dbf"), utf8 = f.dir.File("S\xC3\xA3o.dbf");
  testing::WriteBytes(latin, testing::ReadBytes(r));
  testing::WriteBytes(utf8, testing::ReadBytes(r));
  for (const auto& [path, shown] : {std::pair{latin, utf8}, std::pair{utf8, utf8}}) {
    Result named = RunCli({"--pasta", f.dir.path(), "--riscos", path, "--json", json});
    EXPECT_EQ(named.status, 0) << named.err;
    text = testing::ReadBytes(json);
    EXPECT_NE(text.find("\"riscos\": \"" + shown + "\""), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace tolk
