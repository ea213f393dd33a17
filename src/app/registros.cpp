// The record rules: every field of every record of the table in tbDados,
// counted per field into the dictionary's erroNulo and erroDom.
#include <algorithm>
#include <array>
#include <cstring>

#include "app/Critica.h"
#include "app/log_text.h"
#include "app/regras.h"
#include "app/textos.h"
#include "dataset/Exceptions.h"
#include "dataset/number_format.h"
#include "dataset/text.h"

namespace tolk {

namespace {

bool On(const Variant& v) {
  return !v.IsNull() && !v.IsUnassigned() && VarEquals(v, Variant(std::int32_t{1}));
}

// The text of a value: a string's own bytes without a copy, anything else
// converted into `buf` (failing for Null, as every text conversion does).
const std::string& TextOf(const Variant& v, std::string& buf, const TFormatSettings& fs) {
  if (v.Type() == VarType::String) return v.Str();
  VarToStr(v, buf, fs);
  return buf;
}

// The dictionary row of one field of the table, read once before the walk:
// the rows do not change while the table is read, only their counters.
struct Regra {
  bool found = false;
  bool nulo = false, zerosesq = false, data = false, dominio = false, zeros = false;
  bool tipoTexto = false;  // tipo = 1: the null rule also refuses blanks
  std::int32_t tamanho = 0;
  bool dependeNull = false;
  std::string depende;  // the qualifying field's name, trimmed; empty: none
  const TField* qualifier = nullptr;
  std::string zerosText;                   // "0" repeated over the field's size
  std::int64_t erroNulo = 0, erroDom = 0;  // found in this pass
  // The qualifying field read in place (a character column of the table
  // whose value is its text), once `qualifier` is known; else null.
  const DbfField* qualifierText = nullptr;
  // Domain answers by (text, qualifier text), for short codes: a code column
  // holds a handful of values, so most records ask again what was asked.
  struct Memo {
    std::uint64_t key = 0;  // 0: empty (a real key has its top bit set)
    bool has = false;
  };
  std::array<Memo, 64> memo{};
};

// The memo key of a text of `a` bytes and a qualifier text of `b` bytes,
// a + b <= 6: the bytes side by side from the lowest, then the two lengths.
std::uint64_t MemoKey(std::string_view text, std::string_view qualifier) {
  std::uint64_t k =
      (std::uint64_t{text.size()} << 48) | ((std::uint64_t{qualifier.size()} | 0x80) << 56);
  unsigned shift = 0;
  for (char c : text) k |= std::uint64_t{static_cast<unsigned char>(c)} << shift, shift += 8;
  for (char c : qualifier) k |= std::uint64_t{static_cast<unsigned char>(c)} << shift, shift += 8;
  return k;
}

void PutInt(char* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }

// "A" -> "A    ": trimmed, padded with blanks to `width`, upper case of a-z,
// then cut to `width` as the string field of the domain table cuts it.
void DomainPart(std::string_view text, std::size_t width, char* out) {
  std::string_view t = TrimView(text);
  std::size_t n = std::min(t.size(), width);
  for (std::size_t i = 0; i < n; ++i) out[i] = UpperAscii(t[i]);
  for (std::size_t i = n; i < width; ++i) out[i] = ' ';
}

}  // namespace

void Critica::BuildDomainSet() {
  // The rows of qelAnexos as exact keys: a search matches a row only when
  // all four values are identical, and a search key is always 5 and 7
  // characters long, so rows with shorter texts can never match.
  domain_.Clear();
  for (qelAnexos.First(); !qelAnexos.Eof(); qelAnexos.Next()) {
    Variant t = qelAnexos.FieldByName("tabela").AsVariant();
    Variant c = qelAnexos.FieldByName("campo").AsVariant();
    Variant v1 = qelAnexos.FieldByName("valor1").AsVariant();
    Variant v2 = qelAnexos.FieldByName("valor2").AsVariant();
    if (t.IsNull() || c.IsNull() || v1.IsNull() || v2.IsNull()) continue;
    if (v1.Str().size() != 5 || v2.Str().size() != 7) continue;
    DomainSet::Key k;
    PutInt(k.data(), VarToInteger(t));
    PutInt(k.data() + 4, VarToInteger(c));
    std::memcpy(k.data() + 8, v1.Str().data(), 5);
    std::memcpy(k.data() + 13, v2.Str().data(), 7);
    domain_.Insert(k);
  }
}

void Critica::CriticaRegistros() {
  const TFormatSettings& fs = params_->regional;
  const int nFields = tbDados.FieldCount();
  const int year = [&] {
    int y, m, d;
    DecodeDate(params_->Now(), y, m, d);
    return y;
  }();

  std::vector<Regra> regras(static_cast<std::size_t>(nFields));
  for (int i = 0; i < nFields; ++i) {
    Regra& r = regras[static_cast<std::size_t>(i)];
    if (!qelEstrutTab.FindKey({Variant(estado_.tabelaAtual), Variant(std::int32_t{i + 1})}))
      continue;
    auto cell = [this](const char* n) { return qelEstrutTab.FieldByName(n).AsVariant(); };
    r.found = true;
    r.nulo = On(cell("nulo"));
    r.zerosesq = On(cell("zerosesq"));
    r.data = On(cell("data"));
    r.dominio = On(cell("dominio"));
    r.zeros = On(cell("zeros"));
    r.tipoTexto = On(cell("tipo"));
    Variant tamanho = cell("tamanho");
    r.tamanho = tamanho.IsNull() ? 0 : VarToInteger(tamanho);
    Variant depende = cell("depende");
    r.dependeNull = depende.IsNull();
    if (!r.dependeNull) r.depende = Trim(VarToStr(depende, fs));
    r.zerosText.assign(static_cast<std::size_t>(tbDados.Fields()[i].Size()), '0');
  }
  BuildDomainSet();

  // The counters are written back into the dictionary rows when the pass
  // ends, also when an error ends it: what was counted stays counted.
  auto writeBack = [&] {
    for (int i = 0; i < nFields; ++i) {
      const Regra& r = regras[static_cast<std::size_t>(i)];
      if (!r.found || (r.erroNulo == 0 && r.erroDom == 0)) continue;
      if (!qelEstrutTab.FindKey({Variant(estado_.tabelaAtual), Variant(std::int32_t{i + 1})}))
        continue;
      qelEstrutTab.Edit();
      for (auto [name, add] :
           {std::pair<const char*, std::int64_t>{"erroNulo", r.erroNulo}, {"erroDom", r.erroDom}}) {
        TField& f = qelEstrutTab.FieldByName(name);
        f.SetAsVariant(Variant(static_cast<std::int32_t>(VarToInteger(f.AsVariant()) + add)));
      }
      qelEstrutTab.Post();
    }
  };

  std::vector<const TField*> fields;
  // Character columns of the dBASE table are read in place.
  std::vector<const DbfField*> textFields;
  for (const auto& f : tbDados.Fields()) {
    fields.push_back(f.get());
    textFields.push_back(DbfField::InPlaceText(*f));
  }
  // A field of the table that no rule looks at is not read at all: reading
  // a dBASE field has no effect and cannot fail.
  std::vector<std::uint8_t> unread(static_cast<std::size_t>(nFields), 0);
  for (int i = 0; i < nFields; ++i) {
    const Regra& r = regras[static_cast<std::size_t>(i)];
    const bool anyRule = (r.nulo && (r.tipoTexto || !textFields[static_cast<std::size_t>(i)])) ||
                         r.zerosesq || r.data || r.dominio;
    unread[static_cast<std::size_t>(i)] =
        !anyRule && dynamic_cast<const DbfField*>(fields[static_cast<std::size_t>(i)]);
  }
  std::vector<Variant> values(static_cast<std::size_t>(nFields));
  const Variant codSeg(estado_.codSeg);
  const TField* codSegField = nullptr;
  const DbfField* codSegText = nullptr;
  Variant codValue, qualifierValue;
  std::string tbuf, qbuf;
  // Rule 4's search: (table, position, K1, K2) among the admissible values.
  auto DomainHas = [&](Regra& r, int i, std::string_view text) {
    if (r.dependeNull) RaiseVariantTypeCast("Null", "String");
    DomainSet::Key k;
    PutInt(k.data(), estado_.tabelaAtual);
    PutInt(k.data() + 4, i + 1);
    DomainPart(text, 5, k.data() + 8);
    if (r.depende.empty()) {
      std::memset(k.data() + 13, ' ', 7);
    } else {
      if (!r.qualifier) {
        r.qualifier = &tbDados.FieldByName(r.depende);
        r.qualifierText = DbfField::InPlaceText(*r.qualifier);
      }
      if (r.qualifierText) {
        DomainPart(r.qualifierText->TextView(), 7, k.data() + 13);
      } else {
        r.qualifier->GetVariant(qualifierValue);
        DomainPart(TextOf(qualifierValue, qbuf, fs), 7, k.data() + 13);
      }
    }
    return domain_.Contains(k);
  };
  // The same for a field read in place. The answer is a function of the two
  // texts while the pass lasts; the first search of a field (which finds
  // its qualifying field, or fails) always goes through.
  auto DomainHasText = [&](Regra& r, int i, std::string_view text) {
    if (r.dependeNull || (!r.depende.empty() && !r.qualifierText)) return DomainHas(r, i, text);
    const std::string_view q = r.depende.empty() ? std::string_view() : r.qualifierText->TextView();
    if (text.size() + q.size() > 6) return DomainHas(r, i, text);
    const std::uint64_t key = MemoKey(text, q);
    Regra::Memo& m = r.memo[(key * 0x9E3779B97F4A7C15ull) >> 58];
    if (m.key != key) m = {key, DomainHas(r, i, text)};
    return m.has;
  };
  // A finding for a window that wants them: the field's stored text, and
  // for a domain the qualifying field's.
  const std::string nome = Trim(estado_.nomeTabela);
  auto found = [&](const char* rule, int i) {
    if (!wantsFindings_) return;
    const Regra& r = regras[static_cast<std::size_t>(i)];
    const TField& f = *fields[static_cast<std::size_t>(i)];
    std::string qualifier;
    if (std::strcmp(rule, "dominio") == 0 && !r.depende.empty() && r.qualifier)
      qualifier = StoredText(tbDados, *r.qualifier);
    Report(nome, rule, tbDados.RecNo(), f.FieldName(), StoredText(tbDados, f), qualifier);
  };
  const int progress = estado_.tabelaAtual == 1 ? 25 : 50;
  std::int32_t contagem = 0;
  try {
    while (!tbDados.Eof()) {
      ++contagem;
      window_->SetProgress(progress);
      if (!codSegField) {
        codSegField = &tbDados.FieldByName("cod_seg");
        codSegText = DbfField::InPlaceText(*codSegField);
      }
      bool mesmaSeguradora;
      if (codSegText) {
        mesmaSeguradora = codSegText->TextView() == estado_.codSeg;  // two texts: equal bytes
      } else {
        codSegField->GetVariant(codValue);
        mesmaSeguradora = VarEquals(codSeg, codValue);
      }
      if (!mesmaSeguradora) {
        if (wantsFindings_)
          Report(Trim(estado_.nomeTabela), "empresa", tbDados.RecNo(), codSegField->FieldName(),
                 StoredText(tbDados, *codSegField));
        Add(textos::MaisDeUmaEmpresa() + estado_.nomeTabela);
        estado_.criticaOk = 0;
        break;
      }
      for (int i = 0; i < nFields; ++i) {
        Regra& r = regras[static_cast<std::size_t>(i)];
        if (!r.found || unread[static_cast<std::size_t>(i)]) continue;
        if (const DbfField* tf = textFields[static_cast<std::size_t>(i)]) {
          const std::string_view t = tf->TextView();
          if (r.nulo && r.tipoTexto && TrimView(t).empty()) ++r.erroNulo, found("nulo", i);
          if (r.zerosesq && !TamanhoOk(t, r.tamanho)) ++r.erroDom, found("tamanho", i);
          if (r.data && !DataValida(t, r.tamanho, year) && !(r.zeros && t == r.zerosText))
            ++r.erroDom, found("data", i);
          if (r.dominio && !DomainHasText(r, i, t) && !(r.zeros && t == r.zerosText))
            ++r.erroDom, found("dominio", i);
          continue;
        }
        Variant& v = values[static_cast<std::size_t>(i)];
        fields[static_cast<std::size_t>(i)]->GetVariant(v);
        // 1. Required value.
        if (r.nulo) {
          if (v.IsNull())
            ++r.erroNulo, found("nulo", i);
          else if (r.tipoTexto && TrimView(TextOf(v, tbuf, fs)).empty())
            ++r.erroNulo, found("nulo", i);
        }
        // 2. Exact width.
        if (r.zerosesq && !TamanhoOk(TextOf(v, tbuf, fs), r.tamanho))
          ++r.erroDom, found("tamanho", i);
        // 3. Date.
        if (r.data && !DataValida(TextOf(v, tbuf, fs), r.tamanho, year) &&
            !(r.zeros && VarEquals(v, Variant(r.zerosText))))
          ++r.erroDom, found("data", i);
        // 4. Domain: the value, paired with its qualifying field's value.
        if (r.dominio && !DomainHas(r, i, TextOf(v, tbuf, fs)) &&
            !(r.zeros && VarEquals(v, Variant(r.zerosText))))
          ++r.erroDom, found("dominio", i);
      }
      if ((contagem & 8191) == 0) window_->RecordsRead(estado_.nomeTabela, contagem);
      tbDados.Next();
    }
  } catch (...) {
    writeBack();
    throw;
  }
  writeBack();
  window_->RecordsRead(estado_.nomeTabela, contagem);
  Add(textos::TotalRegistros() + CountText(contagem));
  if (estado_.tabelaAtual == 1)
    estado_.totalRiscos = contagem;
  else
    estado_.totalSinistros = contagem;
}

}  // namespace tolk
