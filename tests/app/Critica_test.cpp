// The validation run stage by stage, driven through Executa over small
// deliveries, with the log and the dictionary's counters checked.
#include "app/Critica.h"

#include <gtest/gtest.h>

#include "app/run_fixture.h"
#include "dataset/Exceptions.h"
#include "dataset/text.h"

namespace tolk {
namespace {

using testing::AnexoDic;
using testing::CampoDic;
using testing::Risco;
using testing::RunFixture;
using testing::Sinistro;
using tolk::Cp1252ToUtf8;

const std::string kSep(110, '=');

std::vector<std::string> Strings(const TqelMemTable& t, const char* field) {
  std::vector<std::string> out;
  auto& m = const_cast<TqelMemTable&>(t);
  for (m.First(); !m.Eof(); m.Next()) out.push_back(Trim(m.FieldByName(field).AsString()));
  return out;
}

// ---- Dictionary load -------------------------------------------------------------------

TEST(CarregaDicionarioTest, LineFilterNumberingAndNameOrder) {
  RunFixture f;
  std::vector<CampoDic> d = {
      {"TOLX", "AAA", "X", "", "1", "1", "0", "0", "0", "0", "0", "1", "0", "0"},
      {" TOLK ", "ZETA", "COD_SEG", "", "1", "5", "0", "0", "0", "0", "0", "1", "0", "0"},
      {"tolk", "BETA", "X", "", "1", "1", "0", "0", "0", "0", "0", "1", "0", "0"},
      {"TOLK", "ALFA", "CAMPO_LONGO1", "DEPENDE_LON", "1", "5", "1", "0", "0", "0", "0", "1", "0",
       "0"},
  };
  testing::WriteTabelas(f.dir.File("tabelas.dbf"), d);
  testing::WriteAnexos(
      f.dir.File("anexos.dbf"),
      {{"TOLK", "ALFA", "CAMPO_LONGO1", "V1", ""},  // the same field, cut to 10 characters
       {"TOLK", "NENHUMA", "X", "V2", ""},          // no such table: left out
       {"TOLK", "ALFA", "OUTRO", "V3", ""},         // no such field: left out
       {"TOLX", "ALFA", "CAMPO_LONGO1", "V4", ""}});
  f.Run("", "");
  // Numbered by first appearance (ZETA 1, ALFA 2), walked by name.
  EXPECT_EQ(Strings(f.critica.qelTabelas, "tabela"), (std::vector<std::string>{"ALFA", "ZETA"}));
  EXPECT_EQ(Strings(f.critica.qelTabelas, "ordem"), (std::vector<std::string>{"2", "1"}));
  EXPECT_EQ(f.critica.qelEstrutTab.RecordCount(), 2);
  EXPECT_EQ(Strings(f.critica.qelEstrutTab, "campo"),
            (std::vector<std::string>{"COD_SEG", "CAMPO_LONG"}));
  EXPECT_EQ(Strings(f.critica.qelEstrutTab, "depende"),
            (std::vector<std::string>{"", "DEPENDE_LO"}));
  ASSERT_EQ(f.critica.qelAnexos.RecordCount(), 1);
  f.critica.qelAnexos.First();
  EXPECT_EQ(f.critica.qelAnexos.FieldByName("tabela").AsString(), "2");
  EXPECT_EQ(f.critica.qelAnexos.FieldByName("campo").AsString(), "1");
  EXPECT_EQ(f.critica.qelAnexos.FieldByName("valor1").AsString(), "V1   ");
  EXPECT_EQ(f.critica.qelAnexos.FieldByName("valor2").AsString(), "       ");
}

TEST(CarregaDicionarioTest, MissingFilesAndColumnsEndTheRun) {
  RunFixture f;
  std::remove(f.dir.File("anexos.dbf").c_str());
  EXPECT_THROW_MSG(f.Run("", ""), Exception,
                   "TXQSmartDBF.InternalOpen: Open error \"" + f.dir.File("anexos.dbf") + "\"");
  EXPECT_EQ(f.window.lines.size(), 3u);  // the opening lines stay
  EXPECT_EQ(f.window.finalMessages, 0);

  tools::DbfWriter w({{"RAMO", 'C', 6}, {"TABELA", 'C', 20}});
  w.AddRecord({"TOLK", "RISCOS"});
  w.WriteFile(f.dir.File("tabelas.dbf"));
  EXPECT_THROW_MSG(f.Run("", ""), EDatabaseError, "tbTabelas: Field 'campo' not found");
}

// ---- Structure check ---------------------------------------------------------------------

struct StructureCase {
  const char* what;
  std::vector<tools::FieldSpec> fields;
  bool ok;
};

TEST(VerificaEstruturaTest, FieldsAgainstTheDictionary) {
  auto base = testing::CamposRiscos();
  auto extra = base;
  extra.push_back({"OBS", 'C', 3});
  auto missing = base;
  missing.pop_back();
  auto swapped = base;
  std::swap(swapped[0], swapped[1]);
  auto wider = base;
  wider[1].width = 11;
  auto numeric = base;
  numeric[6] = {"VAL_PREM", 'N', 12, 0};  // ftLargeint, not ftFloat
  auto lower = base;
  lower[0].name = "cod_seg";  // the field name reads in upper case
  std::vector<StructureCase> cases = {{"exact", base, true},
                                      {"extra field", extra, false},
                                      {"missing field", missing, false},
                                      {"swapped", swapped, false},
                                      {"wider C", wider, false},
                                      {"numeric type", numeric, false},
                                      {"lower-case name", lower, true}};
  for (const auto& c : cases) {
    RunFixture f;
    f.Run(f.Table("r.dbf", c.fields, {}), "");
    bool reported = f.window.Has("Erro: estrutura incorreta na tabela RISCOS");
    EXPECT_EQ(reported, !c.ok) << c.what;
    EXPECT_EQ(f.window.Has("Total de registros : 0"), c.ok) << c.what;
  }
}

TEST(VerificaEstruturaTest, RowFaultsCountAsAMismatchOnce) {
  RunFixture f;
  auto d = testing::DicionarioPadrao();
  d[0].campo = "cod_seg";  // the dictionary must say COD_SEG
  testing::WriteTabelas(f.dir.File("tabelas.dbf"), d);
  f.Run(f.Riscos({Risco()}), "");
  EXPECT_TRUE(f.window.Has("Erro: estrutura incorreta na tabela RISCOS"));

  d = testing::DicionarioPadrao();
  d[2].ordem = "";  // a row without position: the error is caught
  testing::WriteTabelas(f.dir.File("tabelas.dbf"), d);
  f.Run(f.Riscos({Risco()}), "");
  int count = 0;
  for (const auto& l : f.window.Utf8())
    count += Trim(l) == "Erro: estrutura incorreta na tabela RISCOS";
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(f.window.Has("Total de registros : 1"));
}

// ---- Record rules ----------------------------------------------------------------------------

TEST(CriticaRegistrosTest, EachRuleRaisesItsCounter) {
  RunFixture f;
  auto r = [](std::vector<std::string> v) { return v; };
  std::string riscos = f.Riscos({
      r({"05428", "0000000001", "201703", "1", "10", "3550308", "22.22"}),  // valid
      r({"05428", "          ", "201713", "4", "10", "355030",
         "       "}),  // blank, bad month, not in domain, 6 digits, null N
      r({"05428", "0000000003", "201702", "2", "10", " 3550308",
         "0.00"}),  // CATEG 10 not with class 2; shifted code
      r({"05428", "0000000004", "203201", "a", "20", "0355030",
         "1"}),                                   // sixth year after; lower-case class
      r({"*", "05428", "", "", "", "", "", ""}),  // deleted: neither counted nor checked
  });
  f.Run(riscos, "");
  EXPECT_TRUE(f.window.Has("Total de registros : 4"));
  EXPECT_EQ(f.Erros(1, 1), std::make_pair(0, 0));  // COD_SEG
  EXPECT_EQ(f.Erros(1, 2), std::make_pair(1, 0));  // BILHETE blank
  EXPECT_EQ(f.Erros(1, 3), std::make_pair(0, 2));  // 201713, 203201
  EXPECT_EQ(f.Erros(1, 4), std::make_pair(0, 2));  // 4, and a (upper case A is not listed)
  EXPECT_EQ(f.Erros(1, 5), std::make_pair(0, 3));  // (10,4), (10,2), (20,A)
  EXPECT_EQ(f.Erros(1, 6), std::make_pair(0, 2));  // 355030, and " 3550308" cut to " 355030"
  EXPECT_EQ(f.Erros(1, 7), std::make_pair(1, 0));  // a null premium; 0.00 is a value
}

TEST(CriticaRegistrosTest, DomainKeyPadsTrimsAndCuts) {
  RunFixture f;
  testing::WriteAnexos(f.dir.File("anexos.dbf"), {{"TOLK", "RISCOS", "CLASSE_TAR", "A", ""},
                                                  {"TOLK", "RISCOS", "CATEG", "10", "A"}});
  auto fields = testing::CamposRiscos();
  fields[3].width = 3;  // CLASSE_TAR C3, so that " A " fits
  auto d = testing::DicionarioPadrao();
  d[3].tamanho = "3";
  testing::WriteTabelas(f.dir.File("tabelas.dbf"), d);
  f.Run(f.Table("r.dbf", fields,
                {{"05428", "1", "201703", "A", "10", "3550308", "1"},
                 {"05428", "2", "201703", "a", "10", "3550308", "1"},
                 {"05428", "3", "201703", " A ", "10", "3550308", "1"},
                 {"05428", "4", "201703", "B", "10", "3550308", "1"}}),
        "");
  EXPECT_EQ(f.Erros(1, 4).second, 1);  // only B
  EXPECT_EQ(f.Erros(1, 5).second, 1);  // 10 qualified by B
}

TEST(CriticaRegistrosTest, ZerosAcceptAllZeroDatesAndDomains) {
  RunFixture f;
  f.Run("", f.Sinistros({Sinistro(),
                         {"05428", "0000000002", "00000000", "00000000", "M", "1"},
                         {"05428", "0000000003", "20170401", "0000000 ", "M", "1"}}));
  EXPECT_EQ(f.Erros(2, 3).second, 1);  // DATA_AVI: zeros are no date there
  EXPECT_EQ(f.Erros(2, 4).second, 1);  // DATA_PAG: zeros pass, seven zeros and a blank do not
}

TEST(CriticaRegistrosTest, AnotherInsurerEndsTheWalk) {
  RunFixture f;
  f.Run(f.Riscos({Risco("1"), {"09999", "2", "201713", "9", "99", "1", ""}, Risco("3")}), "");
  auto log = f.window.Utf8();
  auto it = std::find_if(log.begin(), log.end(), [](const std::string& l) {
    return Trim(l) == "Erro: mais de uma empresa encontrada no arquivo da tabela RISCOS";
  });
  ASSERT_NE(it, log.end());
  EXPECT_EQ(*(it + 1), "Total de registros : 2");
  EXPECT_EQ(f.Erros(1, 3), std::make_pair(0, 0));  // the second record was not checked
  EXPECT_FALSE(f.window.Has(
      "Tabela              Campo               ErroNulo            %                   "
      "ErroDom             %                   "));
  EXPECT_EQ(f.critica.Estado().criticaOk, 0);
}

TEST(CriticaRegistrosTest, NullTextConversionsEndTheRun) {
  RunFixture f;
  auto d = testing::DicionarioPadrao();
  d[6].zerosesq = "1";  // a width rule on the numeric premium
  testing::WriteTabelas(f.dir.File("tabelas.dbf"), d);
  EXPECT_THROW_MSG(
      f.Run(f.Riscos({Risco(), {"05428", "2", "201703", "1", "10", "3550308", ""}}), ""),
      EVariantError, "Could not convert variant of type (Null) into type (String)");
  EXPECT_EQ(f.window.lines.size(), 3u);
  // What was counted before the error stays counted.
  EXPECT_EQ(f.Erros(1, 7).first, 1);
  // A qualifying field the table does not have.
  d = testing::DicionarioPadrao();
  d[4].depende = "CLASSE";
  testing::WriteTabelas(f.dir.File("tabelas.dbf"), d);
  EXPECT_THROW_MSG(f.Run(f.Riscos({Risco()}), ""), EDatabaseError,
                   "tbDados: Field 'CLASSE' not found");
}

// ---- Error summary and the driver ----------------------------------------------------------

TEST(ResumoErrosTest, ColumnsAndEmptyTables) {
  RunFixture f;
  auto d = testing::DicionarioPadrao();
  for (auto& r : d)
    if (r.tabela == "RISCOS") r.tabela = "TABELA_DE_RISCOS_XYZ";  // exactly 20 characters
  testing::WriteTabelas(f.dir.File("tabelas.dbf"), d);
  auto a = testing::AnexosPadrao();
  for (auto& r : a)
    if (r.tabela == "RISCOS") r.tabela = "TABELA_DE_RISCOS_XYZ";
  testing::WriteAnexos(f.dir.File("anexos.dbf"), a);
  f.Run(f.Riscos({Risco("1"), {"05428", "", "201703", "1", "10", "3550308", "22.22"}, Risco("3")}),
        f.Sinistros({{"*", "05428", "1", "20170315", "20170401", "M", "1"}}));
  EXPECT_TRUE(f.window.Has(
      "TABELA_DE_RISCOS_XYZBILHETE             1                   33,33%              0  "
      "                 0,00%               "));
  // The claims table has no live record: header, no lines.
  auto log = f.window.Utf8();
  auto total = std::find(log.begin(), log.end(), "Total de registros : 0");
  ASSERT_NE(total, log.end());
  EXPECT_EQ(*(total + 1), kSep);
  EXPECT_EQ(*(total + 3),
            "Tabela              Campo               ErroNulo            %                   "
            "ErroDom             %                   ");
  EXPECT_EQ(*(total + 4), "");
}

TEST(ExecutaTest, BothBoxesBlank) {
  RunFixture f;
  f.Run("", " \t ");
  std::vector<std::string> expected = {
      "Início do processamento: 08/12/2026 16:40:35", "", "",  kSep, "",
      "Arquivo de sinistros ou de riscos faltando.",  "", "",  kSep, "",
      "Fim do processamento: 08/12/2026 16:40:35",    "", kSep};
  EXPECT_EQ(f.window.Utf8(), expected);
  EXPECT_EQ(f.window.finalMessage, "Cr\xEDtica finalizada.");
  EXPECT_EQ(f.window.progress, (std::vector<int>{75, 90, 0}));
}

TEST(ExecutaTest, OneBoxOnly) {
  RunFixture risks;
  risks.Run(risks.Riscos({Risco()}), "");
  EXPECT_TRUE(risks.window.Has("Total de registros : 1"));
  EXPECT_TRUE(risks.window.Has("Arquivo de sinistros ou de riscos faltando."));
  EXPECT_EQ(risks.window.progress, (std::vector<int>{25, 75, 90, 0}));

  RunFixture claims;
  claims.Run("", claims.Sinistros({Sinistro()}));
  EXPECT_TRUE(claims.window.Has("Arquivo de sinistros ou de riscos faltando."));
  EXPECT_EQ(claims.critica.Estado().codSeg, "05428");
  EXPECT_EQ(claims.window.progress, (std::vector<int>{50, 75, 90, 0}));

  // A claims table that fails its structure check: no notice.
  RunFixture bad;
  bad.Run("", bad.Table("s.dbf", testing::CamposRiscos(), {Risco()}));
  EXPECT_TRUE(bad.window.Has("Erro: estrutura incorreta na tabela SINISTROS"));
  EXPECT_FALSE(bad.window.Has("Arquivo de sinistros ou de riscos faltando."));
}

TEST(ExecutaTest, ASecondRunGivesTheSameLog) {
  RunFixture f;
  std::string r = f.Riscos({Risco("1"), {"05428", "", "201713", "9", "99", "1", ""}});
  std::string s = f.Sinistros({Sinistro("1"), Sinistro("7")});
  f.Run(r, s);
  auto first = f.window.lines;
  f.now += 1.0 / 24;  // an hour later
  f.Run(r, s);
  auto second = f.window.lines;
  ASSERT_EQ(first.size(), second.size());
  for (std::size_t i = 0; i < first.size(); ++i)
    if (first[i].find("processamento") == std::string::npos) {
      EXPECT_EQ(first[i], second[i]) << i;
    }
  EXPECT_EQ(Cp1252ToUtf8(second[0]), "Início do processamento: 08/12/2026 17:40:35");
}

TEST(ExecutaTest, AnErrorLeavesNoFileOpen) {
  RunFixture f;
  std::string r = f.Table("r.dbf", {{"BILHETE", 'C', 10}}, {{"1"}});  // no cod_seg column
  EXPECT_THROW_MSG(f.Run(r, ""), EDatabaseError, "tbDados: Field 'cod_seg' not found");
  SystemFile probe;
  EXPECT_TRUE(probe.OpenRead(r, ShareMode::Exclusive));  // released
  probe.Close();
  // The next run opens what the boxes now name.
  f.Run(f.Riscos({Risco()}), "");
  EXPECT_TRUE(f.window.Has("Total de registros : 1"));
}

}  // namespace
}  // namespace tolk
