// A program folder with a small dictionary, user tables made with the
// project's writer, and a window that keeps what the run shows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/Critica.h"
#include "dataset/cp1252.h"
#include "dataset/number_format.h"
#include "test_support.h"
#include "tools/dbf_writer.h"

namespace tolk::testing {

class LogWindow : public RunWindow {
 public:
  std::vector<std::string> lines;  // Windows-1252
  std::vector<int> progress;       // every change of position
  std::string finalMessage;
  int finalMessages = 0;
  void AddLine(const std::string& l) override { lines.push_back(l); }
  void ReplaceLine(int i, const std::string& l) override {
    lines.at(static_cast<std::size_t>(i)) = l;
  }
  void ClearLog() override { lines.clear(); }
  void SetProgress(int p) override {
    if (progress.empty() || progress.back() != p) progress.push_back(p);
  }
  void ShowFinalMessage(const std::string& t) override {
    finalMessage = t;
    ++finalMessages;
  }
  // Findings are asked for only when `wantsFindings` is set.
  // A finding's texts last only as long as the call: each is kept as a copy.
  struct Achado {
    std::string table, file;
    std::int64_t record = 0;
    std::string field;
    const char* rule = "";
    std::string value, qualifier;
  };
  bool wantsFindings = false;
  std::vector<Achado> findings;
  bool WantsFindings() const override { return wantsFindings; }
  void AddFinding(const Finding& f) override {
    findings.push_back({std::string(f.table), std::string(f.file), f.record, std::string(f.field),
                        f.rule, std::string(f.value), std::string(f.qualifier)});
  }
  // Called on each report of records read, when set (it may throw).
  std::function<void(const std::string& table, long long count)> onRecordsRead;
  void RecordsRead(const std::string& table, long long count) override {
    if (onRecordsRead) onRecordsRead(table, count);
  }
  // The log in UTF-8, one line per entry.
  std::vector<std::string> Utf8() const {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(Cp1252ToUtf8(l));
    return out;
  }
  // Whether a line reads `utf8Line`, trailing blanks aside (table names
  // keep the blanks of their dictionary column).
  bool Has(const std::string& utf8Line) const {
    for (auto l : Utf8()) {
      while (!l.empty() && l.back() == ' ' && utf8Line.size() < l.size()) l.pop_back();
      if (l == utf8Line) return true;
    }
    return false;
  }
};

// One row of tabelas.dbf; numbers as text ("" for an empty cell).
struct CampoDic {
  std::string ramo, tabela, campo, depende, tipo, tamanho, dominio, nulo, data, positivo, zeros,
      ordem, zerosesq, soma;
};
struct AnexoDic {
  std::string ramo, tabela, campo, valor1, valor2;
};

inline void WriteTabelas(const std::string& path, const std::vector<CampoDic>& rows) {
  tools::DbfWriter w({{"RAMO", 'C', 6},
                      {"TABELA", 'C', 24},
                      {"CAMPO", 'C', 12},
                      {"DEPENDE", 'C', 12},
                      {"TIPO", 'N', 3},
                      {"TAMANHO", 'N', 3},
                      {"DOMINIO", 'N', 1},
                      {"NULO", 'N', 1},
                      {"DATA", 'N', 1},
                      {"POSITIVO", 'N', 1},
                      {"ZEROS", 'N', 1},
                      {"ORDEM", 'N', 3},
                      {"ZEROSESQ", 'N', 1},
                      {"SOMA", 'N', 1}});
  for (const auto& r : rows)
    w.AddRecord({r.ramo, r.tabela, r.campo, r.depende, r.tipo, r.tamanho, r.dominio, r.nulo, r.data,
                 r.positivo, r.zeros, r.ordem, r.zerosesq, r.soma});
  w.WriteFile(path);
}

inline void WriteAnexos(const std::string& path, const std::vector<AnexoDic>& rows) {
  tools::DbfWriter w({{"RAMO", 'C', 6},
                      {"TABELA", 'C', 24},
                      {"CAMPO", 'C', 12},
                      {"VALOR1", 'C', 8},
                      {"VALOR2", 'C', 10}});
  for (const auto& r : rows) w.AddRecord({r.ramo, r.tabela, r.campo, r.valor1, r.valor2});
  w.WriteFile(path);
}

// The dictionary most tests use: RISCOS (1) and SINISTROS (2).
//   RISCOS:    COD_SEG C5 nulo, BILHETE C10 nulo, DATA_COMP C6 data(6),
//              CLASSE_TAR C1 dominio, CATEG C2 dominio depende CLASSE_TAR,
//              COD_MUN C7 zerosesq, VAL_PREM N12.2 nulo
//   SINISTROS: COD_SEG C5 nulo, BILHETE C10 nulo, DATA_AVI C8 data,
//              DATA_PAG C8 data zeros, NATUREZA C1 dominio, VAL_SINIST N12.2
inline std::vector<CampoDic> DicionarioPadrao() {
  return {
      {"TOLK", "RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "0", "1", "0", "0"},
      {"TOLK", "RISCOS", "BILHETE", "", "1", "10", "0", "1", "0", "0", "0", "2", "0", "0"},
      {"TOLK", "RISCOS", "DATA_COMP", "", "1", "6", "0", "0", "1", "0", "0", "3", "0", "0"},
      {"TOLK", "RISCOS", "CLASSE_TAR", "", "1", "1", "1", "0", "0", "0", "0", "4", "0", "0"},
      {"TOLK", "RISCOS", "CATEG", "CLASSE_TAR", "1", "2", "1", "0", "0", "0", "0", "5", "0", "0"},
      {"TOLK", "RISCOS", "COD_MUN", "", "1", "7", "0", "0", "0", "0", "0", "6", "1", "0"},
      {"TOLK", "RISCOS", "VAL_PREM", "", "6", "0", "0", "1", "0", "1", "0", "7", "0", "1"},
      {"TOLK", "SINISTROS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "0", "1", "0", "0"},
      {"TOLK", "SINISTROS", "BILHETE", "", "1", "10", "0", "1", "0", "0", "0", "2", "0", "0"},
      {"TOLK", "SINISTROS", "DATA_AVI", "", "1", "8", "0", "0", "1", "0", "0", "3", "0", "0"},
      {"TOLK", "SINISTROS", "DATA_PAG", "", "1", "8", "0", "0", "1", "0", "1", "4", "0", "0"},
      {"TOLK", "SINISTROS", "NATUREZA", "", "1", "1", "1", "0", "0", "0", "0", "5", "0", "0"},
      {"TOLK", "SINISTROS", "VAL_SINIST", "", "6", "0", "0", "0", "0", "1", "0", "6", "0", "1"},
  };
}

inline std::vector<AnexoDic> AnexosPadrao() {
  std::vector<AnexoDic> a;
  for (const char* c : {"1", "2", "3"}) a.push_back({"TOLK", "RISCOS", "CLASSE_TAR", c, ""});
  a.push_back({"TOLK", "RISCOS", "CATEG", "10", "1"});
  a.push_back({"TOLK", "RISCOS", "CATEG", "20", "2"});
  a.push_back({"TOLK", "RISCOS", "CATEG", "20", "3"});
  for (const char* c : {"M", "I", "D"}) a.push_back({"TOLK", "SINISTROS", "NATUREZA", c, ""});
  return a;
}

inline std::vector<tools::FieldSpec> CamposRiscos() {
  return {{"COD_SEG", 'C', 5},     {"BILHETE", 'C', 10}, {"DATA_COMP", 'C', 6},
          {"CLASSE_TAR", 'C', 1},  {"CATEG", 'C', 2},    {"COD_MUN", 'C', 7},
          {"VAL_PREM", 'N', 12, 2}};
}
inline std::vector<tools::FieldSpec> CamposSinistros() {
  return {{"COD_SEG", 'C', 5},  {"BILHETE", 'C', 10}, {"DATA_AVI", 'C', 8},
          {"DATA_PAG", 'C', 8}, {"NATUREZA", 'C', 1}, {"VAL_SINIST", 'N', 12, 2}};
}

struct Orb {
  std::string codSeg, empresa, inivig, fimvig, totPr, totSin;
};

// DadosOrb.DBF; with `dateColumns` the period bounds are D columns.
inline void WriteDadosOrb(const std::string& path, const std::vector<Orb>& rows,
                          bool dateColumns = false) {
  tools::DbfWriter w({{"COD_SEG", 'C', 5},
                      {"EMPRESA", 'C', 30},
                      {"INIVIG", dateColumns ? 'D' : 'C', 8},
                      {"FIMVIG", dateColumns ? 'D' : 'C', 8},
                      {"TOT_PR", 'N', 15, 2},
                      {"TOT_SIN", 'N', 15, 2}});
  for (const auto& r : rows)
    w.AddRecord({r.codSeg, r.empresa, r.inivig, r.fimvig, r.totPr, r.totSin});
  w.WriteFile(path);
}

// A program folder and a clock fixed at 2026-12-08 16:40:35.
class RunFixture {
 public:
  TempDir dir;
  RunParameters params;
  LogWindow window;
  Critica critica;
  double now = EncodeDate(2026, 12, 8) + (16 * 3600 + 40 * 60 + 35) / 86400.0;

  RunFixture() {
    params.programFolder = dir.Folder();
    params.regional.DecimalSeparator = ',';
    params.regional.ThousandSeparator = '.';
    params.regional.ShortDateFormat = "dd/MM/yyyy";
    params.regional.LongTimeFormat = "HH:mm:ss";
    params.clock = [](void* self) { return static_cast<RunFixture*>(self)->now; };
    params.clockContext = this;
    WriteTabelas(dir.File("tabelas.dbf"), DicionarioPadrao());
    WriteAnexos(dir.File("anexos.dbf"), AnexosPadrao());
    WriteDadosOrb(dir.File("DadosOrb.DBF"), {{"05428", "SEGURADORA EXEMPLO S.A.", "20170101",
                                              "20171231", "1000.00", "500.00"}});
  }

  std::string Riscos(const std::vector<std::vector<std::string>>& rows,
                     const std::string& name = "riscos.dbf") {
    return Table(name, CamposRiscos(), rows);
  }
  std::string Sinistros(const std::vector<std::vector<std::string>>& rows,
                        const std::string& name = "sinistros.dbf") {
    return Table(name, CamposSinistros(), rows);
  }
  // A table; a first cell "*" marks the row deleted.
  std::string Table(const std::string& name, const std::vector<tools::FieldSpec>& fields,
                    const std::vector<std::vector<std::string>>& rows) {
    tools::DbfWriter w(fields);
    for (auto r : rows) {
      bool deleted = !r.empty() && r[0] == "*";
      if (deleted) r.erase(r.begin());
      w.AddRecord(r, deleted);
    }
    std::string p = dir.File(name);
    w.WriteFile(p);
    return p;
  }

  void Run(const std::string& riscos, const std::string& sinistros) {
    params.riskPath = riscos;
    params.claimPath = sinistros;
    critica.Executa(params, window);
  }

  // The counters of one dictionary row after a run.
  std::pair<int, int> Erros(int tabela, int ordem) {
    auto& t = critica.qelEstrutTab;
    if (!t.FindKey({Variant(std::int32_t{tabela}), Variant(std::int32_t{ordem})})) return {-1, -1};
    return {VarToInteger(t.FieldByName("erroNulo").AsVariant()),
            VarToInteger(t.FieldByName("erroDom").AsVariant())};
  }
};

// A valid risks row and claims row of insurer 05428.
inline std::vector<std::string> Risco(std::string bilhete = "0000000001") {
  return {"05428", bilhete, "201703", "1", "10", "3550308", "22.22"};
}
inline std::vector<std::string> Sinistro(std::string bilhete = "0000000001") {
  return {"05428", bilhete, "20170315", "20170401", "M", "13500.00"};
}

}  // namespace tolk::testing
