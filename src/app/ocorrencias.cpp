#include "app/ocorrencias.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "app/relatorios.h"
#include "app/textos.h"
#include "dataset/text.h"
#include "dbf/TXQSmartDBF.h"

namespace tolk {

int NumeroDaRegra(std::string_view regra) {
  for (int r = 0; r < kNumRegras; ++r)
    if (regra == kRegras[r]) return r;
  return -1;
}

// ---- The store ---------------------------------------------------------------------

void Ocorrencias::Limpa() {
  // The memory of a run of a million findings goes back with it.
  std::vector<std::unique_ptr<Entrada[]>>().swap(blocos_);
  std::vector<BlocoTexto>().swap(textos_);
  tamanho_ = 0;
  tabelas_.clear();
  campos_.clear();
  numeroCampo_.clear();
  vistos_ = {};
  ultimaRegra_ = nullptr;
}

std::uint8_t Ocorrencias::NumeroTabela(std::string_view nome, std::string_view arquivo) {
  // A run has two or three tables: the last one met is nearly always it.
  for (std::size_t t = tabelas_.size(); t-- > 0;)
    if (tabelas_[t].nome == nome && tabelas_[t].arquivo == arquivo)
      return static_cast<std::uint8_t>(t);
  if (tabelas_.size() > std::numeric_limits<std::uint8_t>::max())
    throw std::length_error("too many tables of findings");
  tabelas_.push_back({std::string(nome), std::string(arquivo)});
  return static_cast<std::uint8_t>(tabelas_.size() - 1);
}

std::uint16_t Ocorrencias::NumeroCampo(std::string_view nome) {
  Visto& visto = vistos_[(reinterpret_cast<std::uintptr_t>(nome.data()) >> 3) % vistos_.size()];
  if (visto.dados == nome.data() && visto.tamanho == nome.size() && campos_[visto.numero] == nome)
    return visto.numero;
  const std::uint16_t n = NumeroNoMapa(nome);
  visto = {nome.data(), nome.size(), n};
  return n;
}

std::uint16_t Ocorrencias::NumeroNoMapa(std::string_view nome) {
  std::string chave(nome);
  auto it = numeroCampo_.find(chave);
  if (it != numeroCampo_.end()) return it->second;
  if (campos_.size() > std::numeric_limits<std::uint16_t>::max())
    throw std::length_error("too many fields of findings");
  const auto n = static_cast<std::uint16_t>(campos_.size());
  campos_.push_back(chave);
  numeroCampo_.emplace(std::move(chave), n);
  return n;
}

void Ocorrencias::Adiciona(const Finding& f) {
  Entrada e;
  e.tabela = NumeroTabela(f.table, f.file);
  e.campo = NumeroCampo(f.field);
  // The run names its rules with the same few literals again and again.
  if (f.rule != ultimaRegra_) {
    numeroUltimaRegra_ = NumeroDaRegra(f.rule);
    ultimaRegra_ = f.rule;
  }
  const int regra = numeroUltimaRegra_;
  if (regra < 0) throw std::invalid_argument(std::string("unknown rule ") + f.rule);
  e.regra = static_cast<std::uint8_t>(regra);
  // Record numbers are 32-bit in the file's header.
  e.registro = static_cast<std::uint32_t>(f.record);
  e.valor = static_cast<std::uint32_t>(f.value.size());
  e.qualificador = static_cast<std::uint32_t>(f.qualifier.size());
  // Both texts go into one block, a new one when the last has no room. A
  // block never fills to its last byte: an offset stays inside its block
  // even for empty texts.
  const std::size_t n = f.value.size() + f.qualifier.size();
  constexpr std::size_t kBytesBloco = std::size_t{1} << kBitsTexto;
  if (n >= kBytesBloco) throw std::length_error("finding too long");  // fields are far shorter
  if (textos_.empty() || kBytesBloco - textos_.back().usado <= n)
    textos_.push_back({std::make_unique_for_overwrite<char[]>(kBytesBloco), 0});
  BlocoTexto& b = textos_.back();
  e.texto = static_cast<std::uint64_t>(textos_.size() - 1) << kBitsTexto | b.usado;
  // An empty text may have no address at all: std::copy asks none of it.
  std::copy(f.value.begin(), f.value.end(), b.dados.get() + b.usado);
  std::copy(f.qualifier.begin(), f.qualifier.end(), b.dados.get() + b.usado + f.value.size());
  b.usado += n;

  const std::size_t porBloco = std::size_t{1} << kBitsBloco;
  if (tamanho_ % porBloco == 0)
    blocos_.push_back(std::make_unique_for_overwrite<Entrada[]>(porBloco));
  blocos_.back()[tamanho_ % porBloco] = e;
  ++tamanho_;
}

std::string_view Ocorrencias::TextoDaColuna(std::size_t i, Coluna c) const {
  switch (c) {
    case Coluna::kTabela:
      return Tabela(i);
    case Coluna::kCampo:
      return Campo(i);
    case Coluna::kRegra:
      return Regra(i);
    case Coluna::kValor:
      return Valor(i);
    case Coluna::kQualificador:
      return Qualificador(i);
    case Coluna::kRegistro:
      break;
  }
  return {};
}

std::string Ocorrencias::Texto(std::size_t i, Coluna c) const {
  return c == Coluna::kRegistro ? std::to_string(Registro(i)) : std::string(TextoDaColuna(i, c));
}

Finding Ocorrencias::Achado(std::size_t i) const {
  Finding f;
  f.table = Tabela(i);
  f.file = Arquivo(i);
  f.record = Registro(i);
  f.field = Campo(i);
  f.rule = Regra(i);
  f.value = Valor(i);
  f.qualifier = Qualificador(i);
  return f;
}

std::size_t Ocorrencias::BytesOcupados() const {
  std::size_t n = blocos_.size() * (sizeof(Entrada) << kBitsBloco) +
                  blocos_.capacity() * sizeof blocos_[0] + textos_.capacity() * sizeof textos_[0];
  n += textos_.size() << kBitsTexto;
  for (const TabelaVista& t : tabelas_) n += sizeof t + t.nome.capacity() + t.arquivo.capacity();
  for (const std::string& c : campos_) n += 2 * (sizeof c + c.capacity()) + sizeof(std::uint16_t);
  return n;
}

// ---- The view ----------------------------------------------------------------------

namespace {

// Windows-1252 letters folded to lower case: ASCII, and the accented capitals
// at 0xC0-0xDE (0xD7 is the multiplication sign), plus Š Œ Ž Ÿ.
struct Minusculas {
  unsigned char t[256];
  Minusculas() {
    for (int c = 0; c < 256; ++c) t[c] = static_cast<unsigned char>(c);
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<unsigned char>(c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c)
      if (c != 0xD7) t[c] = static_cast<unsigned char>(c + 32);
    t[0x8A] = 0x9A;
    t[0x8C] = 0x9C;
    t[0x8E] = 0x9E;
    t[0x9F] = 0xFF;
  }
};
const Minusculas kMinusculas;

std::string Dobra(std::string_view s) {
  std::string d(s);
  for (char& c : d) c = static_cast<char>(kMinusculas.t[static_cast<unsigned char>(c)]);
  return d;
}

bool Contem(std::string_view texto, const std::string& agulha) {
  if (agulha.empty()) return true;
  if (texto.size() < agulha.size()) return false;
  const auto igual = [](char a, char b) {
    return kMinusculas.t[static_cast<unsigned char>(a)] == static_cast<unsigned char>(b);
  };
  return std::search(texto.begin(), texto.end(), agulha.begin(), agulha.end(), igual) !=
         texto.end();
}

}  // namespace

// The filter with its names turned into the store's numbers, so a pass over
// a million findings compares small integers.
struct VisaoOcorrencias::Criterio {
  std::vector<char> tabelas, campos;  // accepted, by number
  int regra = -1;                     // -1: any
  std::string agulha;                 // folded

