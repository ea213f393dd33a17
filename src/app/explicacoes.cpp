#include "app/explicacoes.h"

#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "app/saidas.h"
#include "dataset/Exceptions.h"
#include "dataset/cp1252.h"
#include "dataset/text.h"
#include "platform/system.h"

namespace tolk {

namespace {

namespace fs = std::filesystem;

// What went wrong, as far as the analyst is concerned.
enum class Causa {
  kAbertura,  // the file could not be opened: the file itself tells why
  kNaoExiste,
  kPasta,
  kNaoComum,  // a FIFO, a device, a socket
  kSemPermissao,
  kEmUso,         // held by another program: every table is opened exclusively
  kMesmoArquivo,  // both boxes name one file, which the run cannot open twice
  kNaoDbf,
  kDanificado,
  kRegistroLongo,
  kSemCampo,
  kIndiceCriacao,
  kIndiceGravacao,
  kIndiceAlterado,
};

// The messages that end a run, by their fixed parts: the message starts with
// `inicio` and holds `meio` after it. A quoted file name follows `inicio`
// where the message names one.
struct Mensagem {
  std::string_view inicio;
  std::string_view meio;
  Causa causa;
};
constexpr Mensagem kMensagens[] = {
    {"TXQSmartDBF.InternalOpen: Open error \"", "", Causa::kAbertura},
    {"TXQSmartDBF.InternalOpen: File \"", "\" is not DBF file", Causa::kNaoDbf},
    {"TXQSmartDBF.InternalOpen: File \"", "\" is damaged: ", Causa::kDanificado},
    {"TXQSmartDBF.InternalOpen: Read error \"", "", Causa::kDanificado},
    {"TXQSmartDBF.InternalOpen: BufferSize too small!", "", Causa::kRegistroLongo},
    {"TXQNTXIndex.CreateIndex: Create error", "", Causa::kIndiceCriacao},
    {"TXQNTXIndex: Write error", "", Causa::kIndiceGravacao},
    {"TXQNTXIndex: Read error", "", Causa::kIndiceAlterado},
    {"TXQNTXIndex: File \"", "\" is damaged", Causa::kIndiceAlterado},
    {"", ": Field '", Causa::kSemCampo},  // "<component>: Field '<name>' not found"
};

// Which file a sentence speaks of.
struct Papel {
  std::string sujeito;  // "O arquivo de riscos", "O arquivo tabelas.dbf"
  std::string caixa;    // the box it was named in; empty for the program's own files
};

Papel DaCaixa(bool riscos) {
  return riscos ? Papel{"O arquivo de riscos", "“Arquivo de Riscos”"}
                : Papel{"O arquivo de sinistros", "“Arquivo de Sinistros”"};
}

Papel DoPrograma(const std::string& nome) {
  return {"O arquivo " + nome + ", na pasta do programa,", ""};
}

// The role of the file a message names: one of the boxes, or one of the
// program's files, or a file known only by its name.
Papel PapelDoArquivo(const std::string& arquivo, const ContextoErro& c) {
  if (c.params) {
    const RunParameters& p = *c.params;
    const bool risco = arquivo == p.riskPath, sinistro = arquivo == p.claimPath;
    // The same name in both boxes: the table being checked is the one.
    if (risco && sinistro) return DaCaixa(c.tabelaAtual == 1);
    if (risco || sinistro) return DaCaixa(risco);
    for (const ArquivoDaCritica& f : ArquivosDaCritica(p))
      if (f.caminho == arquivo && f.caminho.rfind(p.programFolder, 0) == 0)
        return DoPrograma(f.caminho.substr(p.programFolder.size()));
  }
  return {"O arquivo \"" + arquivo + "\"", ""};
}

// The table component of "<component>: Field '...' not found".
Papel PapelDoComponente(std::string_view componente, const ContextoErro& c) {
  if (componente == "tbDados") return DaCaixa(c.tabelaAtual == 1);
  if (componente == "tbRiscos") return DaCaixa(true);
  if (componente == "tbSinistros") return DaCaixa(false);
  if (componente == "tbDadosOrb") return DoPrograma("DadosOrb.DBF");
  if (componente == "tbAnexos") return DoPrograma("anexos.dbf");
  return DoPrograma("tabelas.dbf");
}

// Why a file the tables could not open was refused, found by looking at it.
Causa CausaDaAbertura(const std::string& arquivo) {
  std::error_code ec;
  const fs::file_status st = fs::status(PathOf(arquivo), ec);
  if (st.type() == fs::file_type::not_found) return Causa::kNaoExiste;
  if (ec) return ec == std::errc::permission_denied ? Causa::kSemPermissao : Causa::kNaoExiste;
  if (fs::is_directory(st)) return Causa::kPasta;
  if (!fs::is_regular_file(st)) return Causa::kNaoComum;
  std::ifstream leitura(PathOf(arquivo), std::ios::binary);
  if (!leitura) return Causa::kSemPermissao;
  // Readable, yet refused: another program holds it.
  return Causa::kEmUso;
}

// Where the index goes, as a sentence names it.
std::string PastaDoIndiceTexto(const ContextoErro& c) {
  if (c.params && PastaDoIndice(c.params->programFolder) != c.params->programFolder)
    return "pasta de cache do usuário";
  return "pasta do programa";
}

// The sentence for a file that failed as `causa` says. `campo`: the field a
// kSemCampo lacks.
std::string Frase(Causa causa, const Papel& papel, const std::string& campo) {
  const std::string& s = papel.sujeito;
  const std::string& caixa = papel.caixa;
  // The program's own files come with it: the remedy is a new copy.
  const std::string reinstale =
      "reinstale o programa ou copie esse arquivo de uma instalação que funcione.";
  switch (causa) {
    case Causa::kNaoExiste:
      return caixa.empty() ? s + " não existe: " + reinstale
                           : s + " não existe: confira a pasta e o nome na caixa " + caixa +
                                 ", ou escolha o arquivo pelo botão ao lado dela.";
    case Causa::kPasta:
      return caixa.empty() ? s + " é uma pasta: " + reinstale
                           : s + " indicado é uma pasta: escolha na caixa " + caixa +
                                 " a tabela .dbf que está dentro dela.";
    case Causa::kNaoComum:
      return s + " não é um arquivo comum (é um dispositivo ou um canal): " +
             (caixa.empty() ? reinstale
                            : "escolha na caixa " + caixa + " a tabela .dbf da entrega.");
    case Causa::kSemPermissao:
      return s +
             " não pode ser lido: você não tem permissão de leitura; peça acesso a ele ou "
             "copie-o para uma pasta sua.";
    case Causa::kEmUso:
      // The delivery's tables are opened only for the run; the program's
      // files are shared with other readers, refused only to a writer.
      return caixa.empty()
                 ? s + " está em uso por outro programa, que o grava: espere que ele termine e "
                       "critique de novo."
                 : s + " está em uso por outro programa, e a crítica precisa dele só para si: "
                       "feche-o nesse programa (uma planilha, outra crítica) e critique de novo.";
    case Causa::kMesmoArquivo:
      return "As duas caixas indicam o mesmo arquivo, e a crítica abre cada tabela só para si: "
             "indique o arquivo de riscos e o de sinistros da entrega, cada um na sua caixa.";
    case Causa::kNaoDbf:
      return caixa.empty() ? s + " não é uma tabela dBASE: " + reinstale
                           : s + " não é uma tabela dBASE: confira se a caixa " + caixa +
                                 " indica o arquivo .dbf da entrega.";
    case Causa::kDanificado:
      return caixa.empty() ? s + " está danificado: " + reinstale
                           : s + " está danificado ou incompleto: gere-o ou copie-o de novo a "
                                 "partir do sistema de origem.";
    case Causa::kRegistroLongo:
      return "Um dos arquivos tem registros de mais de 4096 bytes: não é um arquivo de entrega do "
             "TOLK; confira os arquivos indicados nas duas caixas.";
    case Causa::kSemCampo:
      return caixa.empty() ? s + " não tem o campo " + campo + ": " + reinstale
                           : s + " não tem o campo " + campo +
                                 ", que o dicionário exige: confira se a caixa " + caixa +
                                 " indica mesmo esse arquivo da entrega (os dois arquivos não "
                                 "estão trocados?).";
    case Causa::kIndiceAlterado:
      return "O índice bilhete.ntx foi alterado por outro programa durante a crítica: critique de "
             "novo.";
    case Causa::kAbertura:
    case Causa::kIndiceCriacao:
    case Causa::kIndiceGravacao:
      break;  // told apart before, or told by ExplicaErro, which knows the folder
  }
  return {};
}

// The index could not be created: the folder, and the system's reason that
// the message leaves out.
std::string FraseCriacao(const ContextoErro& c) {
  std::string frase = "Não foi possível criar o índice bilhete.ntx na " + PastaDoIndiceTexto(c);
  if (c.params) frase += " \"" + PastaDoIndice(c.params->programFolder) + "\"";
  if (!c.motivo.empty()) frase += " (" + c.motivo + ")";
  return frase +
         ": a crítica precisa gravar nessa pasta, e o nome bilhete.ntx não pode ser o de um "
         "arquivo da crítica.";
}

// Whether `s` is well-formed UTF-8 (no overlong forms, no surrogates, at
// most U+10FFFF).
bool Utf8Valido(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n;  // the continuation bytes
    if (c < 0x80)
      n = 0;
    else if (c >= 0xC2 && c <= 0xDF)
      n = 1;
    else if (c >= 0xE0 && c <= 0xEF)
      n = 2;
    else if (c >= 0xF0 && c <= 0xF4)
      n = 3;
    else
      return false;
    if (s.size() - i <= n) return false;
    for (std::size_t k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    if (n >= 2) {
      const auto d = static_cast<unsigned char>(s[i + 1]);
      if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) ||
          (c == 0xF4 && d > 0x8F))
        return false;
    }
    i += n + 1;
  }
  return true;
}

}  // namespace

