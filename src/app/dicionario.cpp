// The data dictionary of the insurance line: its tables, their fields with
// the rule flags and counters, and the admissible values, from tabelas.dbf
// and anexos.dbf in the program folder into the three memory tables.
#include <initializer_list>
#include <utility>

#include "app/Critica.h"
#include "dataset/text.h"

namespace tolk {

namespace {

std::string Left(const std::string& s, std::size_t n) { return s.substr(0, n); }

struct Coluna {
  const char* nome;
  TFieldType tipo;
  int tamanho;
};

// Empties the memory table `t` and gives it these columns and indexes; it is
// left open, in the order of the first index.
void Recria(TqelMemTable& t, std::initializer_list<Coluna> colunas,
            std::initializer_list<std::pair<const char*, const char*>> indices) {
  t.Close();
  t.FieldDefs.Clear();
  for (const Coluna& c : colunas) t.FieldDefs.Add(c.nome, c.tipo, c.tamanho, false);
  t.IndexDefs.Clear();
  for (const auto& [nome, campos] : indices) t.IndexDefs.Add(nome, campos);
  t.CreateTable();
  t.Open();
  t.SetIndexName(indices.begin()->first);
}

// A column of the current row of a dictionary table, as text.
std::string Texto(const Execucao& x, TDataSet& t, const char* campo) {
  return VarToStr(t.FieldByName(campo).AsVariant(), x.fs());
}

}  // namespace

void Critica::CarregaDicionario(const Execucao& x) {
  CarregaTabelas(x);
  CarregaEstrutura(x);
  CarregaAnexos(x);
  qelEstrutTab.SetIndexName("index2");
}

// The line's tables, numbered by the first appearance of a name among the
// line's rows of tabelas.dbf, kept in name order.
void Critica::CarregaTabelas(const Execucao& x) {
  Recria(qelTabelas, {{"ordem", TFieldType::ftInteger, 0}, {"tabela", TFieldType::ftString, 20}},
         {{"index1", "tabela"}});

  tbTabelas.DBFFileName = x.params.programFolder + "tabelas.dbf";
  tbTabelas.Open();
  std::int32_t contador = 1;
  estado_.nomeTabela.clear();  // the name of the previous row
  for (; !tbTabelas.Eof(); tbTabelas.Next()) {
    if (Trim(Texto(x, tbTabelas, "ramo")) != estado_.ramoAtual) continue;
    std::string tabela = Texto(x, tbTabelas, "tabela");
    if (tabela == estado_.nomeTabela) continue;
    qelTabelas.Append();
    qelTabelas.FieldByName("ordem").SetAsVariant(Variant(contador));
    qelTabelas.FieldByName("tabela").SetAsVariant(Variant(tabela));
    qelTabelas.Post();
    estado_.nomeTabela = tabela;
    ++contador;
  }
  tbTabelas.Close();
}

// One row per field of the line, with its rule flags and its counters.
void Critica::CarregaEstrutura(const Execucao& x) {
  const TFieldType inteiro = TFieldType::ftInteger;
  Recria(qelEstrutTab,
         {{"tabela", inteiro, 0},
          {"campo", TFieldType::ftString, 10},
          {"depende", TFieldType::ftString, 10},
          {"tipo", inteiro, 0},
          {"tamanho", inteiro, 0},
          {"dominio", inteiro, 0},
          {"nulo", inteiro, 0},
          {"data", inteiro, 0},
          {"positivo", inteiro, 0},
          {"zeros", inteiro, 0},
          {"erroNulo", inteiro, 0},
          {"erroDom", inteiro, 0},
          {"ordem", inteiro, 0},
          {"nometab", TFieldType::ftString, 20},
          {"zerosesq", inteiro, 0},
          {"soma", inteiro, 0},
          {"total", TFieldType::ftFloat, 0}},
         {{"index1", "tabela;campo"}, {"index2", "tabela;ordem"}});

  tbTabelas.Open();
  for (; !tbTabelas.Eof(); tbTabelas.Next()) {
    if (Trim(Texto(x, tbTabelas, "ramo")) != estado_.ramoAtual) continue;
    qelEstrutTab.Append();
    qelTabelas.FindKey({Variant(Texto(x, tbTabelas, "tabela"))});
    auto set = [this](const char* campo, const Variant& v) {
      qelEstrutTab.FieldByName(campo).SetAsVariant(v);
    };
    auto copia = [&](const char* campo) { set(campo, tbTabelas.FieldByName(campo).AsVariant()); };
    set("tabela", qelTabelas.FieldByName("ordem").AsVariant());
    set("campo", Variant(Left(Texto(x, tbTabelas, "campo"), 10)));
    set("depende", Variant(Left(Texto(x, tbTabelas, "depende"), 10)));
    for (const char* n : {"tipo", "tamanho", "dominio", "nulo", "data", "positivo", "zeros"})
      copia(n);
    set("erroNulo", Variant(std::int32_t{0}));
    set("erroDom", Variant(std::int32_t{0}));
    copia("ordem");
    set("nometab", Variant(Texto(x, tbTabelas, "tabela")));
    copia("zerosesq");
    copia("soma");
    set("total", Variant(0.0));
    qelEstrutTab.Post();
  }
  tbTabelas.Close();
}

// The admissible values. A row whose table or field is not among the line's
// fields has nowhere to belong and is left out.
void Critica::CarregaAnexos(const Execucao& x) {
  Recria(qelAnexos,
         {{"tabela", TFieldType::ftInteger, 0},
          {"campo", TFieldType::ftInteger, 0},
          {"valor1", TFieldType::ftString, 5},
          {"valor2", TFieldType::ftString, 7}},
         {{"index1", "tabela;campo;valor1;valor2"}});

  tbAnexos.DBFFileName = x.params.programFolder + "anexos.dbf";
  tbAnexos.Open();
  for (; !tbAnexos.Eof(); tbAnexos.Next()) {
    if (Trim(Texto(x, tbAnexos, "ramo")) != estado_.ramoAtual) continue;
    if (!qelTabelas.FindKey({Variant(Texto(x, tbAnexos, "tabela"))})) continue;
    Variant numTabela = qelTabelas.FieldByName("ordem").AsVariant();
    if (!qelEstrutTab.FindKey({numTabela, Variant(Left(Texto(x, tbAnexos, "campo"), 10))}))
      continue;
    Variant numCampo = qelEstrutTab.FieldByName("ordem").AsVariant();
    const std::string valor1 = Left(Texto(x, tbAnexos, "valor1"), 5);
    const std::string valor2 = Left(Texto(x, tbAnexos, "valor2"), 7);
    qelAnexos.Append();
    qelAnexos.FieldByName("tabela").SetAsVariant(numTabela);
    qelAnexos.FieldByName("campo").SetAsVariant(numCampo);
    qelAnexos.FieldByName("valor1").SetAsVariant(Variant(valor1));
    qelAnexos.FieldByName("valor2").SetAsVariant(Variant(valor2));
    qelAnexos.Post();
  }
  tbAnexos.Close();
}

}  // namespace tolk
