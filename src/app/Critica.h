// One validation run over a delivery: the dictionary load, the structure
// check and the record rules of each table, the claims-to-ticket
// cross-check, the reconciliation with the regulator's figures, and the log.
// The object lives as long as its window; every run starts from scratch.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
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

// What a run in progress hands each of its stages: its parameters, its
// window, and whether the window wants the findings.
struct Execucao {
  const RunParameters& params;
  RunWindow& window;
  bool achados;

  const TFormatSettings& fs() const { return params.regional; }
  void Add(const std::string& line) const { window.AddLine(line); }
  void Add(const std::vector<std::string>& lines) const {
    for (const std::string& l : lines) window.AddLine(l);
  }
  // A finding, for a window that wants them; the two texts are trimmed.
  // `file` is the table's file.
  void Report(std::string_view table, std::string_view file, const char* rule, std::int64_t record,
              std::string_view field, std::string_view value,
              std::string_view qualifier = {}) const;
};

class Critica {
 public:
  Critica();
  ~Critica();
  Critica(const Critica&) = delete;
  Critica& operator=(const Critica&) = delete;

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
  // The risks table for a reconciliation run while tbRiscos builds the index.
  TXQSmartDBF tbPremios{"tbRiscos"};

  const EstadoCritica& Estado() const { return estado_; }

 private:
  // The stages, in the order Executa runs them.
  // The opening lines, the dictionary, a clean state.
  void Abertura(const Execucao& x);
  // The dictionary load: qelTabelas, then qelEstrutTab, then qelAnexos.
  void CarregaDicionario(const Execucao& x);
  void CarregaTabelas(const Execucao& x);
  void CarregaEstrutura(const Execucao& x);
  void CarregaAnexos(const Execucao& x);
  // Each table of the dictionary whose box is filled; true when the last
  // one passed its structure check and its record rules.
  bool CriticaTabelas(const Execucao& x);
  bool VerificaEstrutura(const Execucao& x);
  void CriticaRegistros(const Execucao& x);
  void ResumoErros(const Execucao& x);
  // The cross-check, the missing-file notice, the reconciliation and the
  // closing block.
  void Encerramento(const Execucao& x, bool passou);
  void CruzaBilhetes(const Execucao& x);
  // The index of the cross-check, built on a thread of its own from the
  // moment the risks table passes its structure check (AntecipaIndice), so
  // that the build and the record rules share the machine's processors.
  // Until the run reaches the cross-check nothing but the build's own file
  // is written; a run that does not reach it ends the build and leaves no
  // trace of it (DescartaIndice).
  class IndiceAntecipado;
  void AntecipaIndice(const Execucao& x);
  void DescartaIndice();
  // The reconciliation, run while that build ends, on tbPremios: its lines
  // and findings wait for their turn, after the cross-check. Any failure of
  // it is forgotten, and the reconciliation runs again in its turn.
  class ConfrontoAntecipado;
  void AntecipaConfronto(const Execucao& x);
  // `riscos` reads the risks table: tbRiscos, or tbPremios ahead of the
  // cross-check.
  void ConfrontaDadosOrb(const Execucao& x, TXQSmartDBF& riscos);
  void TestePremios(const Execucao& x, TXQSmartDBF& riscos, const std::string& inivig,
                    const std::string& fimvig, double totPr);
  void TesteSinistros(const Execucao& x, const std::string& inivig, const std::string& fimvig,
                      double totSin);

  void CloseAll();
  // Closes each table, and drops the indexes of those that have any,
  // whatever they report.
  static void Fecha(std::initializer_list<TXQSmartDBF*> tabelas);
  void ResumeTabela(bool estruturaOk, bool criticada);
  // The trimmed stored text of a field of the current record.
  static std::string StoredText(const TXQSmartDBF& table, const TField& f);
  // The trimmed dictionary name of the risks table (or of the first claims
  // table).
  std::string NomeDaTabela(bool riscos) const;
  // Whether the open tbDados has the fields of dictionary table `tabela`;
  // writes nothing.
  bool EstruturaConfere(const Execucao& x, std::int32_t tabela);
  // Whether the tables whose structure failed each have the other's.
  static bool Trocadas(const std::vector<std::pair<std::int32_t, std::int32_t>>& falhas);

  EstadoCritica estado_;
  DomainSet domain_;
  std::unique_ptr<IndiceAntecipado> antecipado_;
  std::unique_ptr<ConfrontoAntecipado> confronto_;
};

}  // namespace tolk