  Criterio(const Ocorrencias& store, const FiltroOcorrencias& f) {
    auto aceitos = [](std::size_t n, auto nome, const std::optional<std::string>& escolhido) {
      std::vector<char> aceita(n, 1);
      if (escolhido)
        for (std::size_t k = 0; k < n; ++k) aceita[k] = nome(k) == *escolhido;
      return aceita;
    };
    tabelas = aceitos(
        store.NumTabelas(), [&](std::size_t k) { return store.NomeTabela(k); }, f.tabela);
    campos = aceitos(
        store.NumCampos(), [&](std::size_t k) { return store.NomeCampo(k); }, f.campo);
    // A rule that is not one of kRegras matches nothing.
    if (f.regra) {
      const int r = NumeroDaRegra(*f.regra);
      regra = r >= 0 ? r : kNumRegras;
    }
    agulha = Dobra(f.texto);
  }
  // Whether finding `i` passes; `ignora` (0 table, 1 field, 2 rule, -1 none)
  // is the criterion left out.
  bool Passa(const Ocorrencias& store, std::size_t i, int ignora = -1) const {
    if (ignora != 0 && !tabelas[store.TabelaDe(i)]) return false;
    if (ignora != 1 && !campos[store.CampoDe(i)]) return false;
    if (ignora != 2 && regra >= 0 && store.NumeroRegra(i) != regra) return false;
    return agulha.empty() || Contem(store.Valor(i), agulha) ||
           Contem(store.Qualificador(i), agulha);
  }
};

void VisaoOcorrencias::Recarrega() {
  const Criterio criterio(store_, filtro_);
  linhas_.clear();
  for (std::size_t i = 0; i < store_.Tamanho(); ++i)
    if (criterio.Passa(store_, i)) linhas_.push_back(static_cast<std::uint32_t>(i));
  if (coluna_) Ordena(coluna_, crescente_);
}

void VisaoOcorrencias::Filtra(const FiltroOcorrencias& filtro) {
  filtro_ = filtro;
  Recarrega();
}

void VisaoOcorrencias::Ordena(std::optional<Coluna> coluna, bool crescente) {
  coluna_ = coluna;
  crescente_ = crescente;
  if (!coluna) {
    std::sort(linhas_.begin(), linhas_.end());
    return;
  }
  // Ties keep the order found in both directions: the entry number breaks them.
  // Texts sort by their first sixteen bytes packed into two numbers, so
  // most comparisons of a million rows are integer ones (values are mostly
  // short); the texts themselves are compared only when those bytes are the
  // same.
  auto ordemDeTexto = [&](auto texto) {
    struct Chave {
      std::uint64_t alto, baixo;
      std::uint32_t linha, tamanho;
    };
    auto palavra = [](std::string_view t, std::size_t de) {
      std::uint64_t p = 0;
      for (std::size_t j = de; j < de + 8; ++j)
        p = p << 8 | (j < t.size() ? static_cast<unsigned char>(t[j]) : 0u);
      return p;
    };
    std::vector<Chave> chaves(linhas_.size());
    for (std::size_t k = 0; k < linhas_.size(); ++k) {
      const std::string_view t = texto(linhas_[k]);
      chaves[k] = {palavra(t, 0), palavra(t, 8), linhas_[k], static_cast<std::uint32_t>(t.size())};
    }
    std::sort(chaves.begin(), chaves.end(), [&](const Chave& a, const Chave& b) {
      if (a.alto != b.alto) return crescente ? a.alto < b.alto : b.alto < a.alto;
      if (a.baixo != b.baixo) return crescente ? a.baixo < b.baixo : b.baixo < a.baixo;
      if (a.tamanho > 16 && b.tamanho > 16) {
        const std::string_view ta = texto(a.linha), tb = texto(b.linha);
        if (ta != tb) return crescente ? ta < tb : tb < ta;
      } else if (a.tamanho != b.tamanho) {
        // The same first bytes: the shorter text is the start of the longer.
        return crescente ? a.tamanho < b.tamanho : b.tamanho < a.tamanho;
      }
      return a.linha < b.linha;
    });
    for (std::size_t k = 0; k < chaves.size(); ++k) linhas_[k] = chaves[k].linha;
  };
  if (*coluna == Coluna::kRegistro)
    std::sort(linhas_.begin(), linhas_.end(), [&](std::uint32_t a, std::uint32_t b) {
      const auto ka = store_.Registro(a), kb = store_.Registro(b);
      if (ka != kb) return crescente ? ka < kb : kb < ka;
      return a < b;
    });
  else
    ordemDeTexto([&, c = *coluna](std::uint32_t i) { return store_.TextoDaColuna(i, c); });
}

std::optional<std::size_t> VisaoOcorrencias::LinhaDe(std::size_t indice) const {
  for (std::size_t l = 0; l < linhas_.size(); ++l)
    if (linhas_[l] == indice) return l;
  return std::nullopt;
}

std::vector<Escolha> VisaoOcorrencias::Contagem(int qual) const {
  const std::size_t n = qual == 0   ? store_.NumTabelas()
                        : qual == 1 ? store_.NumCampos()
                                    : static_cast<std::size_t>(kNumRegras);
  auto nome = [&](std::size_t k) -> std::string_view {
    return qual == 0 ? store_.NomeTabela(k) : qual == 1 ? store_.NomeCampo(k) : kRegras[k];
  };
  std::vector<std::size_t> conta(n, 0);
  std::vector<std::size_t> primeiro(n, std::numeric_limits<std::size_t>::max());
  const Criterio criterio(store_, filtro_);
  for (std::size_t i = 0; i < store_.Tamanho(); ++i) {
    if (!criterio.Passa(store_, i, qual)) continue;
    const std::size_t k = qual == 0   ? store_.TabelaDe(i)
                          : qual == 1 ? store_.CampoDe(i)
                                      : static_cast<std::size_t>(store_.NumeroRegra(i));
    if (conta[k]++ == 0) primeiro[k] = i;
  }
  std::vector<std::size_t> ordem;
  for (std::size_t k = 0; k < n; ++k)
    if (conta[k] != 0) ordem.push_back(k);
  std::sort(ordem.begin(), ordem.end(),
            [&](std::size_t a, std::size_t b) { return primeiro[a] < primeiro[b]; });
  std::vector<Escolha> escolhas;
  for (std::size_t k : ordem) escolhas.push_back({std::string(nome(k)), conta[k]});
  const std::optional<std::string>& escolhido = qual == 0   ? filtro_.tabela
                                                : qual == 1 ? filtro_.campo
                                                            : filtro_.regra;
  if (escolhido && std::none_of(escolhas.begin(), escolhas.end(),
                                [&](const Escolha& e) { return e.nome == *escolhido; }))
    escolhas.push_back({*escolhido, 0});
  return escolhas;
}

std::vector<Escolha> VisaoOcorrencias::Tabelas() const { return Contagem(0); }
std::vector<Escolha> VisaoOcorrencias::Campos() const { return Contagem(1); }
std::vector<Escolha> VisaoOcorrencias::Regras() const { return Contagem(2); }

// ---- From the log --------------------------------------------------------------------

namespace {

bool ComecaCom(std::string_view s, std::string_view prefixo) {
  return s.substr(0, prefixo.size()) == prefixo;
}

// The first two words of a line: a summary row starts with the table's name
// and the field's, each padded with blanks to 20 columns (or longer, then
// followed by the next column at once: names have no blanks).
std::pair<std::string_view, std::string_view> DuasPalavras(std::string_view s) {
  auto palavra = [&s]() {
    const std::size_t i = s.find_first_not_of(' ');
    if (i == std::string_view::npos) return std::string_view();
    s.remove_prefix(i);
    const std::size_t fim = std::min(s.find(' '), s.size());
    std::string_view p = s.substr(0, fim);
    s.remove_prefix(fim);
    return p;
  };
  const std::string_view a = palavra();
  return {a, palavra()};
}

}  // namespace

std::optional<FiltroOcorrencias> FiltroDaLinha(const std::vector<std::string>& log,
                                               std::size_t linha) {
  if (linha >= log.size()) return std::nullopt;
  const std::string& l = log[linha];
  FiltroOcorrencias f;
  if (l.find(textos::SemBilhete()) != std::string::npos) {
    f.regra = "sem_bilhete";
    return f;
  }
  if (ComecaCom(l, textos::PremiosInconsistentes())) {
    f.regra = "classe_tarifaria";
    return f;
  }
  // A row of an error summary: below the summary's header, with no blank
  // line between them.
  for (std::size_t k = linha; k-- > 0;) {
    if (log[k] == textos::CabecalhoResumo()) {
      const auto [tabela, campo] = DuasPalavras(l);
      if (tabela.empty() || campo.empty()) return std::nullopt;
      f.tabela = std::string(tabela);
      f.campo = std::string(campo);
      return f;
    }
    if (TrimView(log[k]).empty()) break;
  }
  return std::nullopt;
}

// ---- CSV -------------------------------------------------------------------------

char SeparadorCsv(char decimalSeparator) { return decimalSeparator == ',' ? ';' : ','; }

void GravaCsv(const Ocorrencias& store, char separador,
              const std::function<void(std::string_view)>& grava) {
  std::string bloco = CsvHeader(separador);
  for (std::size_t i = 0; i < store.Tamanho(); ++i) {
    bloco += CsvRow(store.Achado(i), separador);
    if (bloco.size() >= (1u << 16)) {
      grava(bloco);
      bloco.clear();
    }
  }
  if (!bloco.empty()) grava(bloco);
}

std::string CsvDasOcorrencias(const Ocorrencias& store, const std::vector<std::size_t>& indices,
                              char separador) {
  std::string csv = CsvHeader(separador);
  for (std::size_t i : indices) csv += CsvRow(store.Achado(i), separador);
  return csv;
}

// ---- The record ------------------------------------------------------------------

std::vector<CampoDoRegistro> LeRegistro(const std::string& arquivo, std::int64_t registro) {
  TXQSmartDBF tabela("tbRegistro");
  tabela.DBFFileName = arquivo;
  tabela.AccessMode = OpenRead | ShareDenyNone;
  tabela.Open();
  if (registro < 1 || registro > std::numeric_limits<std::uint32_t>::max() ||
      !tabela.GoToRecord(static_cast<std::uint32_t>(registro))) {
    tabela.Close();
    throw std::out_of_range("Record " + std::to_string(registro) + " not found in " + arquivo);
  }
  const auto bytes = tabela.RecordBytes();
  std::vector<CampoDoRegistro> campos;
  for (int k = 0; k < tabela.FieldCount(); ++k) {
    const DbfFieldDef& d = tabela.FieldDef(k);
    std::string_view texto;
    if (d.offset + d.width <= bytes.size())
      texto = std::string_view(reinterpret_cast<const char*>(bytes.data()) + d.offset, d.width);
    const std::size_t fim = texto.find_last_not_of(' ');
    texto = fim == std::string_view::npos ? std::string_view() : texto.substr(0, fim + 1);
    campos.push_back({tabela.Fields()[k].FieldName(), std::string(texto)});
  }
  tabela.Close();
  return campos;
}

}  // namespace tolk
