// The record rules of one table: built once from the dictionary's rows of
// its fields, applied record by record, each rule written once.
//
//   1. nulo      a required value is missing (Null, or blank for tipo 1);
//   2. tamanho   (zerosesq) the trimmed text is not exactly `tamanho` long;
//   3. data      the text is no date (year 1900 to this year + 5);
//   4. dominio   the text, paired with its qualifying field's text, is not
//                among the admissible values of qelAnexos.
// Rules 3 and 4 let pass a value of all zeros when the row says `zeros`.
// Failures of rule 1 count into erroNulo, of rules 2 to 4 into erroDom.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/campo_lido.h"
#include "app/domain_set.h"
#include "dataset/TDataSet.h"
#include "dataset/format_settings.h"
#include "dataset/text.h"

namespace tolk {

class TqelMemTable;

// True exactly when the text, trimmed of blanks and control characters, is
// `expected` characters long.
bool TamanhoOk(std::string_view text, int expected);

// The date test: year from characters 1-4, month from 5-6, day from 7-8 (or
// 1 when `tamanho` is 6). Each piece is a decimal number, leading blanks
// skipped and a sign allowed; anything else, an empty piece, a year outside
// 1900..currentYear + 5 or an impossible calendar date gives false. Never fails.
bool DataValida(std::string_view text, int tamanho, int currentYear);

// The rows of qelAnexos as exact keys: a search matches a row only when all
// four values are identical, and a search key is always 5 and 7 characters
// long, so rows with shorter texts can never match.
void CarregaDominios(TqelMemTable& anexos, DomainSet& out);

class RegrasDaTabela {
 public:
  // The rules of the fields of `dados` (open), from the rows of qelEstrutTab
  // (indexed by table and position) of dictionary table `tabela`. A field
  // without a row has no rules. `dominios` and `dados` must outlive this.
  RegrasDaTabela(TqelMemTable& estrutura, const TDataSet& dados, std::int32_t tabela,
                 const DomainSet& dominios, const TFormatSettings& fs, int anoAtual);

  // Applies every rule to the current record of `dados`, counting each
  // failure and telling `achado(regra, campo)` ("nulo", "tamanho", "data",
  // "dominio"; the field's position from 0). An error of a conversion ends
  // the record there, as it ends the run.
  template <class Achado>
  void Aplica(Achado&& achado);

  // Adds the counts of the pass to the rows' erroNulo and erroDom. Called
  // also when an error ended the pass: what was counted stays counted.
  void SomaContadores(TqelMemTable& estrutura) const;

  // The qualifying field of field `campo`, once a domain search found it.
  const TField* Qualificador(int campo) const { return regras_[Idx(campo)].qualifier; }

 private:
  struct Regra {
    bool found = false;  // the field has a row
    bool ativa = false;  // some rule may fail: the field is read
    bool nulo = false, zerosesq = false, data = false, dominio = false, zeros = false;
    bool tipoTexto = false;  // tipo = 1: the null rule also refuses blanks
    std::int32_t tamanho = 0;
    bool dependeNull = false;
    std::string depende;  // the qualifying field's name, trimmed; empty: none
    const TField* qualifier = nullptr;
    // The qualifying field read in place, once `qualifier` is known.
    const DbfField* qualifierText = nullptr;
    std::string zerosText;  // "0" repeated over the field's size
    Variant zerosValor;     // the same as a value
    std::int64_t erroNulo = 0, erroDom = 0;
    // Domain answers by (text, qualifier text), for short codes: a code
    // column holds a handful of values, so most records ask again what was
    // asked before.
    struct Memo {
      std::uint64_t key = 0;  // 0: empty (a real key has its top bit set)
      bool has = false;
    };
    std::array<Memo, 64> memo{};
  };
  static std::size_t Idx(int i) { return static_cast<std::size_t>(i); }
  // Rule 4: the text against the admissible values.
  bool Dominio(Regra& r, int i, std::string_view text);
  bool Busca(Regra& r, int i, std::string_view text);

  const TDataSet& dados_;
  std::int32_t tabela_;
  const DomainSet& dominios_;
  const TFormatSettings& fs_;
  int ano_;
  std::vector<Regra> regras_;
  std::vector<CampoLido> campos_;
  std::vector<int> ativas_;  // the fields read, in order: those whose rule is `ativa`
  Variant qualifierValue_;
  std::string qualifierBuf_;
};

template <class Achado>
void RegrasDaTabela::Aplica(Achado&& achado) {
  for (const int i : ativas_) {
    Regra& r = regras_[Idx(i)];
    CampoLido& c = campos_[Idx(i)];
    c.Le();
    auto falha = [&](const char* regra, std::int64_t& contador) {
      ++contador;
      achado(regra, i);
    };
    if (r.nulo && (c.Nulo() || (r.tipoTexto && NoText(c.Texto(fs_))))) falha("nulo", r.erroNulo);
    if (r.zerosesq && !TamanhoOk(c.Texto(fs_), r.tamanho)) falha("tamanho", r.erroDom);
    if (r.data && !DataValida(c.Texto(fs_), r.tamanho, ano_) &&
        !(r.zeros && c.Igual(r.zerosText, r.zerosValor)))
      falha("data", r.erroDom);
    if (r.dominio && !Dominio(r, i, c.Texto(fs_)) &&
        !(r.zeros && c.Igual(r.zerosText, r.zerosValor)))
      falha("dominio", r.erroDom);
  }
}

}  // namespace tolk
