// The Windows window in-process: its controls, a run over the sample delivery
// against the terminal front's log of it, a run ended by an error, the
// export with its refusals and question, the pickers and the help, and the
// findings' view against the terminal front's --detalhes. The
// test's Desktop answers every box and dialog at once and launches nothing.
// File names carry accented letters throughout: they go from the boxes'
// UTF-16 to the run as UTF-8 and back to the system.
#include "win32/TfrmInicio.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>

#include "app/explicacoes.h"
#include "dataset/cp1252.h"
#include "dataset/number_format.h"
#include "platform/system.h"
#include "test_support.h"
#include "win32/recursos.h"

// Places compare and print as left, top, width x height.
static bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }
static std::ostream& operator<<(std::ostream& os, const RECT& r) {
  return os << r.left << "," << r.top << " " << r.right - r.left << "x" << r.bottom - r.top;
}

namespace tolk {
namespace {

namespace fs = std::filesystem;

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

std::string Ler(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Gravar(const std::string& path, const std::string& bytes) {
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

// The lines of `text` between the separators `fim`; an empty text has none.
std::vector<std::string> Linhas(const std::string& text, const std::string& fim) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(fim, start)) != std::string::npos;
       start = end + fim.size())
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

std::wstring Texto(HWND control) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The texts of row `linha` of a list view, its columns joined by ';'.
std::string LinhaDaLista(HWND lista, int linha, int colunas) {
  std::string s;
  for (int c = 0; c < colunas; ++c) {
    wchar_t texto[256] = {};
    ListView_GetItemText(lista, linha, c, texto, 256);
    s += (c ? ";" : "") + Utf8(texto);
  }
  return s;
}

std::vector<std::string> ItensDaCaixa(HWND caixa) {
  std::vector<std::string> itens;
  const auto n = SendMessageW(caixa, CB_GETCOUNT, 0, 0);
  for (LRESULT k = 0; k < n; ++k) {
    std::wstring texto(static_cast<std::size_t>(SendMessageW(caixa, CB_GETLBTEXTLEN, k, 0)), L'\0');
    SendMessageW(caixa, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(texto.data()));
    itens.push_back(Utf8(texto));
  }
  return itens;
}

// What a person's double-click on line `linha` of an edit sends it; then the
// messages it posted.
void DuploClique(HWND edit, int linha) {
  const auto inicio = SendMessageW(edit, EM_LINEINDEX, static_cast<WPARAM>(linha), 0);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(inicio), inicio);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  const auto onde = SendMessageW(edit, EM_POSFROMCHAR, static_cast<WPARAM>(inicio + 2), 0);
  const LPARAM ponto = MAKELPARAM(LOWORD(onde) + 1, HIWORD(onde) + 3);
  for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    SendMessageW(edit, m, m == WM_LBUTTONUP ? 0 : MK_LBUTTON, ponto);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// 08/12/2026 16:40:35, the instant of the committed log of the sample.
double Relogio(void*) { return EncodeDate(2026, 12, 8) + (16 * 3600 + 40 * 60 + 35) / 86400.0; }

TFormatSettings Brasil() {
  TFormatSettings fs;
  fs.ThousandSeparator = '.';
  fs.DecimalSeparator = ',';
  fs.ShortDateFormat = "dd/MM/yyyy";
  fs.LongTimeFormat = "HH:mm:ss";
  return fs;
}

// Answers at once: every box is recorded (a question gets `resposta`), each
// file dialog confirms the next of `escolhas` or is cancelled when none is
// left, and the shell opens any file that exists, except names ending in
// `semPrograma`.
class DesktopDeTeste : public Desktop {
 public:
  std::vector<Aviso> avisos;
  bool resposta = false;
  std::deque<std::string> escolhas;
  std::vector<PedidoArquivo> pedidos;
  std::vector<std::string> abertos;
  std::string semPrograma;

  bool Caixa(HWND dono, const Aviso& aviso) override {
    EXPECT_TRUE(IsWindow(dono));
    avisos.push_back(aviso);
    return aviso.icone != Aviso::kPergunta || resposta;
  }
  std::optional<std::wstring> EscolheArquivo(HWND dono, const PedidoArquivo& pedido) override {
    EXPECT_TRUE(IsWindow(dono));
    pedidos.push_back(pedido);
    if (escolhas.empty()) return std::nullopt;
    const std::wstring escolhido = Utf16(escolhas.front());
    escolhas.pop_front();
    return escolhido;
  }
  int AbreDocumento(HWND, const std::wstring& caminho) override {
    const std::string nome = Utf8(caminho);
    abertos.push_back(nome);
    std::error_code ec;
    if (!fs::exists(caminho, ec)) return kArquivoNaoEncontrado;
    if (!semPrograma.empty() && nome.ends_with(semPrograma)) return kSemAssociacao;
    return kDocumentoAberto;
  }
};

// Records, at every paint of a control, what `amostra` returns then.
struct Sonda {
  std::function<int()> amostra;
  std::vector<int> vistos;

