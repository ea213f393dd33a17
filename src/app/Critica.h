// One validation run over a delivery: the dictionary load, the structure
// check and the record rules of each table, the claims-to-ticket
// cross-check, the reconciliation with the regulator's figures, and the log.
// The object lives as long as its window; every run starts from scratch.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/domain_set.h"
#include "app/run_window.h"
#include "dbf/TXQSmartDBF.h"
#include "memtable/TqelMemTable.h"
#include "ntx/TXQDBFNTX.h"

namespace tolk {

// What a run found in one table, for summaries beyond the log.
struct ResumoCampo {
  std::string campo;
  std::int32_t erroNulo = 0, erroDom = 0;
};
struct ResumoTabela {
  std::string nome;  // trimmed
  std::int32_t ordem = 0;
  bool estruturaOk = false;
  bool criticada = false;      // the record rules ran
  bool umaSeguradora = false;  // ... and met a single insurer
  std::int32_t registros = 0;
  std::vector<ResumoCampo> campos;
};

// The state of one run, reset at its start.
struct EstadoCritica {
  std::string ramoAtual;         // the insurance line whose dictionary rows are used
  std::string nomeTabela;        // the dictionary name of the table being checked
  std::int32_t tabelaAtual = 0;  // its number: 1 the risks table, any other the claims table
  std::string codSeg;            // the insurer, from the first record of the first table opened
  std::int32_t criticaOk = 0;    // 1: the record rules passed (one insurer)
  std::int32_t totalRiscos = 0;
  std::int32_t totalSinistros = 0;
  std::string linhaLog;
  // Cross-check result.
  bool cruzamentoFeito = false;
  std::int32_t semBilhete = 0;
  // Reconciliation: the insurer's row and which tests ran.
  bool confrontoFeito = false;
  bool empresaEncontrada = false;
  std::string empresa;
  double totPr = 0, totSin = 0;
  bool testePremios = false, testeSinistros = false;
  std::vector<ResumoTabela> tabelas;
  // Both tables failed the structure check, and each has the structure of
  // the other: the files seem to be in each other's box.
  bool caixasTrocadas = false;
  // Reconciliation results.
  std::int32_t qtdPremInconsist = 0;
  double somaPremios = 0;
  double somaSinistros = 0;
  double somaPremInconsist = 0;
};

class Critica {
 public:
  Critica();

  // One run, as the "&Criticar" button starts it. An error that ends the run
  // propagates as the exception that raised it; the window keeps the lines
  // written so far, and every table the run opened is closed again.
  void Executa(const RunParameters& params, RunWindow& window);

  // The dictionary, rebuilt by every run and kept until the next.
  TqelMemTable qelTabelas{"qelTabelas"};
  TqelMemTable qelEstrutTab{"qelEstrutTab"};
  TqelMemTable qelAnexos{"qelAnexos"};

  // The dBASE tables of a run.
  TXQSmartDBF tbTabelas{"tbTabelas"};
  TXQSmartDBF tbAnexos{"tbAnexos"};
  TXQSmartDBF tbDados{"tbDados"};
  TXQDBFNTX tbRiscos{"tbRiscos"};
  TXQDBFNTX tbSinistros{"tbSinistros"};
  TXQSmartDBF tbDadosOrb{"tbDadosOrb"};

  const EstadoCritica& Estado() const { return estado_; }

  // The stages, run by Executa in this order. They use the parameters and
  // the window of the run in progress.
  void CarregaDicionario();
  bool VerificaEstrutura();
  void CriticaRegistros();
  void ResumoErros();
  void CruzaBilhetes();
  void ConfrontaDadosOrb();

 private:
  void Add(const std::string& line);
  void CloseAll();
  void Report(const std::string& table, const char* rule, std::int64_t record,
              const std::string& field, std::string_view value, std::string_view qualifier = {});
  void ResumeTabela(bool estruturaOk, bool criticada);
  // The trimmed stored text of a field of the current record.
  static std::string StoredText(const TXQSmartDBF& table, const TField& f);
  // The trimmed dictionary name of the table numbered `ordem` (1: risks;
  // any other number: the first claims table).
  std::string NomeDaTabela(bool riscos) const;
  // The reconciliation's two sums over the user's tables.
  void TestePremios(const std::string& inivig, const std::string& fimvig, double totPr);
  void TesteSinistros(const std::string& inivig, const std::string& fimvig, double totSin);
  void BuildDomainSet();
  // Whether the open tbDados has the fields of dictionary table `tabela`;
  // writes nothing.
  bool EstruturaConfere(std::int32_t tabela);

  EstadoCritica estado_;
  const RunParameters* params_ = nullptr;
  RunWindow* window_ = nullptr;
  DomainSet domain_;
  bool wantsFindings_ = false;
};

}  // namespace tolk
