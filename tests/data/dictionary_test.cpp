// The shipped dictionary, figures file and help, as the build leaves them in
// the program folder.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "data/dictionary_model.h"
#include "test_support.h"

namespace tolk::testing {
namespace {

class DictionaryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dict_ = new Dictionary(LoadDictionary(BinDir())); }
  static void TearDownTestSuite() { delete dict_; }
  static const Dictionary& D() { return *dict_; }
  static Dictionary* dict_;
};
Dictionary* DictionaryTest::dict_ = nullptr;

// Column name, type letter and minimum width of a file's structure.
void ExpectColumns(const std::string& path,
                   const std::vector<std::tuple<std::string, char, int>>& columns) {
  TXQSmartDBF t;
  t.DBFFileName = path;
  t.Open();
  ASSERT_EQ(t.FieldCount(), static_cast<int>(columns.size())) << path;
  for (int i = 0; i < t.FieldCount(); ++i) {
    const auto& [name, type, width] = columns[static_cast<std::size_t>(i)];
    EXPECT_EQ(t.Fields()[i].FieldName(), name) << path;
    EXPECT_EQ(t.FieldDef(i).type, type) << path << " " << name;
    EXPECT_GE(static_cast<int>(t.FieldDef(i).width), width) << path << " " << name;
    if (type == 'N') {
      EXPECT_EQ(t.FieldDef(i).decimals, 0) << path << " " << name;
    }
  }
}

TEST_F(DictionaryTest, FilesHaveTheColumnsTheLoadReads) {
  std::vector<std::tuple<std::string, char, int>> tabelas = {
      {"RAMO", 'C', 4},     {"TABELA", 'C', 1},   {"CAMPO", 'C', 10},  {"DEPENDE", 'C', 10},
      {"TIPO", 'N', 2},     {"TAMANHO", 'N', 3},  {"DOMINIO", 'N', 1}, {"NULO", 'N', 1},
      {"DATA", 'N', 1},     {"POSITIVO", 'N', 1}, {"ZEROS", 'N', 1},   {"ORDEM", 'N', 2},
      {"ZEROSESQ", 'N', 1}, {"SOMA", 'N', 1}};
  ExpectColumns(BinDir() + "/tabelas.dbf", tabelas);
  ExpectColumns(BinDir() + "/anexos.dbf", {{"RAMO", 'C', 4},
                                           {"TABELA", 'C', 1},
                                           {"CAMPO", 'C', 10},
                                           {"VALOR1", 'C', 5},
                                           {"VALOR2", 'C', 7}});
}

TEST_F(DictionaryTest, RisksComeFirstAndEachTableIsOneRunOfRows) {
  EXPECT_EQ(D().Tables("TOLK"), (std::vector<std::string>{"RISCOS", "SINISTROS"}));
  // The other line sits before and between the TOLK rows, so only the line
  // filter keeps the risks table at number 1.
  ASSERT_FALSE(D().rows.empty());
  EXPECT_NE(D().rows.front().ramo, "TOLK");
  EXPECT_FALSE(D().Line("TOLX").empty());
  EXPECT_TRUE(std::any_of(D().domains.begin(), D().domains.end(),
                          [](auto& a) { return a.ramo == "TOLX"; }));
  for (const auto& tabela : D().Tables("TOLK")) {
    auto rows = D().Line("TOLK", tabela);
    std::set<std::string> names;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i]->ordem, static_cast<int>(i + 1)) << tabela << " " << rows[i]->campo;
      EXPECT_EQ(rows[i]->campo, UpperCaseAscii(rows[i]->campo));
      EXPECT_TRUE(names.insert(rows[i]->campo).second) << "repeated " << rows[i]->campo;
    }
    EXPECT_EQ(rows.front()->campo, "COD_SEG") << tabela;
    EXPECT_EQ(rows[1]->campo, "BILHETE") << tabela;
  }
}

