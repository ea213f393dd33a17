#include "app/janela.h"

#include <cassert>
#include <filesystem>
#include <system_error>

#include "app/explicacoes.h"
#include "dataset/cp1252.h"
#include "dataset/number_format.h"
#include "platform/system.h"

namespace tolk {

namespace {

// Every failure code that has a message. Codes 2, 3 and 31 are the ones a
// desktop other than Windows is made to give; the rest complete the table
// of the Windows shell's answers.
struct MensagemCodigo {
  int codigo;
  const char* texto;
};
constexpr MensagemCodigo kMensagens[] = {
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "Windows 95 only: The operating system denied access to the specified file."},
    {8, "Windows 95 only: There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred."},
    {27, "The filename association is incomplete or invalid."},
    {28, "The DDE transaction could not be completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30,
     "The DDE transaction could not be completed because other DDE transactions were being "
     "processed."},
    {31, "There is no application associated with the given filename extension."},
    {32, "Windows 95 only: The specified dynamic-link library was not found."},
};

std::string Aspas(const std::string& caminho) { return "\"" + caminho + "\""; }

}  // namespace

const ControleJanela& Controle(std::string_view nome) {
  for (const ControleJanela& c : kControles)
    if (nome == c.nome) return c;
  assert(false && "a control the layout does not have");
  return kControles[0];
}

Retangulo Ancorado(const ControleJanela& controle, int largura, int altura) {
  const int dx = largura - kLarguraJanela;
  const int dy = altura - kAlturaJanela;
  Retangulo r = controle.lugar;
  if (controle.bordas & kBordaDireita) {
    if (controle.bordas & kBordaEsquerda)
      r.largura += dx;
    else
      r.x += dx;
  }
  if (controle.bordas & kBordaBase) {
    if (controle.bordas & kBordaTopo)
      r.altura += dy;
    else
      r.y += dy;
  }
  return r;
}

Aviso AvisoDeErro(const std::exception& e, const RunParameters& params, std::int32_t tabelaAtual) {
  std::string frase = ExplicaErro(e.what(), ContextoDe(e, params, tabelaAtual));
  if (frase.empty()) return {Aviso::kErro, MensagemUtf8(e.what()), {}};
  return {Aviso::kErro, std::move(frase), MensagemUtf8(e.what())};
}

Aviso AvisoFinal(const std::string& texto, const EstadoCritica& estado) {
  return {Aviso::kNenhum, Cp1252ToUtf8(texto), estado.caixasTrocadas ? kCaixasTrocadas : ""};
}

Aviso RecusaExportacao(const std::string& caminho, const ArquivoDaCritica& arquivo) {
  return {
      Aviso::kErro,
      Aspas(caminho) + " é " + arquivo.papel + ": o resultado não foi gravado. Escolha outro nome.",
      {}};
}

Aviso PerguntaSubstituicao(const std::string& caminho) {
  return {Aviso::kPergunta, Aspas(caminho) + " já existe. Deseja substituí-lo?", {}};
}

Aviso FalhaGravacao(const std::string& caminho, const std::string& motivo) {
  return {Aviso::kErro, "Não foi possível gravar " + Aspas(caminho) + ": " + motivo, {}};
}

Aviso AvisoExportado(int codigo, const std::string& caminho) {
  if (codigo == kSemAssociacao)
    return {Aviso::kInformacao,
            "O resultado foi gravado em " + Aspas(caminho) + ", mas nenhum programa pôde abri-lo.",
            {}};
  return {Aviso::kNenhum, MensagemAbertura(codigo), {}};
}

std::string MensagemAbertura(int codigo) {
  for (const MensagemCodigo& m : kMensagens)
    if (m.codigo == codigo) return m.texto;
  return {};
}

std::string PaginasAjuda(const std::string& pasta) {
  const char separador = !pasta.empty() && pasta.back() == '\\' ? '\\' : '/';
  return pasta + "ajuda" + separador + "index.htm";
}

Aviso AbreAjuda(const std::string& pasta, const std::function<int(const std::string&)>& abre) {
  // Only when neither opens does the help file's failure show.
  const int codigo = abre(pasta + kArquivoAjuda);
  if (Aberto(codigo)) return {};
  const std::string html = PaginasAjuda(pasta);
  std::error_code ec;
  const bool paginas = std::filesystem::is_regular_file(PathOf(html), ec);
  if (paginas && Aberto(abre(html))) return {};
  Aviso aviso{Aviso::kNenhum, MensagemAbertura(codigo), {}};
  if (!aviso.texto.empty() && paginas)
    aviso.detalhe = "A ajuda está também em " + Aspas(html) + ": abra esse arquivo num navegador.";
  return aviso;
}

// ---- The findings' view ------------------------------------------------------------

std::string TextoEscolha(const Escolha& escolha) {
  return Cp1252ToUtf8(escolha.nome) + " (" + std::to_string(escolha.quantidade) + ")";
}

std::string TextoContagem(std::size_t vistas, std::size_t total, const TFormatSettings& fs) {
  // The separator is Windows-1252, as the regional settings hold it (a
  // no-break space in some regions); the text is UTF-8.
  auto agrupa = [&fs](std::size_t n) {
    return Cp1252ToUtf8(
        FormatFixed(static_cast<double>(n), 0, fs.DecimalSeparator, fs.ThousandSeparator));
  };
  return agrupa(vistas) + " de " + agrupa(total) + (total == 1 ? " ocorrência" : " ocorrências");
}

std::string TituloRegistro(std::size_t indice, const Ocorrencias& store) {
  // Paths are UTF-8 on both systems, as the boxes hand them to the run.
  const std::string arquivo(store.Arquivo(indice));
  const std::size_t barra = arquivo.find_last_of("/\\");
  return "Registro " + std::to_string(store.Registro(indice)) + " de " +
         (barra == std::string::npos ? arquivo : arquivo.substr(barra + 1));
}

std::string RegistroIlegivel(const std::exception& e) {
  return "Não foi possível ler o registro de novo: " + Cp1252ToUtf8(e.what());
}

}  // namespace tolk
