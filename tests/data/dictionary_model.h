// A plain model of the shipped TOLK dictionary and of the record rules it
// switches on, read straight from the built dBASE files. The data tests judge
// the sample and generated deliveries with it, independently of the run.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dataset/text.h"
#include "dbf/TXQSmartDBF.h"
#include "tools/delivery_generator.h"

namespace tolk::testing {

inline std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v ? v : fallback;
}
inline std::string BinDir() { return EnvOr("TOLK_BIN_DIR", "."); }
inline std::string SourceDir() { return EnvOr("TOLK_SOURCE_DIR", "."); }

// Integer of a numeric cell; -1 when the cell is blank.
inline int Number(const TDataSet& t, const char* column) {
  const TField& f = t.FieldByName(column);
  return f.IsNull() ? -1 : static_cast<int>(f.AsFloat());
}
inline std::string Text(const TDataSet& t, const char* column) {
  return t.FieldByName(column).AsString();
}

struct FieldRow {
  std::string ramo, tabela, campo, depende;
  int tipo, tamanho, dominio, nulo, data, positivo, zeros, ordem, zerosesq, soma;
};

struct DomainRow {
  std::string ramo, tabela, campo, valor1, valor2;  // valor1/valor2 as stored (first 5 / 7)
};

struct Dictionary {
  std::vector<FieldRow> rows;      // every line, in file order
  std::vector<DomainRow> domains;  // every line, in file order

  std::vector<const FieldRow*> Line(const std::string& ramo, const std::string& tabela = {}) const {
    std::vector<const FieldRow*> out;
    for (const auto& r : rows)
      if (r.ramo == ramo && (tabela.empty() || r.tabela == tabela)) out.push_back(&r);
    return out;
  }
  const FieldRow* Find(const std::string& tabela, const std::string& campo) const {
    for (const auto& r : rows)
      if (r.ramo == "TOLK" && r.tabela == tabela && r.campo == campo) return &r;
    return nullptr;
  }
  // Tables of a line in order of first appearance.
  std::vector<std::string> Tables(const std::string& ramo) const {
    std::vector<std::string> out;
    for (const auto* r : Line(ramo))
      if (out.empty() || out.back() != r->tabela) out.push_back(r->tabela);
    return out;
  }
};

inline Dictionary LoadDictionary(const std::string& folder) {
  Dictionary d;
  TXQSmartDBF t("tbTabelas");
  t.DBFFileName = folder + "/tabelas.dbf";
  t.Open();
  for (; !t.Eof(); t.Next()) {
    d.rows.push_back(
        {Trim(Text(t, "ramo")), Trim(Text(t, "tabela")), Trim(Text(t, "campo").substr(0, 10)),
         Trim(Text(t, "depende").substr(0, 10)), Number(t, "tipo"), Number(t, "tamanho"),
         Number(t, "dominio"), Number(t, "nulo"), Number(t, "data"), Number(t, "positivo"),
         Number(t, "zeros"), Number(t, "ordem"), Number(t, "zerosesq"), Number(t, "soma")});
  }
  t.Close();
  TXQSmartDBF a("tbAnexos");
  a.DBFFileName = folder + "/anexos.dbf";
  a.Open();
  for (; !a.Eof(); a.Next()) {
    d.domains.push_back({Trim(Text(a, "ramo")), Trim(Text(a, "tabela")),
                         Trim(Text(a, "campo").substr(0, 10)), Text(a, "valor1").substr(0, 5),
                         Text(a, "valor2").substr(0, 7)});
  }
  a.Close();
  return d;
}

inline std::string PadTo(std::string s, std::size_t n) {
  s.resize(n, ' ');  // cuts a longer text, as the fixed-size key fields do
  return s;
}

inline int DaysIn(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 29 : kDays[m - 1];
}

// AAAAMMDD, or AAAAMM when size is 6; plain digits only (enough for the data here).
inline bool CalendarDate(const std::string& text, int size, int maxYear) {
  std::string s =
      size == 6 ? text.substr(0, 6) + "01" : text.substr(0, std::min<std::size_t>(text.size(), 8));
  if (s.size() != 8) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  int y = std::stoi(s.substr(0, 4)), m = std::stoi(s.substr(4, 2)), d = std::stoi(s.substr(6, 2));
  return y >= 1900 && y <= maxYear && m >= 1 && m <= 12 && d >= 1 && d <= DaysIn(y, m);
}

// Which rules a record breaks, by the dictionary rows of its table.
struct Broken {
  bool missing = false, width = false, date = false, domain = false;
  std::set<std::string> fields;                  // campo of every failing rule
  std::set<std::pair<std::string, char>> rules;  // campo and n, w, d or v
  bool Any() const { return missing || width || date || domain; }
};

