// The findings store and its view, over a run's own findings and over
// hand-made ones where the order and the search need texts of their own.
#include "app/ocorrencias.h"

#include <gtest/gtest.h>

#include "app/janela.h"
#include "app/relatorios.h"
#include "run_fixture.h"

namespace tolk::testing {
namespace {

// A window that keeps the findings twice: in the store, and as the rows
// tolk-critica --detalhes writes.
class StoreWindow : public LogWindow {
 public:
  Ocorrencias store;
  std::string detalhes = CsvHeader(';');
  bool WantsFindings() const override { return true; }
  void AddFinding(const Finding& f) override {
    store.Adiciona(f);
    detalhes += CsvRow(f, ';');
  }
};

// Risks: a null ticket, a class outside its domain, a category outside the
// domain its class qualifies; claims: a ticket nobody has, a nature outside
// its domain.
struct RunWithFindings : RunFixture {
  StoreWindow w;
  RunWithFindings() {
    params.riskPath = Riscos({Risco("0000000001"),
                              {"05428", "", "201703", "9", "10", "3550308", "22.22"},
                              {"05428", "0000000003", "201703", "1", "20", "3550308", "22.22"}});
    params.claimPath = Sinistros(
        {Sinistro("0000000001"), {"05428", "0000000077", "20170315", "20170401", "X", "1.00"}});
    critica.Executa(params, w);
  }
};

TEST(OcorrenciasTest, TheStoreKeepsWhatTheRunReportedAndWritesTheSameCsv) {
  RunWithFindings r;
  const Ocorrencias& s = r.w.store;
  ASSERT_GE(s.Tamanho(), 5u);
  std::string csv;
  GravaCsv(s, ';', [&](std::string_view b) { csv += b; });
  EXPECT_EQ(csv, r.w.detalhes);
  // Each finding names the file its record is read from again.
  for (std::size_t i = 0; i < s.Tamanho(); ++i)
    EXPECT_EQ(s.Arquivo(i), s.Tabela(i) == "RISCOS" ? r.params.riskPath : r.params.claimPath);

  std::vector<std::size_t> some{s.Tamanho() - 1, 0};
  EXPECT_EQ(CsvDasOcorrencias(s, some, ','),
            CsvHeader(',') + CsvRow(s.Achado(s.Tamanho() - 1), ',') + CsvRow(s.Achado(0), ','));
  EXPECT_LE(Ocorrencias::kBytesPorEntrada, 40u);

  // The record behind the claim without a ticket, as its file holds it.
  std::size_t semBilhete = s.Tamanho();
  for (std::size_t i = 0; i < s.Tamanho(); ++i)
    if (std::string(s.Regra(i)) == "sem_bilhete") semBilhete = i;
  ASSERT_LT(semBilhete, s.Tamanho());
  const auto campos = LeRegistro(std::string(s.Arquivo(semBilhete)), s.Registro(semBilhete));
  ASSERT_EQ(campos.size(), CamposSinistros().size());
  EXPECT_EQ(campos[1].nome, "BILHETE");
  EXPECT_EQ(campos[1].texto, "0000000077");
  EXPECT_EQ(campos[4].texto, "X");
  EXPECT_THROW(LeRegistro(std::string(s.Arquivo(semBilhete)), 3), std::exception);
  EXPECT_THROW(LeRegistro(r.dir.File("nenhum.dbf"), 1), std::exception);
}

TEST(OcorrenciasTest, DoubleClickedLogLinesGiveTheirFilter) {
  RunWithFindings r;
  const std::vector<std::string>& log = r.w.lines;
  std::vector<std::string> filtros;
  for (std::size_t k = 0; k < log.size(); ++k)
    if (auto f = FiltroDaLinha(log, k))
      filtros.push_back(f->tabela.value_or("*") + "/" + f->campo.value_or("*") + "/" +
                        f->regra.value_or("*"));
  EXPECT_EQ(filtros, (std::vector<std::string>{
                         "RISCOS/COD_SEG/*", "RISCOS/BILHETE/*", "RISCOS/DATA_COMP/*",
                         "RISCOS/CLASSE_TAR/*", "RISCOS/CATEG/*", "RISCOS/COD_MUN/*",
                         "RISCOS/VAL_PREM/*", "SINISTROS/COD_SEG/*", "SINISTROS/BILHETE/*",
                         "SINISTROS/DATA_AVI/*", "SINISTROS/DATA_PAG/*", "SINISTROS/NATUREZA/*",
                         "SINISTROS/VAL_SINIST/*", "*/*/sem_bilhete", "*/*/classe_tarifaria"}));
  EXPECT_FALSE(FiltroDaLinha(log, log.size()));

  // The filter of the claims' NATUREZA row shows that field's finding alone,
  // and each list counts what the other criteria leave.
  VisaoOcorrencias v(r.w.store);
  FiltroOcorrencias natureza;
  natureza.tabela = "SINISTROS";
  natureza.campo = "NATUREZA";
  v.Filtra(natureza);
  ASSERT_EQ(v.Linhas(), 1u);
  EXPECT_EQ(r.w.store.Valor(v.Indice(0)), "X");
  EXPECT_EQ(v.Regras().size(), 1u);
  std::size_t noCampo = 0;
  for (const Escolha& e : v.Campos()) noCampo += e.quantidade;
  EXPECT_EQ(noCampo, 2u);  // the claims' findings: NATUREZA, and the ticket nobody has

  // The count under the lists: UTF-8 even where the thousands separator is a
  // Windows-1252 no-break space.
  TFormatSettings fs;
  fs.ThousandSeparator = '\xA0';
  EXPECT_EQ(TextoContagem(1, 1234567, fs), "1 de 1\u00A0234\u00A0567 ocorrências");
}

// Hand-made findings where order and search need texts of their own.
TEST(OcorrenciasTest, TheViewFiltersSortsAndSearches) {
  Ocorrencias s;
  auto add = [&](const char* tabela, std::int64_t registro, const char* campo, const char* regra,
                 std::string valor, std::string qualificador = {}) {
    Finding f;
    f.table = tabela;
    f.file = "t.dbf";
    f.record = registro;
    f.field = campo;
    f.rule = regra;
    f.value = valor;
    f.qualifier = qualificador;
    s.Adiciona(f);
  };
  add("RISCOS", 9, "CATEG", "dominio", "99", "1");
  add("RISCOS", 2, "BILHETE", "nulo", "");
  add("RISCOS", 5, "NOME", "tamanho", "S\xC3O PAULO DO NORTE LONGO B");  // "SÃO", 26 bytes
  add("SINISTROS", 1, "BILHETE", "sem_bilhete", "0000000077");
  add("RISCOS", 7, "NOME", "tamanho", "S\xC3O PAULO DO NORTE LONGO A");
  add("RISCOS", 3, "BILHETE", "nulo", "");
  EXPECT_THROW(add("RISCOS", 1, "X", "outra", "1"), std::invalid_argument);

  VisaoOcorrencias v(s);
  v.Recarrega();
  auto linhas = [&] {
    std::vector<std::size_t> r;
    for (std::size_t k = 0; k < v.Linhas(); ++k) r.push_back(v.Indice(k));
    return r;
  };
  ASSERT_EQ(v.Linhas(), 6u);
  // Values by their bytes past the sixteenth; equal values keep the order
  // found in both directions.
  v.Ordena(Coluna::kValor, true);
  EXPECT_EQ(linhas(), (std::vector<std::size_t>{1, 5, 3, 0, 4, 2}));
  v.Ordena(Coluna::kValor, false);
  EXPECT_EQ(linhas(), (std::vector<std::size_t>{2, 4, 0, 3, 1, 5}));
  v.Ordena(Coluna::kRegistro, true);
  EXPECT_EQ(linhas(), (std::vector<std::size_t>{3, 1, 5, 2, 4, 0}));

  // The search folds accented capitals too and looks at the qualifier; the
  // sort asked for holds through a new filter.
  FiltroOcorrencias f;
  f.texto = "s\xE3o paulo";
  v.Filtra(f);
  EXPECT_EQ(linhas(), (std::vector<std::size_t>{2, 4}));
  f.texto = "1";
  v.Filtra(f);
  EXPECT_EQ(linhas(), (std::vector<std::size_t>{0}));
  v.Ordena(std::nullopt);

  // Field BILHETE of any table; the table list counts per table with the
  // field chosen, the field list per field with no table chosen.
  f = {};
  f.campo = "BILHETE";
  v.Filtra(f);
  EXPECT_EQ(linhas(), (std::vector<std::size_t>{1, 3, 5}));
  const auto tabelas = v.Tabelas();
  ASSERT_EQ(tabelas.size(), 2u);
  EXPECT_EQ(tabelas[0].nome, "RISCOS");
  EXPECT_EQ(tabelas[0].quantidade, 2u);
  EXPECT_EQ(tabelas[1].quantidade, 1u);
  EXPECT_EQ(v.Campos().size(), 3u);
  // A choice with nothing left is still listed, with none.
  f.regra = "data";
  v.Filtra(f);
  EXPECT_EQ(v.Linhas(), 0u);
  const auto regras = v.Regras();
  EXPECT_EQ(regras.back().nome, "data");
  EXPECT_EQ(regras.back().quantidade, 0u);

  s.Limpa();
  v.Recarrega();
  EXPECT_EQ(v.Linhas(), 0u);
}

}  // namespace
}  // namespace tolk::testing
