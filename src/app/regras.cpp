#include "app/regras.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

#include "dataset/Exceptions.h"
#include "dataset/number_format.h"
#include "dataset/text.h"
#include "memtable/TqelMemTable.h"

namespace tolk {

bool TamanhoOk(std::string_view text, int expected) {
  return static_cast<long long>(TrimView(text).size()) == expected;
}

namespace {

// A piece of the date as a signed decimal number; leading blanks skipped.
std::optional<long long> Piece(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i >= s.size()) return std::nullopt;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    v = v * 10 + (s[i] - '0');  // at most 4 digits: no overflow
  }
  return neg ? -v : v;
}

std::string_view Sub(std::string_view s, std::size_t pos, std::size_t len) {
  return pos >= s.size() ? std::string_view() : s.substr(pos, len);
}

}  // namespace

bool DataValida(std::string_view text, int tamanho, int currentYear) {
  // The usual shape first: eight (or six) digits.
  const std::size_t need = tamanho == 6 ? 6 : 8;
  if (text.size() == need || (tamanho == 6 && text.size() >= 6)) {
    // The digits as one word, the first the lowest byte; a six-digit date
    // is padded with "00". A byte outside '0'..'9' sets its top bit in
    // x - '0' (below '0') or in x + 0x46 (above '9'), the lowest such byte
    // exactly: then it is no date of this shape.
    std::uint64_t x = 0x3030303030303030ull;
    if (need == 8)
      std::memcpy(&x, text.data(), 8);
    else
      std::memcpy(&x, text.data(), 6);
    if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
    const std::uint64_t d = x - 0x3030303030303030ull;
    if (((d | (x + 0x4646464646464646ull)) & 0x8080808080808080ull) == 0) {
      auto digit = [d](int k) { return static_cast<int>((d >> (8 * k)) & 0xFF); };
      const int y = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
      const int m = digit(4) * 10 + digit(5);
      const int day = tamanho == 6 ? 1 : digit(6) * 10 + digit(7);
      return y >= 1900 && y <= currentYear + 5 && m >= 1 && m <= 12 && day >= 1 &&
             day <= DaysInMonth(y, m);
    }
  }
  auto year = Piece(Sub(text, 0, 4));
  auto month = Piece(Sub(text, 4, 2));
  auto day = tamanho == 6 ? std::optional<long long>(1) : Piece(Sub(text, 6, 2));
  if (!year || !month || !day) return false;
  if (*year < 1900 || *year > currentYear + 5) return false;
  if (*month < 1 || *month > 12 || *day < 1) return false;
  return *day <= DaysInMonth(static_cast<int>(*year), static_cast<int>(*month));
}

// ---- The rules of a table ------------------------------------------------------