TEST_F(DictionaryTest, TypeCodesSizesAndFlagsAreCoherent) {
  for (const FieldRow* r : D().Line("TOLK")) {
    SCOPED_TRACE(r->tabela + "." + r->campo);
    EXPECT_TRUE(r->tipo == 1 || r->tipo == 3 || r->tipo == 25 || r->tipo == 6 || r->tipo == 9 ||
                r->tipo == 5);
    if (r->tipo == 1)
      EXPECT_GT(r->tamanho, 0);
    else
      EXPECT_EQ(r->tamanho, 0);
    for (int flag : {r->dominio, r->nulo, r->data, r->positivo, r->zeros, r->zerosesq, r->soma})
      EXPECT_TRUE(flag == 0 || flag == 1);
    // Width, date and domain rules read the value as text: on a numeric
    // column a blank cell would end the run instead of counting an error.
    if (r->zerosesq || r->data || r->dominio) {
      EXPECT_EQ(r->tipo, 1);
    }
    if (r->data) {
      EXPECT_TRUE(r->tamanho == 6 || r->tamanho == 8);
    }
    if (r->zeros) {
      EXPECT_TRUE(r->data || r->dominio);
    }
    if (!r->depende.empty()) {
      EXPECT_EQ(r->dominio, 1);
    }
  }
}

TEST_F(DictionaryTest, EveryRuleKindIsInUse) {
  auto rows = D().Line("TOLK");
  auto any = [&](auto pred) {
    return std::any_of(rows.begin(), rows.end(), [&](const FieldRow* r) { return pred(*r); });
  };
  EXPECT_TRUE(any([](auto& r) { return r.nulo && r.tipo == 1; }));
  EXPECT_TRUE(any([](auto& r) { return r.nulo && r.tipo != 1; }));
  EXPECT_TRUE(any([](auto& r) { return r.zerosesq; }));
  EXPECT_TRUE(any([](auto& r) { return r.data && r.tamanho == 6; }));
  EXPECT_TRUE(any([](auto& r) { return r.data && r.tamanho == 8; }));
  EXPECT_TRUE(any([](auto& r) { return r.dominio && r.depende.empty(); }));
  EXPECT_TRUE(any([](auto& r) { return r.dominio && !r.depende.empty(); }));
  EXPECT_TRUE(any([](auto& r) { return r.zeros; }));
  EXPECT_TRUE(
      any([](auto& r) { return !r.nulo && !r.dominio && !r.data && !r.zerosesq; }));  // optional
  // The fields the cross-check and the reconciliation read.
  for (auto [tabela, campo, tipo] : {std::tuple{"RISCOS", "DATA_COMP", 1},
                                     {"RISCOS", "VAL_PREM", 6},
                                     {"RISCOS", "CLASSE_TAR", 1},
                                     {"SINISTROS", "DATA_AVI", 1},
                                     {"SINISTROS", "VAL_SINIST", 6}}) {
    const FieldRow* r = D().Find(tabela, campo);
    ASSERT_NE(r, nullptr) << campo;
    EXPECT_EQ(r->tipo, tipo) << campo;
  }
  EXPECT_EQ(D().Find("RISCOS", "DATA_COMP")->tamanho, 6);
}

TEST_F(DictionaryTest, DomainRowsNameFieldsOfTheDictionary) {
  std::map<std::pair<std::string, std::string>, std::set<std::string>> values;  // admissible valor1
  for (const auto& a : D().domains) {
    if (a.ramo != "TOLK") continue;
    SCOPED_TRACE(a.tabela + "." + a.campo + " " + a.valor1);
    const FieldRow* r = D().Find(a.tabela, a.campo);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->dominio, 1);
    // Left-aligned, upper case, within the key widths, no wider than the field.
    std::string v1 = Trim(a.valor1), v2 = Trim(a.valor2);
    EXPECT_FALSE(v1.empty());
    EXPECT_EQ(a.valor1, PadTo(v1, 5));
    EXPECT_EQ(a.valor2, PadTo(v2, 7));
    EXPECT_EQ(v1, UpperCaseAscii(v1));
    EXPECT_LE(static_cast<int>(v1.size()), r->tamanho);
    EXPECT_EQ(v2.empty(), r->depende.empty());
    auto& admitted = values[std::pair(a.tabela, a.campo)];
    EXPECT_TRUE(admitted.insert(v1 + "/" + v2).second) << "repeated row";
  }
  for (const FieldRow* r : D().Line("TOLK")) {
    if (r->dominio != 1) continue;
    EXPECT_FALSE(values[std::pair(r->tabela, r->campo)].empty())
        << r->campo << " has no admissible values";
    if (r->depende.empty()) continue;
    // The qualifying field is in the same table, and every qualifying value
    // listed is itself admissible there.
    const FieldRow* q = D().Find(r->tabela, r->depende);
    ASSERT_NE(q, nullptr) << r->campo << " depends on a field its table lacks";
    std::set<std::string> qualifiers;
    for (const auto& a : D().domains)
      if (a.ramo == "TOLK" && a.tabela == r->tabela && a.campo == r->depende)
        qualifiers.insert(Trim(a.valor1));
    for (const auto& a : D().domains) {
      if (a.ramo == "TOLK" && a.tabela == r->tabela && a.campo == r->campo) {
        EXPECT_TRUE(qualifiers.count(Trim(a.valor2)))
            << r->campo << " " << a.valor1 << " / " << a.valor2;
      }
    }
    for (const auto& qv : qualifiers) {
      bool used = false;
      for (const auto& a : D().domains)
        used = used || (a.campo == r->campo && Trim(a.valor2) == qv);
      EXPECT_TRUE(used) << r->depende << " " << qv << " admits no " << r->campo;
    }
  }
}

