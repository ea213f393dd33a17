// What the window of tolk-zav shows and does around a run, apart from any
// toolkit: its titles, its controls (names, places at the size it was drawn
// for, captions, hints, the edges each one follows), the boxes it shows
// after a run and around the export, and where the help is. The Qt window
// and the Win32 window are views over this; every text is UTF-8.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "app/Critica.h"
#include "app/ocorrencias.h"
#include "app/run_window.h"
#include "app/saidas.h"

namespace tolk {

// The application's title: the task bar and the caption of every message box.
inline constexpr char kTituloAplicacao[] = "TOLK ZAV";
inline constexpr char kTituloJanela[] =
    "VARNE - Sistema de Críticas de Dados do TOLK - AGOSTO 2017";

// --- The controls ------------------------------------------------------------

// The client area the layout was drawn for, and where the window opens. The
// window may grow, never shrink below this size.
inline constexpr int kLarguraJanela = 651;
inline constexpr int kAlturaJanela = 483;
inline constexpr int kEsquerdaJanela = 227;
inline constexpr int kTopoJanela = 132;

struct Retangulo {
  int x = 0, y = 0, largura = 0, altura = 0;
  bool operator==(const Retangulo&) const = default;
};

// The edges of the client area that a control keeps its distance to. Left
// and right together stretch it; right alone moves it.
enum Borda : unsigned {
  kBordaEsquerda = 1,
  kBordaTopo = 2,
  kBordaDireita = 4,
  kBordaBase = 8,
};
inline constexpr unsigned kBordasFixas = kBordaEsquerda | kBordaTopo;

struct ControleJanela {
  const char* nome;
  // At the design size. A label has no size here: it is as large as its text.
  Retangulo lugar;
  unsigned bordas;
  const char* texto;  // the caption, "&" before the access key; "" for none
  const char* dica;   // the hint shown on hover; "" for none
};

// Every control, in the order of the layout.
inline constexpr ControleJanela kControles[] = {
    {"Label3", {4, 4, 0, 0}, kBordasFixas, "Arquivo de Riscos", ""},
    {"edArqRisco", {4, 19, 445, 21}, kBordasFixas, "", "Local e nome do arquivo de riscos"},
    {"SpeedButton4", {455, 19, 22, 22}, kBordasFixas, "", "Defina o arquivo de riscos"},
    {"Label4", {4, 47, 0, 0}, kBordasFixas, "Arquivo de Sinistros", ""},
    {"edArqSinistro", {4, 62, 445, 21}, kBordasFixas, "", "Local e nome do arquivo de sinistros"},
    {"SpeedButton3", {455, 62, 22, 22}, kBordasFixas, "", "Defina o arquivo de sinistros"},
    {"ProgressBar", {494, 4, 13, 88}, kBordasFixas, "", ""},
    {"btnOk", {526, 4, 90, 25}, kBordaTopo | kBordaDireita, "&Criticar", ""},
    {"btnAjuda", {622, 4, 25, 25}, kBordaTopo | kBordaDireita, "", "Ajuda"},
    {"btnExporta",
     {526, 35, 121, 25},
     kBordaTopo | kBordaDireita,
     "Exporta Resultado",
     "Exporta para TXT"},
    {"btnFechar", {526, 67, 121, 25}, kBordaTopo | kBordaDireita, "&Fechar", "Sai do programa"},
    // Between the two path boxes, under the end of the risks box: the only
    // free place of the layout. Enabled after a run that counted findings.
    {"btnOcorrencias",
     {349, 41, 100, 20},
     kBordasFixas,
     "&Ocorrências",
     "Mostra os valores recusados na última crítica"},
    {"edLog",
     {4, 99, 642, 380},
     kBordaEsquerda | kBordaTopo | kBordaDireita | kBordaBase,
     "",
     "Resultado do teste"},
};

// The controls that take the focus, in the order Tab walks them (the
// pickers take none).
inline constexpr const char* kOrdemTab[] = {"edArqRisco",     "edArqSinistro", "btnOk",
                                            "btnFechar",      "edLog",         "btnExporta",
                                            "btnOcorrencias", "btnAjuda"};

// The control named `nome`, which must be one of kControles.
const ControleJanela& Controle(std::string_view nome);

// Where `controle` goes in a client area of `largura` x `altura` (at least
// the design size): as far from the edges it follows as at the design size.
Retangulo Ancorado(const ControleJanela& controle, int largura, int altura);

// --- Boxes -------------------------------------------------------------------

// A message box of the window: the caption is kTituloAplicacao, the only
// button OK (a question: Yes and No). The detail goes below the text.
struct Aviso {
  enum Icone { kNenhum, kInformacao, kErro, kPergunta };
  Icone icone = kNenhum;
  std::string texto;  // empty: no box at all
  std::string detalhe;
};

// The error box of a run that the exception `e` ended: what happened and
// what to do, in Portuguese, with the message as raised below it; the
// message alone when no sentence fits it.
Aviso AvisoDeErro(const std::exception& e, const RunParameters& params, std::int32_t tabelaAtual);

// The box that ends a run: the run's text (Windows-1252) and, when each file
// seemed to be in the other's box, the sentence that says so.
Aviso AvisoFinal(const std::string& texto, const EstadoCritica& estado);

// --- The export --------------------------------------------------------------

inline constexpr char kTituloExportacao[] = "Exporta resultado ZAV";
inline constexpr char kExtensaoExportacao[] = "txt";

// `caminho` is the chosen name as the window shows it (native separators).
// The refusal of a name that is one of the run's files (SaidaProibida):
// nothing is written, and the user picks another name.
Aviso RecusaExportacao(const std::string& caminho, const ArquivoDaCritica& arquivo);
// The question before an existing file is replaced, for a dialog that does
// not ask it itself.
Aviso PerguntaSubstituicao(const std::string& caminho);
// The file could not be written; `motivo` is the system's reason.
Aviso FalhaGravacao(const std::string& caminho, const std::string& motivo);
// What follows handing the saved file to the desktop, which answered
// `codigo`: nothing when it opened; where the file is when no program opens
// its type (the desktop's own message reads like a failed export); the
// desktop's message otherwise.
Aviso AvisoExportado(int codigo, const std::string& caminho);

// --- The findings' view ------------------------------------------------------

// A window of its own beside the main one, over the findings of the last
// run (app/ocorrencias.h): the filters on top, the rows, the record of the
// selected row below them.
inline constexpr char kTituloOcorrencias[] = "Ocorrências";
inline constexpr int kLarguraOcorrencias = 760;
inline constexpr int kAlturaOcorrencias = 560;
// The column titles, in the order of Coluna.
inline constexpr const char* kColunasOcorrencias[] = {"Tabela", "Registro", "Campo",
                                                      "Regra",  "Valor",    "Qualificador"};
// The filters' labels; the first choice of each list takes any value.
inline constexpr char kRotuloTabela[] = "&Tabela:";
inline constexpr char kRotuloCampo[] = "C&ampo:";
inline constexpr char kRotuloRegra[] = "&Regra:";
inline constexpr char kRotuloProcura[] = "&Procurar:";
inline constexpr char kQualquerTabela[] = "(todas)";
inline constexpr char kQualquerCampo[] = "(todos)";
inline constexpr char kQualquerRegra[] = "(todas)";
// A choice of a list: "BILHETE (7)". The name is Windows-1252 as the run has it.
std::string TextoEscolha(const Escolha& escolha);
// "7 de 1.234 ocorrências": the counts with the regional thousands separator.
std::string TextoContagem(std::size_t vistas, std::size_t total, const TFormatSettings& fs);
// The title of the record pane: "Registro 12 de riscos.dbf" (the file's name alone).
std::string TituloRegistro(std::size_t indice, const Ocorrencias& store);
// The rows' context menu: the selected rows as CSV, as Ctrl+C copies them.
inline constexpr char kCopiarOcorrencias[] = "&Copiar";
inline constexpr char kBotaoExportaOcorrencias[] = "&Exporta Ocorrências";
inline constexpr char kDicaExportaOcorrencias[] =
    "Grava todas as ocorrências em CSV, como tolk-critica --detalhes";
inline constexpr char kTituloExportacaoOcorrencias[] = "Exporta Ocorrências";
inline constexpr char kExtensaoOcorrencias[] = "csv";
// The record could not be read again (moved, changed, locked): the pane says
// so instead of the fields, with the system's message.
std::string RegistroIlegivel(const std::exception& e);

// --- The desktop and the help ------------------------------------------------

// The desktop's answer to a request to open a document: 0 to 32 are
// failures, anything above is success.
inline constexpr int kArquivoNaoEncontrado = 2;  // the file does not exist
inline constexpr int kCaminhoNaoEncontrado = 3;  // its folder does not exist
inline constexpr int kSemAssociacao = 31;        // no program opens its type
inline constexpr int kDocumentoAberto = 42;      // any value above 32 means success
inline constexpr bool Aberto(int codigo) { return codigo > 32; }

// The desktop's message for a failure code, in its own English wording;
// empty for success and for the failure codes that have none.
std::string MensagemAbertura(int codigo);

// The help file, in the program folder.
inline constexpr char kArquivoAjuda[] = "ZAVTolk.chm";
// The same pages in HTML: ajuda/index.htm in the program folder `pasta`
// (which ends with its separator), written with that separator.
std::string PaginasAjuda(const std::string& pasta);

// Opens the help of the program folder `pasta`: the help file where the
// desktop opens it, otherwise the pages in HTML in the browser. `abre` hands
// a file to the desktop and returns its answer. The box to show is the help
// file's failure, when neither opened, with where the pages are when they
// are there; no box when the failure has no message.
Aviso AbreAjuda(const std::string& pasta, const std::function<int(const std::string&)>& abre);

}  // namespace tolk
