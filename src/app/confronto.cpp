// The reconciliation with the regulator's figures: the insurer's row of
// DadosOrb.DBF, the premiums of the period against TOT_PR (and each premium
// against its tariff class), the paid claims of the period against TOT_SIN.
#include <optional>

#include "app/Critica.h"
#include "app/campo_lido.h"
#include "app/decimal_text.h"
#include "app/log_text.h"
#include "app/textos.h"
#include "dataset/byte_scan.h"
#include "dataset/number_format.h"
#include "dataset/text.h"

namespace tolk {

namespace {

// A period bound as AAAAMMDD text: a date column gives its digits, any other
// column its text.
std::string BoundText(const TField& f, const TFormatSettings& fs) {
  Variant v = f.AsVariant();
  if (v.Type() == VarType::Date) {
    int y, m, d;
    DecodeDate(v.Dbl(), y, m, d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    return buf;
  }
  return VarToStr(v, fs);
}

// The numeric value of a field as a double; false when it has none (all
// blanks, or text that is no number).
bool NumericValue(const TField& f, Variant& v, double& value) {
  if (!f.GetData(v)) return false;
  if (v.Type() == VarType::String) {
    auto d = ParseFloat(TrimView(v.Str()));
    if (!d) return false;
    value = *d;
    return true;
  }
  if (!v.IsNumeric()) return false;
  value = VarToDouble(v);
  return true;
}

// The value exactly as written: a number column's own digits, a text's
// digits, or else the double's shortest digits.
DecimalText ExactValue(const TXQSmartDBF& table, const TField& f, const Variant& v, double value) {
  if (v.Type() == VarType::String) {
    if (auto d = ParseDecimal(TrimView(v.Str()))) return *d;
  }
  const auto* field = dynamic_cast<const DbfField*>(&f);
  auto bytes = table.RecordBytes();
  if (field && !bytes.empty() && field->Def().kind == DbfValueKind::Float) {
    const auto& d = field->Def();
    if (auto parsed = ParseDecimal(
            std::string_view(reinterpret_cast<const char*>(bytes.data()) + d.offset, d.width)))
      return *parsed;
  }
  return DecimalOf(value);
}

// A premium against the bounds of its tariff class, both excluded. Far from
// a bound the double decides; within a millionth of one the digits do.
class Tarifa {
 public:
  Tarifa(const TXQSmartDBF& table, const TField& f, const Variant& v, double value)
      : table_(table), field_(f), v_(v), value_(value) {}
  bool Consistente(std::string_view classe) {
    if (classe == "1" || classe == "2") return Above(k2221) && Below(k2223);
    if (classe == "3" || classe == "4" || classe == "5") return Above(k17768) && Below(k17770);
    if (classe == "6") return Above(k17768);
    return false;
  }

 private:
  struct Bound {
    double value;
    const char* text;
  };
  static constexpr Bound k2221{22.21, "22.21"}, k2223{22.23, "22.23"}, k17768{177.68, "177.68"},
      k17770{177.70, "177.70"};
  int Compare(const Bound& b) {
    if (value_ > b.value + 1e-6) return 1;
    if (value_ < b.value - 1e-6) return -1;
    if (!exact_) exact_ = ExactValue(table_, field_, v_, value_);
    return CompareDecimal(*exact_, *ParseDecimal(b.text));
  }
  bool Above(const Bound& b) { return Compare(b) > 0; }
  bool Below(const Bound& b) { return Compare(b) < 0; }
  const TXQSmartDBF& table_;
  const TField& field_;
  const Variant& v_;
  double value_;
  std::optional<DecimalText> exact_;
};

// Whether a text lies within the reference period, both bounds included,
// in the order of the texts' bytes as unsigned numbers. Texts of eight
// bytes against bounds of eight (AAAAMMDD, the usual case) compare as
// big-endian words.
class Periodo {
 public:
  Periodo(const std::string& inicio, const std::string& fim) : inicio_(inicio), fim_(fim) {
    words_ = inicio.size() == 8 && fim.size() == 8;
    if (words_) {
      inicioWord_ = Word(inicio.data());
      fimWord_ = Word(fim.data());
    }
  }
  bool Contem(std::string_view texto) const {
    if (words_ && texto.size() == 8) {
      const std::uint64_t w = Word(texto.data());
      return w >= inicioWord_ && w <= fimWord_;
    }
    return !(texto < inicio_ || texto > fim_);
  }

 private:
  static std::uint64_t Word(const char* p) { return LoadBigEndian64(p); }
  const std::string& inicio_;
  const std::string& fim_;
  bool words_ = false;
  std::uint64_t inicioWord_ = 0, fimWord_ = 0;
};

}  // namespace

void Critica::ConfrontaDadosOrb(const Execucao& x, TXQSmartDBF& riscos) {
  tbDadosOrb.DBFFileName = x.params.programFolder + "DadosOrb.DBF";
  tbDadosOrb.Open();
  estado_.confrontoFeito = true;
  const Variant codSeg(estado_.codSeg);
  TField* cod = nullptr;
  while (!tbDadosOrb.Eof()) {
    if (!cod) cod = &tbDadosOrb.FieldByName("cod_seg");
    if (VarEquals(cod->AsVariant(), codSeg)) break;
    tbDadosOrb.Next();
  }
  if (tbDadosOrb.Eof()) {
    // No figures for this insurer: comparing the delivery with another
    // insurer's row would mislead, so say so and compare nothing.
    Linhas linhas;
    AbreBloco(linhas);
    linhas.push_back(textos::EmpresaErro() + Trim(estado_.codSeg) +
                     textos::NaoEncontradaNoDadosOrb());
    linhas.emplace_back();
    x.Add(linhas);
    tbDadosOrb.Close();
    return;
  }
  const TFormatSettings& fs = x.fs();
  const std::string empresa = VarToStr(tbDadosOrb.FieldByName("empresa").AsVariant(), fs);
  const std::string inivig = BoundText(tbDadosOrb.FieldByName("inivig"), fs);
  const std::string fimvig = BoundText(tbDadosOrb.FieldByName("fimvig"), fs);
  const double totPr = tbDadosOrb.FieldByName("TOT_PR").AsFloat();
  const double totSin = tbDadosOrb.FieldByName("TOT_SIN").AsFloat();
  estado_.empresaEncontrada = true;
  estado_.empresa = empresa;
  estado_.totPr = totPr;
  estado_.totSin = totSin;
  x.window.ReplaceLine(2, textos::Empresa() + empresa);
  if (!TrimView(x.params.riskPath).empty()) TestePremios(x, riscos, inivig, fimvig, totPr);
  if (!TrimView(x.params.claimPath).empty()) TesteSinistros(x, inivig, fimvig, totSin);
  tbDadosOrb.Close();
}

void Critica::TestePremios(const Execucao& x, TXQSmartDBF& riscos, const std::string& inivig,
                           const std::string& fimvig, double totPr) {
  const TFormatSettings& fs = x.fs();
  riscos.DBFFileName = x.params.riskPath;
  riscos.Open();
  estado_.testePremios = true;
  const std::string nome = NomeDaTabela(true);
  std::optional<CampoLido> comp, classe;
  const TField* premio = nullptr;
  bool premioDbf = false;
  const Periodo vigencia(inivig, fimvig);
  std::string periodo;
  Variant premioValor;
  double valor = 0;
  long long lidos = 0;
  for (; !riscos.Eof(); riscos.Next()) {
    if ((++lidos & 8191) == 0) x.window.RecordsRead(textos::LendoPremios(), lidos);
    if (riscos.Deleted()) continue;
    if (!comp) comp.emplace(riscos.FieldByName("DATA_COMP"));
    comp->Le();
    if (comp->Nulo()) continue;
    periodo.assign(comp->Texto(fs));
    periodo += "01";
    if (!vigencia.Contem(periodo)) continue;
    if (!premio) {
      premio = &riscos.FieldByName("VAL_PREM");
      premioDbf = dynamic_cast<const DbfField*>(premio) != nullptr;
    }
    // A dBASE field without a value (all blanks, Null) has no numeric value
    // either: asking for the value answers both questions.
    if ((!premioDbf && premio->IsNull()) || !NumericValue(*premio, premioValor, valor)) continue;
    if (!classe) classe.emplace(riscos.FieldByName("CLASSE_TAR"));
    classe->Le();
    const std::string_view classeValor = classe->Nulo() ? std::string_view() : classe->Texto(fs);
    if (!Tarifa(riscos, *premio, premioValor, valor).Consistente(classeValor)) {
      ++estado_.qtdPremInconsist;
      estado_.somaPremInconsist += valor;
      if (x.achados)
        x.Report(nome, riscos.DBFFileName, "classe_tarifaria", riscos.RecNo(), premio->FieldName(),
                 StoredText(riscos, *premio), StoredText(riscos, classe->Campo()));
    }
    estado_.somaPremios += valor;
  }
  Linhas linhas;
  BlocoComparacao(linhas, textos::TestePremios(), textos::CabecalhoPremios(),
                  textos::PremiosZerados(), totPr, estado_.somaPremios, fs);
  x.Add(linhas);
  riscos.Close();
}

void Critica::TesteSinistros(const Execucao& x, const std::string& inivig,
                             const std::string& fimvig, double totSin) {
  const TFormatSettings& fs = x.fs();
  tbSinistros.DBFFileName = x.params.claimPath;
  tbSinistros.Open();
  estado_.testeSinistros = true;
  std::optional<CampoLido> aviso;
  const TField* valorSin = nullptr;
  bool valorDbf = false;
  const Periodo vigencia(inivig, fimvig);
  Variant valorVar;
  double valor = 0;
  long long lidos = 0;
  for (; !tbSinistros.Eof(); tbSinistros.Next()) {
    if ((++lidos & 8191) == 0) x.window.RecordsRead(textos::LendoSinistros(), lidos);
    if (tbSinistros.Deleted()) continue;
    if (!aviso) aviso.emplace(tbSinistros.FieldByName("DATA_AVI"));
    aviso->Le();
    if (aviso->Nulo() || !vigencia.Contem(aviso->Texto(fs))) continue;
    if (!valorSin) {
      valorSin = &tbSinistros.FieldByName("VAL_SINIST");
      valorDbf = dynamic_cast<const DbfField*>(valorSin) != nullptr;
    }
    if ((!valorDbf && valorSin->IsNull()) || !NumericValue(*valorSin, valorVar, valor)) continue;
    estado_.somaSinistros += valor;
  }
  Linhas linhas;
  BlocoComparacao(linhas, textos::TesteSinistros(), textos::CabecalhoSinistros(),
                  textos::SinistrosZerados(), totSin, estado_.somaSinistros, fs);
  x.Add(linhas);
  tbSinistros.Close();
}

}  // namespace tolk
