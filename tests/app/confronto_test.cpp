// The reconciliation with the regulator's figures.
#include <gtest/gtest.h>

#include "app/Critica.h"
#include "app/decimal_text.h"
#include "app/run_fixture.h"
#include "dataset/text.h"

namespace tolk {
namespace {

using testing::Orb;
using testing::Risco;
using testing::RunFixture;
using testing::Sinistro;

class ConfrontoTest : public ::testing::Test {
 protected:
  RunFixture f;
  void SetUp() override {
    testing::WriteDadosOrb(
        f.dir.File("DadosOrb.DBF"),
        {{"01111", "OUTRA SEGURADORA", "20170101", "20171231", "1.00", "1.00"},
         {"05428", "SEGURADORA EXEMPLO S.A.", "20170115", "20171231", "1000.00", "500.00"}});
  }
  std::vector<std::string> Premio(const std::string& classe, const std::string& valor,
                                  const std::string& comp = "201703") {
    return {"05428", "0000000001", comp, classe, "10", "3550308", valor};
  }
  int Inconsistentes() const { return f.critica.Estado().qtdPremInconsist; }
  std::string Line(const std::string& startsWith) const {
    for (const auto& l : f.window.Utf8())
      if (l.rfind(startsWith, 0) == 0) return l;
    return "";
  }
};

TEST_F(ConfrontoTest, TariffClassBoundsAreExactDecimals) {
  struct Case {
    std::string classe, valor;
    bool consistent;
  } cases[] = {
      {"1", "22.21", false},  {"1", "22.22", true},   {"1", "22.23", false},
      {"2", "22.225", true},  {"3", "177.68", false}, {"3", "177.69", true},
      {"4", "177.70", false}, {"5", "177.69", true},  {"6", "177.68", false},
      {"6", "177.69", true},  {"6", "500.00", true},  {"5", "500.00", false},
      {"7", "22.22", false},  {"", "22.22", false},   {"1", "22.2100000000000001", true},
  };
  for (const auto& c : cases) {
    auto fields = testing::CamposRiscos();
    fields[6] = {"VAL_PREM", 'N', 20, 16};  // room for the 19-digit case
    auto d = testing::DicionarioPadrao();
    f.Run(f.Table("r.dbf", fields, {Premio(c.classe, c.valor)}), "");
    EXPECT_EQ(Inconsistentes(), c.consistent ? 0 : 1) << c.classe << " " << c.valor;
  }
}

TEST_F(ConfrontoTest, PeriodBoundsAndLeftOutRecords) {
  f.Run(f.Riscos({Premio("1", "10.00", "201701"),  // 20170101 < 20170115: out
                  Premio("1", "20.00", "201702"),  // in
                  Premio("1", "40.00", "201712"),  // 20171201: in
                  Premio("1", "80.00", "201801"),  // out
                  {"*", "05428", "1", "201703", "1", "10", "3550308", "160.00"},  // deleted
                  Premio("1", "      ", "201703"),                                // no value
                  Premio("1", "320.00", "      ")}),
        f.Sinistros({{"05428", "1", "20170114", "20170401", "M", "1.00"},
                     {"05428", "1", "20170115", "20170401", "M", "2.00"},
                     {"05428", "1", "20171231", "20170401", "M", "4.00"},
                     {"05428", "1", "20180101", "20170401", "M", "8.00"},
                     {"05428", "1", "20170601", "20170401", "M", "   "}}));
  EXPECT_DOUBLE_EQ(f.critica.Estado().somaPremios, 60.0);
  EXPECT_DOUBLE_EQ(f.critica.Estado().somaSinistros, 6.0);
  EXPECT_EQ(Inconsistentes(), 2);  // class 1 with 20.00 and 40.00
  EXPECT_DOUBLE_EQ(f.critica.Estado().somaPremInconsist, 60.0);
  EXPECT_TRUE(f.window.Has(
      "Número de prêmios com classe(s) Tarifária(s) e Valor(es) inconsistente(s) : 2"));
  EXPECT_TRUE(f.window.Has("Totalizando R$ 60,00"));
  EXPECT_EQ(f.window.Utf8()[2], "Empresa: SEGURADORA EXEMPLO S.A.       ");
}

TEST_F(ConfrontoTest, ValuesThatAreNoNumbersArePassedOver) {
  auto fields = testing::CamposRiscos();
  fields[6] = {"VAL_PREM", 'C', 12};  // a character premium: text that is no number
  auto d = testing::DicionarioPadrao();
  d[6].tipo = "1";
  d[6].tamanho = "12";
  testing::WriteTabelas(f.dir.File("tabelas.dbf"), d);
  f.Run(f.Table("r.dbf", fields, {Premio("1", "22.22"), Premio("1", "abc"), Premio("7", "1,5")}),
        "");
  EXPECT_DOUBLE_EQ(f.critica.Estado().somaPremios, 22.22);
  EXPECT_EQ(Inconsistentes(), 0);
  EXPECT_EQ(f.window.finalMessages, 1);
}

TEST_F(ConfrontoTest, LayoutOfBothTables) {
  f.Run(f.Riscos({Premio("1", "800.00")}),
        f.Sinistros({{"05428", "1", "20170601", "20170401", "M", "400.00"}}));
  auto log = f.window.Utf8();
  auto at = [&](const std::string& l, const std::string& what) {
    return l.find(what) + 1;
  };  // 1-based column
  std::string capP = Line("TOLK  -  Valor ORB");
  EXPECT_EQ(at(capP, "Valor ZAV"), 40u);
  EXPECT_EQ(at(capP, "Diferença"), 70u);
  std::string capS = Line("Ramo");
  EXPECT_EQ(at(capS, "Valor ORB"), 11u);
  EXPECT_EQ(at(capS, "Valor ZAV"), 41u);
  EXPECT_EQ(at(capS, "Diferença"), 71u);
  EXPECT_EQ(Line("Total R$  1.000,00"), "Total R$  1.000,00" + std::string(22, ' ') + "800,00" +
                                            std::string(24, ' ') + "25,00" + std::string(25, ' '));
  EXPECT_EQ(Line("Total R$  500,00"), "Total R$  500,00" + std::string(24, ' ') + "400,00" +
                                          std::string(24, ' ') + "25,00" + std::string(25, ' '));
  EXPECT_TRUE(f.window.Has("Teste de Prêmios Emitidos:"));
}

TEST_F(ConfrontoTest, ZeroSumsAndOneBox) {
  f.Run(f.Riscos({Premio("1", "22.22", "201601")}), "");
  EXPECT_TRUE(f.window.Has("Total de prêmios zerado !"));
  EXPECT_FALSE(f.window.Has("Teste de Sinistros Pagos:"));
  EXPECT_TRUE(f.window.Has("Arquivo de sinistros ou de riscos faltando."));

  f.Run("", f.Sinistros({{"05428", "1", "20160101", "20170401", "M", "1.00"}}));
  EXPECT_TRUE(f.window.Has("Total de sinistros zerado !"));
  EXPECT_FALSE(f.window.Has("Teste de Prêmios Emitidos:"));
  EXPECT_EQ(Trim(f.window.Utf8()[2]), "Empresa: SEGURADORA EXEMPLO S.A.");
}

TEST_F(ConfrontoTest, InsurerWithoutFiguresComparesNothing) {
  testing::WriteDadosOrb(f.dir.File("DadosOrb.DBF"),
                         {{"01111", "OUTRA SEGURADORA", "20170101", "20171231", "1.00", "1.00"}});
  f.Run(f.Riscos({Premio("7", "22.22")}), f.Sinistros({Sinistro()}));
  auto log = f.window.Utf8();
  EXPECT_EQ(log[2], "");
  auto it = std::find(log.begin(), log.end(),
                      "Erro: empresa 05428 não encontrada no arquivo DadosOrb.DBF");
  ASSERT_NE(it, log.end());
  EXPECT_EQ(*(it - 2), std::string(110, '='));
  EXPECT_EQ(*(it + 1), "");
  EXPECT_FALSE(f.window.Has("Teste de Prêmios Emitidos:"));
  EXPECT_EQ(Inconsistentes(), 0);
  EXPECT_EQ(f.window.finalMessages, 1);

  testing::WriteDadosOrb(f.dir.File("DadosOrb.DBF"), {});
  f.Run(f.Riscos({Premio("7", "22.22")}), "");
  EXPECT_TRUE(f.window.Has("Erro: empresa 05428 não encontrada no arquivo DadosOrb.DBF"));
}

TEST_F(ConfrontoTest, DateColumnBounds) {
  testing::WriteDadosOrb(
      f.dir.File("DadosOrb.DBF"),
      {{"05428", "SEGURADORA EXEMPLO S.A.", "20170115", "20171231", "1000.00", "500.00"}}, true);
  f.Run(f.Riscos({Premio("1", "10.00", "201701"), Premio("1", "20.00", "201712")}), "");
  EXPECT_DOUBLE_EQ(f.critica.Estado().somaPremios, 20.0);
}

TEST(DecimalTextTest, ExactComparison) {
  auto d = [](const char* s) { return *ParseDecimal(s); };
  EXPECT_EQ(CompareDecimal(d("22.21"), d("  22.2100")), 0);
  EXPECT_LT(CompareDecimal(d("22.2099999999999999"), d("22.21")), 0);
  EXPECT_GT(CompareDecimal(d("22.2100000000000001"), d("22.21")), 0);
  EXPECT_GT(CompareDecimal(d("2.221E1"), d("22.2")), 0);
  EXPECT_LT(CompareDecimal(d("-500"), d("0.00")), 0);
  EXPECT_EQ(CompareDecimal(d("-0.00"), d("0")), 0);
  EXPECT_LT(CompareDecimal(d("-177.70"), d("-177.69")), 0);
  EXPECT_FALSE(ParseDecimal("1,5"));
  EXPECT_FALSE(ParseDecimal("   "));
  EXPECT_EQ(CompareDecimal(DecimalOf(22.22), d("22.22")), 0);
}

}  // namespace
}  // namespace tolk
