// The findings of the last run, kept for a window that lets the analyst
// browse them: every failing value with its table, record, field, rule,
// value and qualifier, in the order the run counted them.
//
// A run over a million records may count a million findings, so each one
// is an entry of 24 bytes (the table, field and rule as small numbers, the
// record number, where its texts start in one arena and their lengths)
// plus its two texts, stored once in the arena. A view of them (filtered,
// sorted) is a vector of 32-bit entry numbers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/run_window.h"

namespace tolk {

// The rules a finding may break, in the order of their numbers in an entry.
inline constexpr const char* kRegras[] = {
    "nulo", "tamanho", "data", "dominio", "empresa", "sem_bilhete", "classe_tarifaria"};
inline constexpr int kNumRegras = static_cast<int>(sizeof kRegras / sizeof kRegras[0]);
// The number of `regra`, -1 for a name that is not a rule.
int NumeroDaRegra(std::string_view regra);

// The columns of a finding, as --detalhes writes them.
enum class Coluna { kTabela, kRegistro, kCampo, kRegra, kValor, kQualificador };
inline constexpr int kNumColunas = 6;

class Ocorrencias {
 public:
  // Forgets every finding; the next run starts from nothing.
  void Limpa();
  // Keeps `f`: its texts are copied (Windows-1252, as the run has them).
  void Adiciona(const Finding& f);

  std::size_t Tamanho() const { return tamanho_; }
  bool Vazia() const { return tamanho_ == 0; }

  // Finding `i` (0-based, in the order found). The views stay valid until
  // the next Limpa or Adiciona.
  std::string_view Tabela(std::size_t i) const { return tabelas_[At(i).tabela].nome; }
  // The file the table was read from, as the run was given it.
  std::string_view Arquivo(std::size_t i) const { return tabelas_[At(i).tabela].arquivo; }
  std::int64_t Registro(std::size_t i) const { return At(i).registro; }
  std::string_view Campo(std::size_t i) const { return campos_[At(i).campo]; }
  int NumeroRegra(std::size_t i) const { return At(i).regra; }
  const char* Regra(std::size_t i) const { return kRegras[At(i).regra]; }
  std::string_view Valor(std::size_t i) const { return {Texto(At(i).texto), At(i).valor}; }
  std::string_view Qualificador(std::size_t i) const {
    return {Texto(At(i).texto) + At(i).valor, At(i).qualificador};
  }
  // Column `c` of finding `i` as text (the record number in decimal).
  std::string Texto(std::size_t i, Coluna c) const;
  // The same as the store holds it, for every column but the record's.
  std::string_view TextoDaColuna(std::size_t i, Coluna c) const;
  Finding Achado(std::size_t i) const;

  // The distinct tables, fields and rule numbers met, in the order first
  // met; an entry's numbers index these.
  std::size_t NumTabelas() const { return tabelas_.size(); }
  std::string_view NomeTabela(std::size_t t) const { return tabelas_[t].nome; }
  std::size_t NumCampos() const { return campos_.size(); }
  std::string_view NomeCampo(std::size_t c) const { return campos_[c]; }
  // Entry numbers of each finding's table, field and rule.
  std::uint8_t TabelaDe(std::size_t i) const { return At(i).tabela; }
  std::uint16_t CampoDe(std::size_t i) const { return At(i).campo; }

  // Bytes held: the entries, the arena and the names, as allocated.
  std::size_t BytesOcupados() const;
  static constexpr std::size_t kBytesPorEntrada = 24;

 private:
  struct Entrada {
    // The value's first byte in the arena (its block above kBitsTexto, the
    // byte in it below); the qualifier follows it in the same block.
    std::uint64_t texto = 0;
    std::uint32_t registro = 0;
    std::uint32_t valor = 0;         // the value's length
    std::uint32_t qualificador = 0;  // the qualifier's length
    std::uint16_t campo = 0;
    std::uint8_t tabela = 0;
    std::uint8_t regra = 0;
  };
  static_assert(sizeof(Entrada) == kBytesPorEntrada);
  struct TabelaVista {
    std::string nome, arquivo;
  };

  // Entries and texts live in blocks that never move: a store of a million
  // findings grows without copying what it holds, and without touching its
  // memory twice.
  static constexpr unsigned kBitsBloco = 15;  // entries per block: 2^15 (768 KiB)
  static constexpr unsigned kBitsTexto = 20;  // bytes per text block: 2^20
  const Entrada& At(std::size_t i) const {
    return blocos_[i >> kBitsBloco][i & ((std::size_t{1} << kBitsBloco) - 1)];
  }
  const char* Texto(std::uint64_t onde) const {
    return textos_[onde >> kBitsTexto].dados.get() +
           (onde & ((std::uint64_t{1} << kBitsTexto) - 1));
  }
  struct BlocoTexto {
    std::unique_ptr<char[]> dados;  // 2^kBitsTexto bytes
    std::size_t usado = 0;
  };
  std::uint8_t NumeroTabela(std::string_view nome, std::string_view arquivo);
  std::uint16_t NumeroCampo(std::string_view nome);
  std::uint16_t NumeroNoMapa(std::string_view nome);