namespace {

bool On(const Variant& v) {
  return !v.IsNull() && !v.IsUnassigned() && VarEquals(v, Variant(std::int32_t{1}));
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

}  // namespace

void CarregaDominios(TqelMemTable& anexos, DomainSet& out) {
  out.Clear();
  for (anexos.First(); !anexos.Eof(); anexos.Next()) {
    Variant t = anexos.FieldByName("tabela").AsVariant();
    Variant c = anexos.FieldByName("campo").AsVariant();
    Variant v1 = anexos.FieldByName("valor1").AsVariant();
    Variant v2 = anexos.FieldByName("valor2").AsVariant();
    if (t.IsNull() || c.IsNull() || v1.IsNull() || v2.IsNull()) continue;
    if (v1.Str().size() != 5 || v2.Str().size() != 7) continue;
    DomainSet::Key k;
    PutInt(k.data(), VarToInteger(t));
    PutInt(k.data() + 4, VarToInteger(c));
    std::memcpy(k.data() + 8, v1.Str().data(), 5);
    std::memcpy(k.data() + 13, v2.Str().data(), 7);
    out.Insert(k);
  }
}

RegrasDaTabela::RegrasDaTabela(TqelMemTable& estrutura, const TDataSet& dados, std::int32_t tabela,
                               const DomainSet& dominios, const TFormatSettings& fs, int anoAtual)
    : dados_(dados), tabela_(tabela), dominios_(dominios), fs_(fs), ano_(anoAtual) {
  const int n = dados.FieldCount();
  regras_.resize(Idx(n));
  campos_.reserve(Idx(n));
  for (int i = 0; i < n; ++i) {
    const TField& f = dados.Fields()[i];
    campos_.emplace_back(f);
    Regra& r = regras_[Idx(i)];
    if (!estrutura.FindKey({Variant(tabela), Variant(std::int32_t{i + 1})})) continue;
    auto cell = [&estrutura](const char* name) { return estrutura.FieldByName(name).AsVariant(); };
    r.found = true;
    r.nulo = On(cell("nulo"));
    r.zerosesq = On(cell("zerosesq"));
    r.data = On(cell("data"));
    r.dominio = On(cell("dominio"));
    r.zeros = On(cell("zeros"));
    r.tipoTexto = On(cell("tipo"));
    const Variant tamanho = cell("tamanho");
    r.tamanho = tamanho.IsNull() ? 0 : VarToInteger(tamanho);
    const Variant depende = cell("depende");
    r.dependeNull = depende.IsNull();
    if (!r.dependeNull) r.depende = Trim(VarToStr(depende, fs));
    r.zerosText.assign(static_cast<std::size_t>(f.Size()), '0');
    r.zerosValor = Variant(r.zerosText);
    // A dBASE field that no rule can fail is not read at all: reading it
    // has no effect and cannot fail. A field read in place is never Null.
    const bool anyRule =
        (r.nulo && (r.tipoTexto || !campos_.back().NoLugar())) || r.zerosesq || r.data || r.dominio;
    r.ativa = anyRule || !dynamic_cast<const DbfField*>(&f);
    if (r.ativa) ativas_.push_back(i);
  }
}

void RegrasDaTabela::SomaContadores(TqelMemTable& estrutura) const {
  for (int i = 0; i < static_cast<int>(regras_.size()); ++i) {
    const Regra& r = regras_[Idx(i)];
    if (!r.found || (r.erroNulo == 0 && r.erroDom == 0)) continue;
    if (!estrutura.FindKey({Variant(tabela_), Variant(std::int32_t{i + 1})})) continue;
    estrutura.Edit();
    for (auto [name, add] :
         {std::pair<const char*, std::int64_t>{"erroNulo", r.erroNulo}, {"erroDom", r.erroDom}}) {
      TField& f = estrutura.FieldByName(name);
      f.SetAsVariant(Variant(static_cast<std::int32_t>(VarToInteger(f.AsVariant()) + add)));
    }
    estrutura.Post();
  }
}

// The answer is a function of the two texts while the pass lasts, so short
// ones are remembered. The first search of a field with a qualifying field
// (which finds that field, or fails) always goes through.
bool RegrasDaTabela::Dominio(Regra& r, int i, std::string_view text) {
  if (r.dependeNull || (!r.depende.empty() && !r.qualifierText)) return Busca(r, i, text);
  const std::string_view q = r.depende.empty() ? std::string_view() : r.qualifierText->TextView();
  if (text.size() + q.size() > 6) return Busca(r, i, text);
  const std::uint64_t key = MemoKey(text, q);
  Regra::Memo& m = r.memo[(key * 0x9E3779B97F4A7C15ull) >> 58];
  if (m.key != key) m = {key, Busca(r, i, text)};
  return m.has;
}

// (table, position, K1, K2) among the admissible values: K1 the text, K2 the
// qualifying field's text (blanks without one).
bool RegrasDaTabela::Busca(Regra& r, int i, std::string_view text) {
  if (r.dependeNull) RaiseVariantTypeCast("Null", "String");
  DomainSet::Key k;
  PutInt(k.data(), tabela_);
  PutInt(k.data() + 4, i + 1);
  DomainPart(text, 5, k.data() + 8);
  if (r.depende.empty()) {
    std::memset(k.data() + 13, ' ', 7);
  } else {
    if (!r.qualifier) {
      r.qualifier = &dados_.FieldByName(r.depende);
      r.qualifierText = DbfField::InPlaceText(*r.qualifier);
    }
    if (r.qualifierText) {
      DomainPart(r.qualifierText->TextView(), 7, k.data() + 13);
    } else {
      r.qualifier->GetVariant(qualifierValue_);
      std::string_view q;
      if (qualifierValue_.Type() == VarType::String) {
        q = qualifierValue_.Str();
      } else {
        VarToStr(qualifierValue_, qualifierBuf_, fs_);
        q = qualifierBuf_;
      }
      DomainPart(q, 7, k.data() + 13);
    }
  }
  return dominios_.Contains(k);
}

}  // namespace tolk