  static LRESULT CALLBACK Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                       DWORD_PTR dados) {
    if (msg == WM_PAINT) {
      auto* sonda = reinterpret_cast<Sonda*>(dados);
      sonda->vistos.push_back(sonda->amostra());
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
  Sonda(HWND control, std::function<int()> f) : amostra(std::move(f)), control_(control) {
    SetWindowSubclass(control_, &Procedimento, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~Sonda() { RemoveWindowSubclass(control_, &Procedimento, 1); }
  bool Viu(int valor) const {
    return std::find(vistos.begin(), vistos.end(), valor) != vistos.end();
  }

 private:
  HWND control_;
};

void ExpectAviso(const Aviso& aviso, Aviso::Icone icone, const std::string& texto,
                 const std::string& detalhe = "") {
  EXPECT_EQ(aviso.icone, icone) << aviso.texto;
  EXPECT_EQ(aviso.texto, texto);
  EXPECT_EQ(aviso.detalhe, detalhe);
}

class JanelaWin32Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controles{sizeof controles,
                                   ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controles);
  }

  void SetUp() override {
    // The program folder and the delivery, both under names with accents.
    base_ = Utf8(PathOf(tmp_.path()).make_preferred().wstring()) + "\\";
    pasta_ = base_ + "programa ç\\";
    entrega_ = base_ + "entrega ã\\";
    fs::create_directory(PathOf(pasta_));
    fs::create_directory(PathOf(entrega_));
    const std::string bin = Env("TOLK_BIN_DIR", TOLK_BIN_DIR_DEFAULT) + "/";
    for (const char* name : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"})
      fs::copy_file(PathOf(bin + name), PathOf(pasta_ + name));
    const std::string amostra = Env("TOLK_SAMPLES_DIR", TOLK_SAMPLES_DIR_DEFAULT) + "/";
    riscos_ = entrega_ + "riscos ção.dbf";
    sinistros_ = entrega_ + "sinistros ção.dbf";
    fs::copy_file(PathOf(amostra + "riscos.dbf"), PathOf(riscos_));
    fs::copy_file(PathOf(amostra + "sinistros.dbf"), PathOf(sinistros_));

    w_ = std::make_unique<TfrmInicio>();
    w_->desktop = &desktop_;
    w_->pastaPrograma = pasta_;
    w_->regional = Brasil();
    w_->relogio = &Relogio;
    ShowWindow(w_->frmInicio(), SW_SHOWNOACTIVATE);
    UpdateWindow(w_->frmInicio());
  }

  void Escreve(HWND box, const std::string& utf8) { SetWindowTextW(box, Utf16(utf8).c_str()); }
  void Clica(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
  bool Tecla(HWND control, WPARAM key) {
    MSG msg{control, WM_KEYDOWN, key, 0, 0, {}};
    return w_->TrataTecla(msg);
  }
  // A place of the layout at the window's DPI.
  RECT Lugar(int x, int y, int largura, int altura) const {
    const int dpi = static_cast<int>(GetDpiForWindow(w_->frmInicio()));
    return {MulDiv(x, dpi, 96), MulDiv(y, dpi, 96), MulDiv(x + largura, dpi, 96),
            MulDiv(y + altura, dpi, 96)};
  }
  RECT Onde(HWND control) const {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, w_->frmInicio(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  // The log as edLog shows it, one string per line.
  std::vector<std::string> LogMostrado() const { return Linhas(Utf8(Texto(w_->edLog)), "\r\n"); }
  int Posicao() const { return static_cast<int>(SendMessageW(w_->ProgressBar, PBM_GETPOS, 0, 0)); }

  testing::TempDir tmp_;
  std::string base_, pasta_, entrega_, riscos_, sinistros_;
  DesktopDeTeste desktop_;
  std::unique_ptr<TfrmInicio> w_;
};

// --- The layout ----------------------------------------------------------------

TEST_F(JanelaWin32Test, ControlesNoLugar) {
  HWND frm = w_->frmInicio();
  wchar_t classe[64];
  GetClassNameW(frm, classe, 64);
  EXPECT_STREQ(classe, L"TfrmInicio");
  EXPECT_EQ(Texto(frm), L"VARNE - Sistema de Críticas de Dados do TOLK - AGOSTO 2017");
  RECT r;
  GetClientRect(frm, &r);
  EXPECT_EQ(r, Lugar(0, 0, 651, 483));
  GetWindowRect(frm, &r);
  EXPECT_EQ(r.left, 227);
  EXPECT_EQ(r.top, 132);
  const auto estilo = GetWindowLongPtrW(frm, GWL_STYLE);
  EXPECT_TRUE((estilo & WS_THICKFRAME) && (estilo & WS_MAXIMIZEBOX));
  EXPECT_TRUE(GetClassLongPtrW(frm, GCLP_HICON) && GetClassLongPtrW(frm, GCLP_HICONSM));

  struct Esperado {
    const char* nome;
    const wchar_t* classe;
    RECT lugar;  // a label: only where it starts, and it ends above its box
    const wchar_t* texto;
    const wchar_t* dica;
  };
  const Esperado controles[] = {
      {"Label3", L"Static", Lugar(4, 4, 0, 0), L"Arquivo de Riscos", L""},
      {"edArqRisco", L"Edit", Lugar(4, 19, 445, 21), L"", L"Local e nome do arquivo de riscos"},
      {"SpeedButton4", L"Button", Lugar(455, 19, 22, 22), L"", L"Defina o arquivo de riscos"},
      {"Label4", L"Static", Lugar(4, 47, 0, 0), L"Arquivo de Sinistros", L""},
      {"edArqSinistro", L"Edit", Lugar(4, 62, 445, 21), L"",
       L"Local e nome do arquivo de sinistros"},
      {"SpeedButton3", L"Button", Lugar(455, 62, 22, 22), L"", L"Defina o arquivo de sinistros"},
      {"ProgressBar", L"msctls_progress32", Lugar(494, 4, 13, 88), L"", L""},
      {"btnOk", L"Button", Lugar(526, 4, 90, 25), L"&Criticar", L""},
      {"btnAjuda", L"Button", Lugar(622, 4, 25, 25), L"", L"Ajuda"},
      {"btnExporta", L"Button", Lugar(526, 35, 121, 25), L"Exporta Resultado", L"Exporta para TXT"},
      {"btnFechar", L"Button", Lugar(526, 67, 121, 25), L"&Fechar", L"Sai do programa"},
      {"btnOcorrencias", L"Button", Lugar(349, 41, 100, 20), L"&Ocorrências",
       L"Mostra os valores recusados na última crítica"},
      {"edLog", L"Edit", Lugar(4, 99, 642, 380), L"", L"Resultado do teste"},
  };
  for (const Esperado& e : controles) {
    SCOPED_TRACE(e.nome);
    HWND c = w_->Filho(e.nome);
    ASSERT_TRUE(c && GetParent(c) == frm);
    GetClassNameW(c, classe, 64);
    EXPECT_STREQ(classe, e.classe);
    if (e.lugar.right == e.lugar.left) {
      const RECT onde = Onde(c);
      EXPECT_EQ(onde.left, e.lugar.left);
      EXPECT_EQ(onde.top, e.lugar.top);
      EXPECT_LE(onde.bottom, Onde(c == w_->Label3 ? w_->edArqRisco : w_->edArqSinistro).top);
    } else {
      EXPECT_EQ(Onde(c), e.lugar);
    }
    EXPECT_EQ(Texto(c), e.texto);
    wchar_t dica[128] = {};
    TTTOOLINFOW ferramenta{};
    ferramenta.cbSize = sizeof ferramenta;
    ferramenta.hwnd = frm;
    ferramenta.uId = reinterpret_cast<UINT_PTR>(c);
    ferramenta.lpszText = dica;
    SendMessageW(w_->Dicas, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&ferramenta));
    EXPECT_STREQ(dica, e.dica);
    if (std::wstring(e.classe) == L"Button") {
      EXPECT_TRUE(SendMessageW(c, BM_GETIMAGE, IMAGE_ICON, 0)) << "a glyph";
    }
  }

  // The bar stands up and runs from 0 to 100; the log is read-only, never
  // wraps, scrolls both ways and takes any length.
  EXPECT_TRUE(GetWindowLongPtrW(w_->ProgressBar, GWL_STYLE) & PBS_VERTICAL);
  PBRANGE range{};
  SendMessageW(w_->ProgressBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  const auto log = GetWindowLongPtrW(w_->edLog, GWL_STYLE);
  for (LONG_PTR bit : {ES_MULTILINE, ES_READONLY, ES_AUTOHSCROLL, WS_HSCROLL, WS_VSCROLL})
    EXPECT_EQ(log & bit, bit);
  EXPECT_GE(static_cast<std::size_t>(SendMessageW(w_->edLog, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEu);
  EXPECT_EQ(GetDlgCtrlID(w_->btnOk), IDOK);
  EXPECT_FALSE(IsWindowEnabled(w_->btnOcorrencias)) << "no run, no findings";
  EXPECT_EQ(GetWindowLongPtrW(w_->btnOk, GWL_STYLE) & BS_DEFPUSHBUTTON, BS_DEFPUSHBUTTON);

  // 8 points: the window's face by name; in the log every character as wide
  // as any other, whichever face stands in for the one named.
  LOGFONTW fonte{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w_->edArqRisco, WM_GETFONT, 0, 0)), sizeof fonte,
             &fonte);
  EXPECT_STREQ(fonte.lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(fonte.lfHeight, -MulDiv(8, static_cast<int>(GetDpiForWindow(frm)), 72));
  HDC dc = GetDC(w_->edLog);
  SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(w_->edLog, WM_GETFONT, 0, 0)));
  SIZE estreito, largo;
  GetTextExtentPoint32W(dc, L"iiiii", 5, &estreito);
  GetTextExtentPoint32W(dc, L"WW.%W", 5, &largo);
  TEXTMETRICW metricas;
  GetTextMetricsW(dc, &metricas);
  ReleaseDC(w_->edLog, dc);
  EXPECT_EQ(estreito.cx, largo.cx);
  EXPECT_EQ(metricas.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "the bit means variable pitch";

  // Tab walks the controls in their order and comes back to the first; the
  // pickers take no focus.
  HWND c = w_->edArqRisco;
  for (const char* next :
       {"edArqSinistro", "btnOk", "btnFechar", "edLog", "btnExporta", "btnAjuda", "edArqRisco"}) {
    c = GetNextDlgTabItem(frm, c, FALSE);
    EXPECT_EQ(c, w_->Filho(next)) << next;
  }

  // Resized: the buttons keep to the right edge, the log grows both ways,
  // the rest stays; never smaller than drawn.
  RECT maior = Lugar(0, 0, 751, 533);
  AdjustWindowRectExForDpi(&maior, static_cast<DWORD>(estilo), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(frm, GWL_EXSTYLE)),
                           GetDpiForWindow(frm));
  SetWindowPos(frm, nullptr, 0, 0, maior.right - maior.left, maior.bottom - maior.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(Onde(w_->btnOk), Lugar(626, 4, 90, 25));
  EXPECT_EQ(Onde(w_->btnAjuda), Lugar(722, 4, 25, 25));
  EXPECT_EQ(Onde(w_->btnExporta), Lugar(626, 35, 121, 25));
  EXPECT_EQ(Onde(w_->btnFechar), Lugar(626, 67, 121, 25));
  EXPECT_EQ(Onde(w_->edLog), Lugar(4, 99, 742, 430));
  EXPECT_EQ(Onde(w_->edArqRisco), Lugar(4, 19, 445, 21));
  EXPECT_EQ(Onde(w_->ProgressBar), Lugar(494, 4, 13, 88));
  MINMAXINFO limites{};
  SendMessageW(frm, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limites));
  RECT desenho = Lugar(0, 0, 651, 483);
  AdjustWindowRectExForDpi(&desenho, static_cast<DWORD>(estilo), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(frm, GWL_EXSTYLE)),
                           GetDpiForWindow(frm));
  EXPECT_EQ(limites.ptMinTrackSize.x, desenho.right - desenho.left);
  EXPECT_EQ(limites.ptMinTrackSize.y, desenho.bottom - desenho.top);

  // Fechar closes the window.
  Clica(w_->btnFechar);
  EXPECT_FALSE(IsWindow(frm));
  EXPECT_EQ(w_->frmInicio(), nullptr);
}

// --- The run -------------------------------------------------------------------

TEST_F(JanelaWin32Test, CriticaComoNoTerminal) {
  // tolk-critica's log of the sample delivery at the same instant, pt_BR.
  const std::string esperado = Ler(Env("TOLK_SOURCE_DIR", TOLK_SOURCE_DIR_DEFAULT) +
                                   "/tests/cli/expected/amostra_pt_BR.txt");
  // Every line ends with a line feed: the last one is no separator.
  const std::vector<std::string> terminal = Linhas(esperado.substr(0, esperado.size() - 1), "\n");
  ASSERT_GT(terminal.size(), 40u);

  Escreve(w_->edArqRisco, riscos_);
  Escreve(w_->edArqSinistro, sinistros_);
  Sonda barra(w_->ProgressBar, [&] { return Posicao(); });
  Sonda log(w_->edLog, [&] { return static_cast<int>(w_->Linhas().size()); });
  Clica(w_->btnOk);

  ASSERT_EQ(desktop_.avisos.size(), 1u);
  ExpectAviso(desktop_.avisos[0], Aviso::kNenhum, "Crítica finalizada.");
  std::vector<std::string> linhas;
  for (const std::string& l : w_->Linhas()) linhas.push_back(Cp1252ToUtf8(l));
  EXPECT_EQ(linhas, terminal);
  EXPECT_EQ(LogMostrado(), terminal);
  EXPECT_EQ(Posicao(), 0);
  // The bar and the log were painted while the run was reading, not only
  // when it ended.
  EXPECT_TRUE(barra.Viu(25));
  EXPECT_TRUE(barra.Viu(50));
  const int total = static_cast<int>(terminal.size());
  EXPECT_TRUE(
      std::any_of(log.vistos.begin(), log.vistos.end(), [&](int n) { return n > 0 && n < total; }));

  // The export of the whole log: Windows-1252, CR LF after every line; then
  // the file is opened.
  const std::string arquivo = base_ + "resultado é.txt";
  desktop_.escolhas = {arquivo};
  Clica(w_->btnExporta);
  const std::string bytes = Ler(arquivo);
  EXPECT_EQ(bytes, TextoExportado(w_->Linhas()));
  EXPECT_EQ(bytes.rfind("In\xED"
                        "cio do processamento: 08/12/2026 16:40:35\r\n\r\n",
                        0),
            0u);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), total);
  EXPECT_EQ(Linhas(bytes, "\r\n").size(), terminal.size() + 1) << "after the last line too";
  EXPECT_EQ(desktop_.abertos, std::vector<std::string>{arquivo});
  ASSERT_EQ(desktop_.pedidos.size(), 1u);
  EXPECT_TRUE(desktop_.pedidos[0].salvar);
  EXPECT_EQ(desktop_.pedidos[0].titulo, L"Exporta resultado ZAV");
  EXPECT_EQ(desktop_.pedidos[0].extensao, L"txt");
  EXPECT_EQ(desktop_.avisos.size(), 1u);

  // Enter in a box runs again; nothing carries over from the first run. In
  // the log Enter does nothing.
  EXPECT_TRUE(Tecla(w_->edArqSinistro, VK_RETURN));
  ASSERT_EQ(desktop_.avisos.size(), 2u);
  ExpectAviso(desktop_.avisos[1], Aviso::kNenhum, "Crítica finalizada.");
  EXPECT_EQ(LogMostrado(), terminal);
  EXPECT_TRUE(Tecla(w_->edLog, VK_RETURN));
  EXPECT_EQ(desktop_.avisos.size(), 2u);
  // Nor does it keep Tab: the focus moves on.
  SetFocus(w_->edLog);
  EXPECT_TRUE(Tecla(w_->edLog, VK_TAB));
  EXPECT_EQ(GetFocus(), w_->btnExporta);
}

TEST_F(JanelaWin32Test, ErroEncerraCritica) {
  const std::string falta = entrega_ + "sem sinistros ç.dbf";
  Escreve(w_->edArqRisco, riscos_);
  Escreve(w_->edArqSinistro, falta);
  Clica(w_->btnOk);
  // The error box alone, no final box: what happened in Portuguese, the
  // message as raised below it. The log and the bar stay where the claims
  // table failed to open.
  ASSERT_EQ(desktop_.avisos.size(), 1u);
  const Aviso& erro = desktop_.avisos[0];
  EXPECT_EQ(erro.icone, Aviso::kErro);
  EXPECT_EQ(erro.texto.rfind("O arquivo de sinistros não existe", 0), 0u) << erro.texto;
  EXPECT_EQ(erro.detalhe, "TXQSmartDBF.InternalOpen: Open error \"" + falta + "\"");
  const std::vector<std::string> log = LogMostrado();
  EXPECT_GT(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.rfind("RISCOS", 0) == 0; }),
            5);
  EXPECT_EQ(log.size(), w_->Linhas().size());
  EXPECT_EQ(Posicao(), 25);