  std::vector<std::unique_ptr<Entrada[]>> blocos_;
  std::size_t tamanho_ = 0;
  std::vector<BlocoTexto> textos_;
  std::vector<TabelaVista> tabelas_;
  std::vector<std::string> campos_;
  std::unordered_map<std::string, std::uint16_t> numeroCampo_;
  // The names a run hands over are its fields' own, at the same addresses
  // record after record: the last number found for an address is tried
  // first (and its text compared) before the map is asked.
  struct Visto {
    const char* dados = nullptr;
    std::size_t tamanho = 0;
    std::uint16_t numero = 0;
  };
  std::array<Visto, 64> vistos_{};
  const char* ultimaRegra_ = nullptr;
  int numeroUltimaRegra_ = -1;
};

// --- Filters and order ----------------------------------------------------------------

// What the view shows: every finding that matches each criterion set.
struct FiltroOcorrencias {
  std::optional<std::string> tabela;  // the table's name, Windows-1252
  std::optional<std::string> campo;   // the field's name (in any table unless one is chosen)
  std::optional<std::string> regra;   // a rule of kRegras
  // Found in the value or the qualifier, letters in either case (Windows-1252).
  std::string texto;
  bool operator==(const FiltroOcorrencias&) const = default;
};

// A choice of a filter's list: a name and how many findings it would show
// with the other criteria as they stand.
struct Escolha {
  std::string nome;
  std::size_t quantidade = 0;
};

// The rows a window shows: the findings that pass the filter, in the order
// asked for. Every call here is one pass over the store or one sort of the
// rows, fast enough at a million findings to run on each click.
class VisaoOcorrencias {
 public:
  explicit VisaoOcorrencias(const Ocorrencias& store) : store_(store) {}

  // After a run, or after the store changed: every finding, in the order found,
  // with the filter and order kept.
  void Recarrega();
  void Filtra(const FiltroOcorrencias& filtro);
  const FiltroOcorrencias& Filtro() const { return filtro_; }
  // Sorts by `coluna` (records by number, texts by their bytes; ties keep
  // the order found); nullopt goes back to the order found.
  void Ordena(std::optional<Coluna> coluna, bool crescente = true);
  std::optional<Coluna> ColunaOrdem() const { return coluna_; }
  bool Crescente() const { return crescente_; }

  std::size_t Linhas() const { return linhas_.size(); }
  // The finding at row `linha`.
  std::size_t Indice(std::size_t linha) const { return linhas_[linha]; }
  // The row of finding `indice`, if it passes the filter.
  std::optional<std::size_t> LinhaDe(std::size_t indice) const;

  // The lists of the three filters, each with the counts the other criteria
  // leave (the search included); names in the order first met. A name
  // chosen in the filter is listed even with no finding.
  std::vector<Escolha> Tabelas() const;
  std::vector<Escolha> Campos() const;
  std::vector<Escolha> Regras() const;

 private:
  struct Criterio;
  std::vector<Escolha> Contagem(int qual) const;

  const Ocorrencias& store_;
  FiltroOcorrencias filtro_;
  std::optional<Coluna> coluna_;
  bool crescente_ = true;
  std::vector<std::uint32_t> linhas_;
};

// --- From the log to the findings ----------------------------------------------------

// The filter a double-click on line `linha` of the log `log` (Windows-1252,
// one string per line) opens the view with: a field's row of a table's
// error summary filters to that table and field; the line of claims
// without a ticket to "sem_bilhete"; the line of inconsistent premiums to
// "classe_tarifaria". Nothing for any other line.
std::optional<FiltroOcorrencias> FiltroDaLinha(const std::vector<std::string>& log,
                                               std::size_t linha);

// --- Export and clipboard ------------------------------------------------------------

// The separator of the CSV: ";" where the decimal separator is a comma, as
// spreadsheets of those regions read it; "," elsewhere.
char SeparadorCsv(char decimalSeparator);
// The CSV of --detalhes: its header, then every finding in the order found
// (UTF-8, CR LF). `grava` takes it in pieces.
void GravaCsv(const Ocorrencias& store, char separador,
              const std::function<void(std::string_view)>& grava);
// The header and the rows `indices` (findings, in that order), for the clipboard.
std::string CsvDasOcorrencias(const Ocorrencias& store, const std::vector<std::size_t>& indices,
                              char separador);

// --- The record behind a finding -------------------------------------------------------

struct CampoDoRegistro {
  std::string nome;
  std::string texto;  // as stored, trailing blanks removed (Windows-1252)
};
// The fields of record `registro` of the dBASE table `arquivo`, read again
// from the file (shared for reading: the run has closed it). Raises the
// table's error when the file cannot be read or has no such record.
std::vector<CampoDoRegistro> LeRegistro(const std::string& arquivo, std::int64_t registro);

}  // namespace tolk