TEST_F(DictionaryTest, FiguresFileMatchesTheInsurerCode) {
  TXQSmartDBF t;
  t.DBFFileName = BinDir() + "/DadosOrb.DBF";
  t.Open();
  // cod_seg is compared as a value with the deliveries' COD_SEG.
  const TField& cod = t.FieldByName("cod_seg");
  EXPECT_EQ(cod.DataType(), TFieldType::ftString);
  EXPECT_EQ(cod.Size(), D().Find("RISCOS", "COD_SEG")->tamanho);
  EXPECT_EQ(cod.Size(), D().Find("SINISTROS", "COD_SEG")->tamanho);
  for (const char* f : {"INIVIG", "FIMVIG"}) EXPECT_EQ(t.FieldByName(f).Size(), 8);
  for (const char* f : {"TOT_PR", "TOT_SIN"})
    EXPECT_EQ(t.FieldByName(f).DataType(), TFieldType::ftFloat);
  std::set<std::string> codes;
  int rows = 0;
  for (; !t.Eof(); t.Next(), ++rows) {
    std::string code = Text(t, "COD_SEG"), ini = Text(t, "INIVIG"), fim = Text(t, "FIMVIG");
    EXPECT_TRUE(codes.insert(code).second) << code;
    EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << code;
    EXPECT_TRUE(CalendarDate(ini, 8, 9999) && CalendarDate(fim, 8, 9999)) << code;
    EXPECT_LT(ini, fim) << code;
    EXPECT_FALSE(Trim(Text(t, "EMPRESA")).empty());
    EXPECT_GT(t.FieldByName("TOT_PR").AsFloat(), 0);
  }
  EXPECT_GE(rows, 3);
  EXPECT_TRUE(codes.count(tools::SampleOptions().insurer));
  EXPECT_TRUE(codes.count(tools::DeliveryOptions().insurer));  // the benchmarks' insurer
}

TEST_F(DictionaryTest, HelpDescribesTheLayoutAndCompiles) {
  const std::string dir = SourceDir() + "/data/ajuda/";
  const std::string layout = ReadBytes(dir + "leiaute.htm");
  for (const FieldRow* r : D().Line("TOLK"))
    EXPECT_NE(layout.find("<td>" + r->campo + "</td>"), std::string::npos)
        << r->campo << " missing in leiaute.htm";
  // Every page the project and the contents name exists.
  std::istringstream project(ReadBytes(dir + "ZAVTolk.hhp"));
  std::string line;
  bool files = false;
  int pages = 0;
  while (std::getline(project, line)) {
    if (line.rfind("[", 0) == 0) {
      files = line == "[FILES]";
    } else if (files && !line.empty()) {
      EXPECT_TRUE(std::ifstream(dir + line).good()) << line;
      ++pages;
    }
  }
  EXPECT_GE(pages, 4);
  const std::string toc = ReadBytes(dir + "conteudo.hhc") + ReadBytes(dir + "indice.hhk");
  const std::string local = "name=\"Local\" value=\"";
  int entries = 0;
  for (auto at = toc.find(local); at != std::string::npos;
       at = toc.find(local, at + 1), ++entries) {
    const std::size_t begin = at + local.size();
    const std::string page = toc.substr(begin, toc.find('"', begin) - begin);
    EXPECT_TRUE(std::ifstream(dir + page).good()) << page;
  }
  EXPECT_GE(entries, pages);
#if TOLK_HAVE_CHMCMD
  EXPECT_EQ(ReadBytes(BinDir() + "/ZAVTolk.chm").substr(0, 4), "ITSF");
#endif
}

}  // namespace
}  // namespace tolk::testing