  // Each file in the other's box: the run ends as always, and its final box
  // says what seems to have happened.
  Escreve(w_->edArqRisco, sinistros_);
  Escreve(w_->edArqSinistro, riscos_);
  Clica(w_->btnOk);
  ASSERT_EQ(desktop_.avisos.size(), 2u);
  ExpectAviso(desktop_.avisos[1], Aviso::kNenhum, "Crítica finalizada.", kCaixasTrocadas);
}

// --- Export, pickers, help -----------------------------------------------------

// The export never replaces a file of the run, by any of its names: the
// refusal comes before any question, the dialog opens again for another
// name, and every file stays as it was.
TEST_F(JanelaWin32Test, ExportacaoRecusaPerguntaEGrava) {
  Gravar(pasta_ + "bilhete.ntx", std::string(1024, 'x'));
  Escreve(w_->edArqRisco, riscos_);
  Escreve(w_->edArqSinistro, sinistros_);
  const std::pair<std::string, std::string> recusados[] = {
      {riscos_, "o arquivo de riscos"},
      {entrega_ + "SINISTROS ÇÃO.DBF", "o arquivo de sinistros"},
      {entrega_ + "..\\entrega ã\\.\\riscos ção.dbf", "o arquivo de riscos"},
      {pasta_ + "tabelas.dbf", "tabelas.dbf da pasta do programa"},
      {pasta_ + "anexos.dbf", "anexos.dbf da pasta do programa"},
      {pasta_ + "DadosOrb.DBF", "DadosOrb.DBF da pasta do programa"},
      {pasta_ + "bilhete.ntx", "bilhete.ntx da pasta do programa"},
  };
  std::vector<std::string> antes;
  const std::string arquivos[] = {riscos_,
                                  sinistros_,
                                  pasta_ + "tabelas.dbf",
                                  pasta_ + "anexos.dbf",
                                  pasta_ + "DadosOrb.DBF",
                                  pasta_ + "bilhete.ntx"};
  for (const std::string& f : arquivos) antes.push_back(Ler(f));
  desktop_.resposta = true;  // a question would be answered: none may come
  for (const auto& [nome, papel] : recusados) {
    SCOPED_TRACE(nome);
    desktop_.avisos.clear();
    desktop_.pedidos.clear();
    desktop_.escolhas = {nome};
    Clica(w_->btnExporta);
    ASSERT_EQ(desktop_.avisos.size(), 1u);
    ExpectAviso(
        desktop_.avisos[0], Aviso::kErro,
        "\"" + nome + "\" é " + papel + ": o resultado não foi gravado. Escolha outro nome.");
    EXPECT_EQ(desktop_.pedidos.size(), 2u) << "the dialog again, then cancelled";
  }
  EXPECT_TRUE(desktop_.abertos.empty());
  for (std::size_t i = 0; i < std::size(arquivos); ++i)
    EXPECT_EQ(Ler(arquivos[i]), antes[i]) << arquivos[i];

  // An existing file: asked first. No goes back to the dialog, Yes replaces
  // it (an empty log: an empty file) and opens it.
  const std::string anterior = base_ + "anterior ç.txt";
  Gravar(anterior, "um arquivo anterior\r\n");
  desktop_.avisos.clear();
  desktop_.pedidos.clear();
  desktop_.resposta = false;
  desktop_.escolhas = {anterior};
  Clica(w_->btnExporta);
  ASSERT_EQ(desktop_.avisos.size(), 1u);
  ExpectAviso(desktop_.avisos[0], Aviso::kPergunta,
              "\"" + anterior + "\" já existe. Deseja substituí-lo?");
  EXPECT_EQ(desktop_.pedidos.size(), 2u);
  EXPECT_EQ(Ler(anterior), "um arquivo anterior\r\n");
  desktop_.resposta = true;
  desktop_.escolhas = {anterior};
  Clica(w_->btnExporta);
  EXPECT_EQ(Ler(anterior), "");
  EXPECT_TRUE(fs::exists(PathOf(anterior)));
  EXPECT_EQ(desktop_.abertos, std::vector<std::string>{anterior});

  // Saved, but no program opens it: said in Portuguese, with the path.
  desktop_.avisos.clear();
  desktop_.semPrograma = ".txt";
  desktop_.escolhas = {anterior};
  Clica(w_->btnExporta);
  ASSERT_EQ(desktop_.avisos.size(), 2u);
  ExpectAviso(desktop_.avisos[1], Aviso::kInformacao,
              "O resultado foi gravado em \"" + anterior + "\", mas nenhum programa pôde abri-lo.");
  // The dialog starts where the last export went.
  EXPECT_EQ(desktop_.pedidos.back().pasta, PathOf(base_).parent_path().wstring());

  // A file that cannot be written: the error box, nothing opened.
  const std::string semPasta = base_ + "sem pasta\\log.txt";
  desktop_.avisos.clear();
  desktop_.abertos.clear();
  desktop_.escolhas = {semPasta};
  Clica(w_->btnExporta);
  ASSERT_EQ(desktop_.avisos.size(), 1u);
  EXPECT_EQ(desktop_.avisos[0].icone, Aviso::kErro);
  EXPECT_EQ(desktop_.avisos[0].texto.rfind("Não foi possível gravar \"" + semPasta + "\": ", 0), 0u)
      << desktop_.avisos[0].texto;
  EXPECT_FALSE(fs::exists(PathOf(semPasta)));
  EXPECT_TRUE(desktop_.abertos.empty());
}

TEST_F(JanelaWin32Test, SeletoresEAjuda) {
  // Each picker shows dBASE tables first, starts in the folder of the file
  // its box names and proposes that file; cancelled, it leaves the box.
  desktop_.escolhas = {riscos_};
  Clica(w_->SpeedButton4);
  EXPECT_EQ(Utf8(Texto(w_->edArqRisco)), riscos_);
  Escreve(w_->edArqSinistro, "  " + sinistros_ + " ");
  Clica(w_->SpeedButton3);
  Clica(w_->SpeedButton4);
  EXPECT_EQ(Utf8(Texto(w_->edArqRisco)), riscos_);
  ASSERT_EQ(desktop_.pedidos.size(), 3u);
  const std::vector<std::pair<std::wstring, std::wstring>> filtros = {
      {L"Tabelas dBASE (*.dbf)", L"*.dbf"}, {L"Todos os arquivos (*)", L"*"}};
  EXPECT_EQ(desktop_.pedidos[0].filtros, filtros);
  EXPECT_FALSE(desktop_.pedidos[0].salvar);
  const std::wstring pasta = PathOf(entrega_).parent_path().wstring();
  EXPECT_EQ(desktop_.pedidos[1].pasta, pasta);
  EXPECT_EQ(desktop_.pedidos[1].nome, L"sinistros ção.dbf");
  EXPECT_EQ(desktop_.pedidos[2].pasta, pasta);
  EXPECT_EQ(desktop_.pedidos[2].nome, L"riscos ção.dbf");

  // Help: the program folder's ZAVTolk.chm where a program opens it, else
  // the same pages in HTML; F1 does what the button does.
  const std::string chm = pasta_ + "ZAVTolk.chm", html = pasta_ + "ajuda\\index.htm";
  Clica(w_->btnAjuda);
  ASSERT_EQ(desktop_.avisos.size(), 1u);
  ExpectAviso(desktop_.avisos[0], Aviso::kNenhum, "The specified file was not found.");
  Gravar(chm, "ITSF");
  desktop_.semPrograma = ".chm";
  EXPECT_TRUE(Tecla(w_->btnOk, VK_F1));  // no pages beside it: the help file's failure
  ASSERT_EQ(desktop_.avisos.size(), 2u);
  ExpectAviso(desktop_.avisos[1], Aviso::kNenhum,
              "There is no application associated with the given filename extension.");
  fs::create_directory(PathOf(pasta_ + "ajuda"));
  Gravar(html, "<html></html>");
  EXPECT_TRUE(Tecla(w_->edLog, VK_F1));
  desktop_.semPrograma.clear();
  Clica(w_->btnAjuda);
  EXPECT_EQ(desktop_.avisos.size(), 2u);
  EXPECT_EQ(desktop_.abertos, (std::vector<std::string>{chm, chm, chm, html, chm}));
}

// --- The findings --------------------------------------------------------------

// The view over a run of the sample: its rows, the lists' counts, the CSV of
// the export and of the clipboard are the native tolk-critica's --detalhes of
// the same delivery (pt_BR: ";" between columns); the record of a row is read
// again from its file; a double-click on a summary row of the log opens the
// view filtered to that table and field.
TEST_F(JanelaWin32Test, OcorrenciasComoDetalhes) {
#ifndef TOLK_DETALHES_AMOSTRA
  GTEST_SKIP() << "no native tolk-critica (TOLK_HOST_TOOLS) to compare with";
#else
  const std::string detalhes = Ler(TOLK_DETALHES_AMOSTRA);
  const std::vector<std::string> csv = Linhas(detalhes.substr(0, detalhes.size() - 2), "\r\n");
  ASSERT_EQ(csv.size(), 89u);
  // The rows' columns, and the counts of each table, field and rule in the
  // order first met, as the lists give them.
  std::vector<std::vector<std::string>> colunas;
  std::vector<std::string> esperadas[3];
  std::map<std::string, std::size_t> contagens[3];
  for (std::size_t k = 1; k < csv.size(); ++k) {
    colunas.push_back(Linhas(csv[k], ";"));
    ASSERT_EQ(colunas.back().size(), 6u) << csv[k];
    for (int q = 0; q < 3; ++q) {
      const std::string& nome = colunas.back()[q == 0 ? 0 : q == 1 ? 2 : 3];
      if (contagens[q][nome]++ == 0) esperadas[q].push_back(nome);
    }
  }
  const char* qualquer[] = {"(todas)", "(todos)", "(todas)"};
  for (int q = 0; q < 3; ++q) {
    for (std::string& nome : esperadas[q]) nome += " (" + std::to_string(contagens[q][nome]) + ")";
    esperadas[q].insert(esperadas[q].begin(), qualquer[q]);
  }

  Escreve(w_->edArqRisco, riscos_);
  Escreve(w_->edArqSinistro, sinistros_);
  Clica(w_->btnOk);
  ASSERT_EQ(w_->Achados().Tamanho(), 88u);
  ASSERT_TRUE(IsWindowEnabled(w_->btnOcorrencias));
  Clica(w_->btnOcorrencias);
  TfrmOcorrencias* v = w_->frmOcorrencias();
  ASSERT_TRUE(v);
  EXPECT_EQ(Texto(v->frmOcorrencias()), L"Ocorrências");
  ASSERT_EQ(ListView_GetItemCount(v->lvOcorrencias), 88);
  for (int k = 0; k < 88; ++k) EXPECT_EQ(LinhaDaLista(v->lvOcorrencias, k, 6), csv[k + 1]);
  EXPECT_EQ(ItensDaCaixa(v->cbTabela), esperadas[0]);
  EXPECT_EQ(ItensDaCaixa(v->cbCampo), esperadas[1]);
  EXPECT_EQ(ItensDaCaixa(v->cbRegra), esperadas[2]);
  EXPECT_EQ(Utf8(Texto(v->lblContagem)), "88 de 88 ocorrências");

  // The header sorts up, down, then back to the order found.
  NMLISTVIEW clique{};
  clique.hdr = {v->lvOcorrencias, IDC_LV_OCORRENCIAS, LVN_COLUMNCLICK};
  clique.iItem = -1;
  clique.iSubItem = 1;  // Registro
  std::vector<long> registros;
  for (int vez = 0; vez < 3; ++vez) {
    SendMessageW(v->frmOcorrencias(), WM_NOTIFY, IDC_LV_OCORRENCIAS,
                 reinterpret_cast<LPARAM>(&clique));
    registros.clear();
    for (int k = 0; k < 88; ++k)
      registros.push_back(std::stol(Linhas(LinhaDaLista(v->lvOcorrencias, k, 2), ";")[1]));
    if (vez == 0) {
      EXPECT_TRUE(std::is_sorted(registros.begin(), registros.end()));
    } else if (vez == 1) {
      EXPECT_TRUE(std::is_sorted(registros.rbegin(), registros.rend()));
    }
  }
  for (int k = 0; k < 88; ++k) EXPECT_EQ(LinhaDaLista(v->lvOcorrencias, k, 6), csv[k + 1]);

  // A row selected: its record below, the failing field selected.
  const int linha = 3;
  ListView_SetItemState(v->lvOcorrencias, linha, LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_EQ(Utf8(Texto(v->lblRegistro)), "Registro " + colunas[linha][1] + " de riscos ção.dbf");
  const int falho = ListView_GetNextItem(v->lvRegistro, -1, LVNI_SELECTED);
  ASSERT_GE(falho, 0);
  EXPECT_EQ(LinhaDaLista(v->lvRegistro, falho, 2), colunas[linha][2] + ";" + colunas[linha][4]);
  EXPECT_GT(ListView_GetItemCount(v->lvRegistro), 10);

  // Ctrl+C copies the selected rows, in their order, under the header.
  ListView_SetItemState(v->lvOcorrencias, 7, LVIS_SELECTED, LVIS_SELECTED);
  v->Copia();
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE dados = GetClipboardData(CF_UNICODETEXT);
  ASSERT_TRUE(dados);
  const std::string copiado = Utf8(static_cast<const wchar_t*>(GlobalLock(dados)));
  GlobalUnlock(dados);
  CloseClipboard();
  EXPECT_EQ(copiado, csv[0] + "\r\n" + csv[linha + 1] + "\r\n" + csv[8] + "\r\n");

  // The export refuses the run's files, then writes --detalhes's bytes.
  const std::string arquivo = base_ + "ocorrências é.csv";
  desktop_.avisos.clear();
  desktop_.escolhas = {sinistros_, arquivo};
  Clica(v->btnExporta);
  ASSERT_EQ(desktop_.avisos.size(), 1u);
  EXPECT_EQ(desktop_.avisos[0].icone, Aviso::kErro);
  EXPECT_EQ(desktop_.pedidos.back().titulo, L"Exporta Ocorrências");
  EXPECT_EQ(desktop_.pedidos.back().extensao, L"csv");
  EXPECT_EQ(Ler(arquivo), detalhes);
  EXPECT_TRUE(IsWindowEnabled(w_->frmInicio()));

  // Esc closes the view.
  MSG esc{v->lvOcorrencias, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  EXPECT_TRUE(w_->TrataTecla(esc));
  EXPECT_EQ(w_->frmOcorrencias(), nullptr);

  // A double-click on a summary row opens the rows of that table and field;
  // on another line, nothing.
  const std::vector<std::string>& log = w_->Linhas();
  const auto resumo = std::find_if(log.begin(), log.end(), [](const std::string& l) {
    return l.rfind("RISCOS              DATA_EMI ", 0) == 0;
  });
  ASSERT_NE(resumo, log.end());
  DuploClique(w_->edLog, 0);
  EXPECT_EQ(w_->frmOcorrencias(), nullptr);
  DuploClique(w_->edLog, static_cast<int>(resumo - log.begin()));
  v = w_->frmOcorrencias();
  ASSERT_TRUE(v);
  const auto n =
      static_cast<std::size_t>(std::count_if(colunas.begin(), colunas.end(), [](const auto& c) {
        return c[0] == "RISCOS" && c[2] == "DATA_EMI";
      }));
  EXPECT_EQ(Utf8(Texto(v->cbTabela)), "RISCOS (" + std::to_string(n) + ")");
  EXPECT_EQ(Utf8(Texto(v->cbCampo)), "DATA_EMI (" + std::to_string(n) + ")");
  ASSERT_EQ(ListView_GetItemCount(v->lvOcorrencias), static_cast<int>(n));
  for (int k = 0; k < static_cast<int>(n); ++k)
    EXPECT_EQ(Linhas(LinhaDaLista(v->lvOcorrencias, k, 3), ";")[2], "DATA_EMI");

  // A new run takes the view and the findings with it.
  Escreve(w_->edArqRisco, entrega_ + "nenhum.dbf");
  Clica(w_->btnOk);
  EXPECT_EQ(w_->frmOcorrencias(), nullptr);
  EXPECT_FALSE(IsWindowEnabled(w_->btnOcorrencias));
#endif
}

}  // namespace
}  // namespace tolk