std::string MensagemUtf8(const std::string& message) {
  return Utf8Valido(message) ? message : Cp1252ToUtf8(message);
}

ContextoErro ContextoDe(const std::exception& e, const RunParameters& params,
                        std::int32_t tabelaAtual) {
  ContextoErro c{&params, tabelaAtual, {}};
  if (const auto* x = dynamic_cast<const Exception*>(&e)) c.motivo = x->Reason();
  return c;
}

std::string ExplicaErro(const std::string& message, const ContextoErro& contexto) {
  const std::string_view m = message;
  for (const Mensagem& k : kMensagens) {
    if (m.substr(0, k.inicio.size()) != k.inicio) continue;
    const std::size_t meio = k.meio.empty() ? k.inicio.size() : m.find(k.meio, k.inicio.size());
    if (meio == std::string_view::npos) continue;

    if (k.causa == Causa::kIndiceCriacao) return FraseCriacao(contexto);
    if (k.causa == Causa::kIndiceGravacao)
      return "Não foi possível gravar o índice bilhete.ntx na " + PastaDoIndiceTexto(contexto) +
             ": confira se há espaço livre no disco e critique de novo.";
    if (k.causa == Causa::kSemCampo) {
      // "<component>: Field '<name>' not found"
      const std::size_t nome = meio + k.meio.size();
      const std::size_t fim = m.rfind("' not found");
      if (fim == std::string_view::npos || fim < nome) continue;
      return Frase(k.causa, PapelDoComponente(m.substr(0, meio), contexto),
                   UpperCaseAscii(m.substr(nome, fim - nome)));
    }

    // The quoted file name, where the message has one.
    std::string arquivo;
    if (!k.inicio.empty() && k.inicio.back() == '"') {
      const std::size_t fim = k.meio.empty() ? m.rfind('"') : meio;
      if (fim != std::string_view::npos && fim >= k.inicio.size())
        arquivo = std::string(m.substr(k.inicio.size(), fim - k.inicio.size()));
    }
    Causa causa = k.causa;
    if (causa == Causa::kAbertura) {
      const RunParameters* p = contexto.params;
      const bool umaCaixa = p && (arquivo == p->riskPath || arquivo == p->claimPath);
      std::error_code ec;
      causa = umaCaixa && fs::equivalent(PathOf(p->riskPath), PathOf(p->claimPath), ec)
                  ? Causa::kMesmoArquivo
                  : CausaDaAbertura(arquivo);
    }
    return Frase(causa, PapelDoArquivo(arquivo, contexto), {});
  }
  return {};
}

}  // namespace tolk