class RuleModel {
 public:
  RuleModel(const Dictionary& d, const std::string& tabela) : rows_(d.Line("TOLK", tabela)) {
    for (const auto& a : d.domains)
      if (a.ramo == "TOLK" && a.tabela == tabela) domain_.insert({a.campo, a.valor1, a.valor2});
    const auto now = std::chrono::year_month_day(
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()));
    maxYear_ = static_cast<int>(now.year()) + 5;
  }

  Broken Check(const TDataSet& t) const {
    Broken b;
    for (const FieldRow* r : rows_) {
      const TField& f = t.Fields()[r->ordem - 1];
      const Variant v = f.AsVariant();
      const std::string text = v.IsNull() ? std::string() : f.AsString();
      const bool zeros =
          r->zeros == 1 && !v.IsNull() && text == std::string(text.size(), '0') && !text.empty();
      auto fail = [&](bool Broken::*kind, char rule) {
        b.*kind = true;
        b.fields.insert(r->campo);
        b.rules.insert({r->campo, rule});
      };
      if (r->nulo == 1 && (v.IsNull() || (r->tipo == 1 && Trim(text).empty())))
        fail(&Broken::missing, 'n');
      if (r->zerosesq == 1 && Trim(text).size() != static_cast<std::size_t>(r->tamanho))
        fail(&Broken::width, 'w');
      if (r->data == 1 && !CalendarDate(text, r->tamanho, maxYear_) && !zeros)
        fail(&Broken::date, 'd');
      if (r->dominio == 1 && !zeros) {
        std::string k2 =
            r->depende.empty() ? std::string() : Trim(t.FieldByName(r->depende).AsString());
        if (!domain_.count(
                {r->campo, PadTo(UpperCaseAscii(Trim(text)), 5), PadTo(UpperCaseAscii(k2), 7)}))
          fail(&Broken::domain, 'v');
      }
    }
    return b;
  }

 private:
  std::vector<const FieldRow*> rows_;
  std::set<std::tuple<std::string, std::string, std::string>> domain_;
  int maxYear_;
};

// The premium of a risks record against the range of its tariff class.
inline bool TariffConsistent(const TDataSet& t) {
  const std::string cls = Trim(Text(t, "CLASSE_TAR"));
  const double p = t.FieldByName("VAL_PREM").AsFloat();
  if (cls == "1" || cls == "2") return p > 22.21 && p < 22.23;
  if (cls == "3" || cls == "4" || cls == "5") return p > 177.68 && p < 177.70;
  if (cls == "6") return p > 177.68;
  return false;
}

// One record of a delivery as the model sees it.
struct SeenRecord {
  bool deleted = false;
  Broken broken;
  bool inconsistentPremium = false;  // risks
  bool noTicket = false;             // claims
  std::map<std::string, std::string> values;

  // The kind a record shows, first rule first (a blank code also has the
  // wrong width; a class outside the list also misprices its premium).
  tools::Finding Kind() const {
    using tools::Finding;
    if (broken.missing) return Finding::kMissing;
    if (broken.width) return Finding::kWidth;
    if (broken.date) return Finding::kDate;
    if (broken.domain) return Finding::kDomain;
    if (inconsistentPremium) return Finding::kTariff;
    if (noTicket) return Finding::kNoTicket;
    return Finding::kNone;
  }
};

struct SeenDelivery {
  std::vector<SeenRecord> risks, claims;
};

// Reads both tables of a delivery (deleted records included, as the
// cross-check sees them) and judges every record.
inline SeenDelivery SeeDelivery(const Dictionary& d, const std::string& risksPath,
                                const std::string& claimsPath) {
  SeenDelivery out;
  std::set<std::string> tickets;
  auto walk = [&](const std::string& path, const char* tabela, std::vector<SeenRecord>& records,
                  bool risks) {
    RuleModel model(d, tabela);
    TXQSmartDBF t(risks ? "tbRiscos" : "tbSinistros");
    t.DBFFileName = path;
    t.Open();
    for (; !t.Eof(); t.Next()) {
      SeenRecord s;
      s.deleted = t.Deleted();
      s.broken = model.Check(t);
      for (const auto& f : t.Fields()) s.values[f->FieldName()] = f->AsString();
      if (risks) {
        tickets.insert(s.values["BILHETE"]);
        s.inconsistentPremium = !t.FieldByName("VAL_PREM").IsNull() && !TariffConsistent(t);
      } else {
        s.noTicket = !tickets.count(s.values["BILHETE"]);
      }
      records.push_back(std::move(s));
    }
  };
  walk(risksPath, "RISCOS", out.risks, true);
  walk(claimsPath, "SINISTROS", out.claims, false);
  return out;
}

}  // namespace tolk::testing
