#include "app/Critica.h"

#include <chrono>
#include <cstring>
#include <ctime>

#include "app/log_text.h"
#include "app/regras.h"
#include "app/textos.h"
#include "dataset/Exceptions.h"
#include "dataset/number_format.h"
#include "dataset/text.h"
#include "dbf/field_conversion.h"

namespace tolk {

double SystemClock(void*) {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  double day = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return day + (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                static_cast<double>(ms) / 1000.0) /
                   86400.0;
}

namespace {

std::string Left(const std::string& s, std::size_t n) { return s.substr(0, n); }

}  // namespace

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

void Critica::Add(const std::string& line) { window_->AddLine(line); }

void Critica::Report(const std::string& table, const char* rule, std::int64_t record,
                     const std::string& field, std::string_view value, std::string_view qualifier) {
  Finding f;
  f.table = table;
  f.record = record;
  f.field = field;
  f.rule = rule;
  f.value = Trim(value);
  f.qualifier = Trim(qualifier);
  window_->AddFinding(f);
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

void Critica::CloseAll() {
  // An index a failed cross-check left attached goes with the table.
  for (TXQDBFNTX* t : {&tbRiscos, &tbSinistros}) {
    try {
      while (t->Indexes.Count() > 0) t->Indexes.Delete(0);
    } catch (...) {
      t->Indexes.Clear();
    }
    t->DBFIndexDefs.Clear();
  }
  for (TXQSmartDBF* t : std::initializer_list<TXQSmartDBF*>{&tbTabelas, &tbAnexos, &tbDados,
                                                            &tbRiscos, &tbSinistros, &tbDadosOrb}) {
    try {
      t->Close();
    } catch (...) {
    }
  }
}

// ---- The run driver -------------------------------------------------------------

void Critica::Executa(const RunParameters& params, RunWindow& window) {
  params_ = &params;
  window_ = &window;
  const TFormatSettings& fs = params.regional;
  for (TDataSet* t :
       std::initializer_list<TDataSet*>{&tbTabelas, &tbAnexos, &tbDados, &tbRiscos, &tbSinistros,
                                        &tbDadosOrb, &qelTabelas, &qelEstrutTab, &qelAnexos})
    t->FormatSettings = fs;
  // A run ended by an error leaves no file open behind it: the user may fix
  // the file and run again, and the next run opens what the boxes name.
  CloseAll();
  wantsFindings_ = window.WantsFindings();
  try {
    // 1. The opening lines; the third becomes the insurer's name later.
    window.ClearLog();
    Add(textos::Inicio() + DateTimeText(params.Now(), fs));
    Add("");
    Add("");

    // 2-3. The dictionary, then a clean state.
    estado_ = EstadoCritica{};
    estado_.ramoAtual = "TOLK";
    CarregaDicionario();
    estado_.qtdPremInconsist = 0;
    estado_.somaPremios = estado_.somaSinistros = estado_.somaPremInconsist = 0;
    estado_.totalRiscos = estado_.totalSinistros = 0;
    estado_.codSeg.clear();
    bool estruturaOk = false;

    // 4. Each table of the dictionary, in name order.
    const bool riscosVazio = TrimView(params.riskPath).empty();
    const bool sinistrosVazio = TrimView(params.claimPath).empty();
    // The tables' numbers, and for each table whose structure failed the
    // other table whose structure it has, to tell swapped boxes apart.
    std::vector<std::int32_t> ordens;
    for (qelTabelas.First(); !qelTabelas.Eof(); qelTabelas.Next())
      ordens.push_back(VarToInteger(qelTabelas.FieldByName("ordem").AsVariant()));
    std::vector<std::pair<std::int32_t, std::int32_t>> trocadas;
    qelTabelas.First();
    while (!qelTabelas.Eof()) {
      estado_.nomeTabela = VarToStr(qelTabelas.FieldByName("tabela").AsVariant(), fs);
      estado_.tabelaAtual = VarToInteger(qelTabelas.FieldByName("ordem").AsVariant());
      qelTabelas.Next();
      const std::string& caixa = estado_.tabelaAtual == 1 ? params.riskPath : params.claimPath;
      if (TrimView(caixa).empty()) continue;
      tbDados.DBFFileName = caixa;
      tbDados.Open();
      if (estado_.codSeg.empty()) estado_.codSeg = tbDados.FieldByName("cod_seg").AsString();
      estruturaOk = VerificaEstrutura();
      if (estruturaOk) {
        estado_.criticaOk = 1;
        CriticaRegistros();
        if (estado_.criticaOk == 1) ResumoErros();
      } else {
        for (std::int32_t outra : ordens)
          if (outra != estado_.tabelaAtual && EstruturaConfere(outra)) {
            trocadas.emplace_back(estado_.tabelaAtual, outra);
            break;
          }
      }
      tbDados.Close();
      ResumeTabela(estruturaOk, estruturaOk);
    }

    for (const auto& [tabela, outra] : trocadas)
      for (const auto& [tabela2, outra2] : trocadas)
        if (tabela2 == outra && outra2 == tabela) estado_.caixasTrocadas = true;

    // 5-6. The cross-check.
    window.SetProgress(75);
    const bool passou = estruturaOk && estado_.criticaOk == 1;
    if (passou && !riscosVazio && !sinistrosVazio && estado_.totalRiscos != 0) CruzaBilhetes();

    // 7. The missing-file notice.
    if (sinistrosVazio || (passou && riscosVazio)) {
      Add(SeparatorLine());
      Add("");
      Add(textos::Faltando());
      Add("");
    }

    // 8-11. The reconciliation.
    window.SetProgress(90);
    if (passou) ConfrontaDadosOrb();

    // 12. The closing block.
    Add("");
    Add(SeparatorLine());
    Add("");
    if (estado_.qtdPremInconsist > 0) {
      Add(textos::PremiosInconsistentes() + CountText(estado_.qtdPremInconsist));
      Add(textos::Totalizando() + AmountText(estado_.somaPremInconsist, fs));
      Add("");
    }
    Add(textos::Fim() + DateTimeText(params.Now(), fs));
    Add("");
    Add(SeparatorLine());
  } catch (...) {
    CloseAll();
    params_ = nullptr;
    window_ = nullptr;
    throw;
  }
  // 13.
  window.SetProgress(0);
  window.ShowFinalMessage(textos::Finalizada());
  params_ = nullptr;
  window_ = nullptr;
}

// ---- The dictionary -------------------------------------------------------------

void Critica::CarregaDicionario() {
  const std::string& ramo = estado_.ramoAtual;
  const std::string& pasta = params_->programFolder;
  auto texto = [this](TDataSet& t, const char* campo) {
    return VarToStr(t.FieldByName(campo).AsVariant(), params_->regional);
  };

  // Table numbers, by first appearance of a name among the line's rows.
  qelTabelas.Close();
  qelTabelas.FieldDefs.Clear();
  qelTabelas.FieldDefs.Add("ordem", TFieldType::ftInteger, 0, false);
  qelTabelas.FieldDefs.Add("tabela", TFieldType::ftString, 20, false);
  qelTabelas.IndexDefs.Clear();
  qelTabelas.IndexDefs.Add("index1", "tabela");
  qelTabelas.CreateTable();
  qelTabelas.Open();
  qelTabelas.SetIndexName("index1");

  tbTabelas.DBFFileName = pasta + "tabelas.dbf";
  tbTabelas.Open();
  std::int32_t contador = 1;
  estado_.nomeTabela.clear();
  for (; !tbTabelas.Eof(); tbTabelas.Next()) {
    if (Trim(texto(tbTabelas, "ramo")) != ramo) continue;
    std::string tabela = texto(tbTabelas, "tabela");
    if (tabela == estado_.nomeTabela) continue;
    qelTabelas.Append();
    qelTabelas.FieldByName("ordem").SetAsVariant(Variant(contador));
    qelTabelas.FieldByName("tabela").SetAsVariant(Variant(tabela));
    qelTabelas.Post();
    estado_.nomeTabela = tabela;
    ++contador;
  }
  tbTabelas.Close();

  // Fields, with their rule flags and counters.
  qelEstrutTab.Close();
  qelEstrutTab.FieldDefs.Clear();
  auto& fd = qelEstrutTab.FieldDefs;
  fd.Add("tabela", TFieldType::ftInteger, 0, false);
  fd.Add("campo", TFieldType::ftString, 10, false);
  fd.Add("depende", TFieldType::ftString, 10, false);
  for (const char* n : {"tipo", "tamanho", "dominio", "nulo", "data", "positivo", "zeros",
                        "erroNulo", "erroDom", "ordem"})
    fd.Add(n, TFieldType::ftInteger, 0, false);
  fd.Add("nometab", TFieldType::ftString, 20, false);
  fd.Add("zerosesq", TFieldType::ftInteger, 0, false);
  fd.Add("soma", TFieldType::ftInteger, 0, false);
  fd.Add("total", TFieldType::ftFloat, 0, false);
  qelEstrutTab.IndexDefs.Clear();
  qelEstrutTab.IndexDefs.Add("index1", "tabela;campo");
  qelEstrutTab.IndexDefs.Add("index2", "tabela;ordem");
  qelEstrutTab.CreateTable();
  qelEstrutTab.Open();
  qelEstrutTab.SetIndexName("index1");

  tbTabelas.Open();
  for (; !tbTabelas.Eof(); tbTabelas.Next()) {
    if (Trim(texto(tbTabelas, "ramo")) != ramo) continue;
    qelEstrutTab.Append();
    qelTabelas.FindKey({Variant(texto(tbTabelas, "tabela"))});
    auto set = [this](const char* campo, const Variant& v) {
      qelEstrutTab.FieldByName(campo).SetAsVariant(v);
    };
    auto copia = [&](const char* campo) { set(campo, tbTabelas.FieldByName(campo).AsVariant()); };
    set("tabela", qelTabelas.FieldByName("ordem").AsVariant());
    set("campo", Variant(Left(texto(tbTabelas, "campo"), 10)));
    set("depende", Variant(Left(texto(tbTabelas, "depende"), 10)));
    for (const char* n : {"tipo", "tamanho", "dominio", "nulo", "data", "positivo", "zeros"})
      copia(n);
    set("erroNulo", Variant(std::int32_t{0}));
    set("erroDom", Variant(std::int32_t{0}));
    copia("ordem");
    set("nometab", Variant(texto(tbTabelas, "tabela")));
    copia("zerosesq");
    copia("soma");
    set("total", Variant(0.0));
    qelEstrutTab.Post();
  }
  tbTabelas.Close();

  // Admissible values. A row whose table or field is not among the line's
  // fields has nowhere to belong and is left out.
  qelAnexos.Close();
  qelAnexos.FieldDefs.Clear();
  qelAnexos.FieldDefs.Add("tabela", TFieldType::ftInteger, 0, false);
  qelAnexos.FieldDefs.Add("campo", TFieldType::ftInteger, 0, false);
  qelAnexos.FieldDefs.Add("valor1", TFieldType::ftString, 5, false);
  qelAnexos.FieldDefs.Add("valor2", TFieldType::ftString, 7, false);
  qelAnexos.IndexDefs.Clear();
  qelAnexos.IndexDefs.Add("index1", "tabela;campo;valor1;valor2");
  qelAnexos.CreateTable();
  qelAnexos.Open();
  qelAnexos.SetIndexName("index1");

  tbAnexos.DBFFileName = pasta + "anexos.dbf";
  tbAnexos.Open();
  for (; !tbAnexos.Eof(); tbAnexos.Next()) {
    if (Trim(texto(tbAnexos, "ramo")) != ramo) continue;
    if (!qelTabelas.FindKey({Variant(texto(tbAnexos, "tabela"))})) continue;
    Variant numTabela = qelTabelas.FieldByName("ordem").AsVariant();
    if (!qelEstrutTab.FindKey({numTabela, Variant(Left(texto(tbAnexos, "campo"), 10))})) continue;
    Variant numCampo = qelEstrutTab.FieldByName("ordem").AsVariant();
    std::string valor1 = Left(texto(tbAnexos, "valor1"), 5);
    std::string valor2 = Left(texto(tbAnexos, "valor2"), 7);
    qelAnexos.Append();
    qelAnexos.FieldByName("tabela").SetAsVariant(numTabela);
    qelAnexos.FieldByName("campo").SetAsVariant(numCampo);
    qelAnexos.FieldByName("valor1").SetAsVariant(Variant(valor1));
    qelAnexos.FieldByName("valor2").SetAsVariant(Variant(valor2));
    qelAnexos.Post();
  }
  tbAnexos.Close();
  qelEstrutTab.SetIndexName("index2");
}

// ---- The structure check ------------------------------------------------------------

bool Critica::VerificaEstrutura() {
  if (EstruturaConfere(estado_.tabelaAtual)) return true;
  Add(textos::EstruturaIncorreta() + estado_.nomeTabela);
  return false;
}

bool Critica::EstruturaConfere(std::int32_t tabela) {
  const Variant atual(tabela);
  auto tabelaDaLinha = [this] { return qelEstrutTab.FieldByName("tabela").AsVariant(); };
  qelEstrutTab.First();
  while (!qelEstrutTab.Eof() && !VarEquals(tabelaDaLinha(), atual)) qelEstrutTab.Next();
  int iguais = 0;
  try {
    while (!qelEstrutTab.Eof() && VarEquals(tabelaDaLinha(), atual)) {
      std::string campo =
          Trim(VarToStr(qelEstrutTab.FieldByName("campo").AsVariant(), params_->regional));
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

// ---- The error summary ------------------------------------------------------------------

void Critica::ResumoErros() {
  const TFormatSettings& fs = params_->regional;
  const Variant atual(estado_.tabelaAtual);
  auto tabelaDaLinha = [this] { return qelEstrutTab.FieldByName("tabela").AsVariant(); };
  qelEstrutTab.First();
  while (!qelEstrutTab.Eof() && !VarEquals(tabelaDaLinha(), atual)) qelEstrutTab.Next();
  Add(SeparatorLine());
  Add("");
  Add("Tabela" + std::string(14, ' ') + "Campo" + std::string(15, ' ') + "ErroNulo" +
      std::string(12, ' ') + "%" + std::string(19, ' ') + "ErroDom" + std::string(13, ' ') + "%" +
      std::string(19, ' '));
  const std::int32_t total =
      estado_.tabelaAtual == 1 ? estado_.totalRiscos : estado_.totalSinistros;
  while (!qelEstrutTab.Eof() && VarEquals(tabelaDaLinha(), atual)) {
    if (total != 0) {
      std::int32_t erroNulo = VarToInteger(qelEstrutTab.FieldByName("erroNulo").AsVariant());
      std::int32_t erroDom = VarToInteger(qelEstrutTab.FieldByName("erroDom").AsVariant());
      std::string linha = PadRight(estado_.nomeTabela, 20);
      linha += PadRight(Trim(VarToStr(qelEstrutTab.FieldByName("campo").AsVariant(), fs)), 20);
      linha += PadRight(CountText(erroNulo), 20);
      linha += PadRight(AmountText(static_cast<double>(100LL * erroNulo) / total, fs) + "%", 20);
      linha += PadRight(CountText(erroDom), 20);
      linha += PadRight(AmountText(static_cast<double>(100LL * erroDom) / total, fs) + "%", 20);
      Add(linha);
    }
    qelEstrutTab.Next();
  }
  Add("");
}

// ---- Stages that come with the cross-check and the reconciliation ----------------------

}  // namespace tolk
