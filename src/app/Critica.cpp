#include "app/Critica.h"

#include <cstring>

#include "app/indice_antecipado.h"
#include "app/log_text.h"
#include "app/regras.h"
#include "app/textos.h"
#include "dataset/Exceptions.h"
#include "dataset/number_format.h"
#include "dataset/text.h"
#include "dbf/field_conversion.h"
#include "platform/system.h"

namespace tolk {

double SystemClock(void*) {
  const LocalTime now = LocalTimeNow();
  const double day = EncodeDate(now.year, now.month, now.day);
  return day +
         (now.hour * 3600.0 + now.minute * 60.0 + now.second + now.millisecond / 1000.0) / 86400.0;
}

Critica::Critica() {
  // Every dBASE table of the system opens read-only, with the 4096-byte
  // read-ahead buffer; only tbDados hides deleted records. The user's tables
  // open exclusively. The program folder's dictionary and figures are only
  // ever read, by every run: they keep writers out but let other runs that
  // share the folder read them at the same time.
  tbDados.SetSetDeleted(true);
  for (TXQSmartDBF* t : {&tbTabelas, &tbAnexos, &tbDadosOrb})
    t->AccessMode = OpenRead | ShareDenyWrite;
}

void Execucao::Report(std::string_view table, std::string_view file, const char* rule,
                      std::int64_t record, std::string_view field, std::string_view value,
                      std::string_view qualifier) const {
  Finding f;
  f.table = table;
  f.file = file;
  f.record = record;
  f.field = field;
  f.rule = rule;
  f.value = TrimView(value);
  f.qualifier = TrimView(qualifier);
  window.AddFinding(f);
}

std::string Critica::StoredText(const TXQSmartDBF& table, const TField& f) {
  if (const auto* d = dynamic_cast<const DbfField*>(&f)) {
    auto bytes = table.RecordBytes();
    if (bytes.empty()) return {};
    std::string_view raw(reinterpret_cast<const char*>(bytes.data()) + d->Def().offset,
                         d->Def().width);
    if (d->Def().kind == DbfValueKind::Text) raw = raw.substr(0, raw.find('\0'));
    return Trim(raw);
  }
  Variant v = f.AsVariant();
  return v.IsNull() ? std::string() : Trim(VarToStr(v, table.FormatSettings));
}

std::string Critica::NomeDaTabela(bool riscos) const {
  for (const auto& t : estado_.tabelas)
    if ((t.ordem == 1) == riscos) return t.nome;
  return riscos ? "RISCOS" : "SINISTROS";
}

void Critica::ResumeTabela(bool estruturaOk, bool criticada) {
  ResumoTabela r;
  r.nome = Trim(estado_.nomeTabela);
  r.ordem = estado_.tabelaAtual;
  r.estruturaOk = estruturaOk;
  r.criticada = criticada;
  r.umaSeguradora = criticada && estado_.criticaOk == 1;
  if (criticada) {
    r.registros = estado_.tabelaAtual == 1 ? estado_.totalRiscos : estado_.totalSinistros;
    const Variant atual(estado_.tabelaAtual);
    for (qelEstrutTab.First(); !qelEstrutTab.Eof(); qelEstrutTab.Next()) {
      if (!VarEquals(qelEstrutTab.FieldByName("tabela").AsVariant(), atual)) continue;
      ResumoCampo c;
      c.campo = Trim(qelEstrutTab.FieldByName("campo").AsString());
      c.erroNulo = VarToInteger(qelEstrutTab.FieldByName("erroNulo").AsVariant());
      c.erroDom = VarToInteger(qelEstrutTab.FieldByName("erroDom").AsVariant());
      r.campos.push_back(std::move(c));
    }
  }
  estado_.tabelas.push_back(std::move(r));
}

void Critica::Fecha(std::initializer_list<TXQSmartDBF*> tabelas) {
  for (TXQSmartDBF* t : tabelas) {
    // An index a failed cross-check or a build ahead left attached goes
    // with the table.
    if (auto* ntx = dynamic_cast<TXQDBFNTX*>(t)) {
      try {
        while (ntx->Indexes.Count() > 0) ntx->Indexes.Delete(0);
      } catch (...) {
        ntx->Indexes.Clear();
      }
      ntx->DBFIndexDefs.Clear();
    }
    try {
      t->Close();
    } catch (...) {
    }
  }
}

void Critica::CloseAll() {
  // A build still on its thread ends before its table closes.
  DescartaIndice();
  confronto_.reset();
  Fecha({&tbTabelas, &tbAnexos, &tbDados, &tbRiscos, &tbSinistros, &tbDadosOrb, &tbPremios});
}

// ---- The run driver ------------------------------------------------------------

void Critica::Executa(const RunParameters& params, RunWindow& window) {
  for (TDataSet* t :
       std::initializer_list<TDataSet*>{&tbTabelas, &tbAnexos, &tbDados, &tbRiscos, &tbSinistros,
                                        &tbDadosOrb, &qelTabelas, &qelEstrutTab, &qelAnexos})
    t->FormatSettings = params.regional;
  // A run ended by an error leaves no file open behind it: the user may fix
  // the file and run again, and the next run opens what the boxes name.
  CloseAll();
  const Execucao x{params, window, window.WantsFindings()};
  try {
    Abertura(x);
    Encerramento(x, CriticaTabelas(x));
  } catch (...) {
    CloseAll();
    throw;
  }
  window.SetProgress(0);
  window.ShowFinalMessage(textos::Finalizada());
}

void Critica::Abertura(const Execucao& x) {
  // The third line becomes the insurer's name in the reconciliation.
  x.window.ClearLog();
  x.Add(textos::Inicio() + DateTimeText(x.params.Now(), x.fs()));
  x.Add("");
  x.Add("");
  estado_ = EstadoCritica{};
  estado_.ramoAtual = "TOLK";
  CarregaDicionario(x);
}

bool Critica::CriticaTabelas(const Execucao& x) {
  // The tables' numbers, and for each table whose structure failed the
  // other table whose structure it has, to tell swapped boxes apart.
  std::vector<std::int32_t> ordens;
  for (qelTabelas.First(); !qelTabelas.Eof(); qelTabelas.Next())
    ordens.push_back(VarToInteger(qelTabelas.FieldByName("ordem").AsVariant()));
  std::vector<std::pair<std::int32_t, std::int32_t>> falhas;
  // The flags that govern what follows are those the last table left.
  bool estruturaOk = false;
  qelTabelas.First();
  while (!qelTabelas.Eof()) {
    estado_.nomeTabela = VarToStr(qelTabelas.FieldByName("tabela").AsVariant(), x.fs());
    estado_.tabelaAtual = VarToInteger(qelTabelas.FieldByName("ordem").AsVariant());
    qelTabelas.Next();
    const std::string& caixa = estado_.tabelaAtual == 1 ? x.params.riskPath : x.params.claimPath;
    if (TrimView(caixa).empty()) continue;
    tbDados.DBFFileName = caixa;
    tbDados.Open();
    if (estado_.codSeg.empty()) estado_.codSeg = tbDados.FieldByName("cod_seg").AsString();
    estruturaOk = VerificaEstrutura(x);
    if (estruturaOk && estado_.tabelaAtual == 1) AntecipaIndice(x);
    if (estruturaOk) {
      estado_.criticaOk = 1;
      CriticaRegistros(x);
      if (estado_.criticaOk == 1) ResumoErros(x);
    } else {
      for (std::int32_t outra : ordens)
        if (outra != estado_.tabelaAtual && EstruturaConfere(x, outra)) {
          falhas.emplace_back(estado_.tabelaAtual, outra);
          break;
        }
    }
    tbDados.Close();
    ResumeTabela(estruturaOk, estruturaOk);
  }
  estado_.caixasTrocadas = Trocadas(falhas);
  return estruturaOk && estado_.criticaOk == 1;
}

bool Critica::Trocadas(const std::vector<std::pair<std::int32_t, std::int32_t>>& falhas) {
  for (const auto& [tabela, outra] : falhas)
    for (const auto& [tabela2, outra2] : falhas)
      if (tabela2 == outra && outra2 == tabela) return true;
  return false;
}

void Critica::Encerramento(const Execucao& x, bool passou) {
  const bool riscosVazio = TrimView(x.params.riskPath).empty();
  const bool sinistrosVazio = TrimView(x.params.claimPath).empty();
  x.window.SetProgress(75);
  if (passou && !riscosVazio && !sinistrosVazio && estado_.totalRiscos != 0)
    CruzaBilhetes(x);
  else
    DescartaIndice();
  Linhas linhas;
  if (sinistrosVazio || (passou && riscosVazio)) AvisoFaltando(linhas);
  x.Add(linhas);
  x.window.SetProgress(90);
  if (passou && confronto_) {
    // Run ahead, over the same files: its state with the cross-check's.
    EstadoCritica& depois = confronto_->estado;
    depois.cruzamentoFeito = estado_.cruzamentoFeito;
    depois.semBilhete = estado_.semBilhete;
    estado_ = std::move(depois);
    confronto_->Mostra();
  } else if (passou) {
    ConfrontaDadosOrb(x, tbRiscos);
  }
  confronto_.reset();
  linhas.clear();
  BlocoFinal(linhas, estado_.qtdPremInconsist, estado_.somaPremInconsist, x.params.Now(), x.fs());
  x.Add(linhas);
}

// ---- The structure check and the error summary ----------------------------------

bool Critica::VerificaEstrutura(const Execucao& x) {
  if (EstruturaConfere(x, estado_.tabelaAtual)) return true;
  x.Add(textos::EstruturaIncorreta() + estado_.nomeTabela);
  return false;
}

bool Critica::EstruturaConfere(const Execucao& x, std::int32_t tabela) {
  const Variant atual(tabela);
  auto tabelaDaLinha = [this] { return qelEstrutTab.FieldByName("tabela").AsVariant(); };
  qelEstrutTab.First();
  while (!qelEstrutTab.Eof() && !VarEquals(tabelaDaLinha(), atual)) qelEstrutTab.Next();
  int iguais = 0;
  try {
    while (!qelEstrutTab.Eof() && VarEquals(tabelaDaLinha(), atual)) {
      std::string campo = Trim(VarToStr(qelEstrutTab.FieldByName("campo").AsVariant(), x.fs()));
      std::int32_t ordem = VarToInteger(qelEstrutTab.FieldByName("ordem").AsVariant());
      if (ordem < 1 || ordem > tbDados.FieldCount())
        RaiseError("List index out of bounds (" + std::to_string(ordem - 1) + ")");
      const TField& f = tbDados.Fields()[ordem - 1];
      if (campo == Trim(f.FieldName()) &&
          VarEquals(qelEstrutTab.FieldByName("tipo").AsVariant(),
                    Variant(static_cast<std::int32_t>(f.DataType()))) &&
          VarEquals(qelEstrutTab.FieldByName("tamanho").AsVariant(),
                    Variant(static_cast<std::int32_t>(f.Size()))))
        ++iguais;
      qelEstrutTab.Next();
    }
    if (iguais == tbDados.FieldCount()) return true;
  } catch (const std::exception&) {
    // Any fault of the rows counts as a structure that does not match.
  }
  return false;
}

void Critica::ResumoErros(const Execucao& x) {
  const Variant atual(estado_.tabelaAtual);
  auto tabelaDaLinha = [this] { return qelEstrutTab.FieldByName("tabela").AsVariant(); };
  qelEstrutTab.First();
  while (!qelEstrutTab.Eof() && !VarEquals(tabelaDaLinha(), atual)) qelEstrutTab.Next();
  Linhas linhas;
  AbreBloco(linhas);
  linhas.push_back(textos::CabecalhoResumo());
  // A table without records gets the header alone: no share of nothing.
  const std::int32_t total =
      estado_.tabelaAtual == 1 ? estado_.totalRiscos : estado_.totalSinistros;
  while (!qelEstrutTab.Eof() && VarEquals(tabelaDaLinha(), atual)) {
    if (total != 0)
      linhas.push_back(LinhaResumo(
          estado_.nomeTabela, Trim(VarToStr(qelEstrutTab.FieldByName("campo").AsVariant(), x.fs())),
          VarToInteger(qelEstrutTab.FieldByName("erroNulo").AsVariant()),
          VarToInteger(qelEstrutTab.FieldByName("erroDom").AsVariant()), total, x.fs()));
    qelEstrutTab.Next();
  }
  linhas.emplace_back();
  x.Add(linhas);
}

}  // namespace tolk
