#include "win32/TfrmInicio.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "app/saidas.h"
#include "dataset/text.h"
#include "front/regional_settings.h"
#include "platform/system.h"
#include "win32/recursos.h"
#include "win32/utilidades.h"

namespace tolk {

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kClasse[] = L"TfrmInicio";

// How each control of the layout is made: its window class and styles, its
// identifier and its glyph (0 for none). A button with a caption shows its
// glyph beside it; one without shows the glyph alone.
struct Criacao {
  const char* nome;
  HWND TfrmInicio::*membro;
  const wchar_t* classe;
  DWORD estilo;
  DWORD estiloEstendido;
  int id;
  int glifo;
};
constexpr DWORD kCaixa = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kBotao = WS_TABSTOP | BS_PUSHBUTTON;
// The pickers take no focus from the keyboard.
constexpr DWORD kSeletor = BS_PUSHBUTTON | BS_ICON;
const Criacao kCriacao[] = {
    {"Label3", &TfrmInicio::Label3, WC_STATICW, SS_LEFT | SS_NOPREFIX, 0, IDC_LABEL3, 0},
    {"edArqRisco", &TfrmInicio::edArqRisco, WC_EDITW, kCaixa, WS_EX_CLIENTEDGE, IDC_ED_ARQ_RISCO,
     0},
    {"SpeedButton4", &TfrmInicio::SpeedButton4, WC_BUTTONW, kSeletor, 0, IDC_SPEED_BUTTON4,
     IDI_PASTA},
    {"Label4", &TfrmInicio::Label4, WC_STATICW, SS_LEFT | SS_NOPREFIX, 0, IDC_LABEL4, 0},
    {"edArqSinistro", &TfrmInicio::edArqSinistro, WC_EDITW, kCaixa, WS_EX_CLIENTEDGE,
     IDC_ED_ARQ_SINISTRO, 0},
    {"SpeedButton3", &TfrmInicio::SpeedButton3, WC_BUTTONW, kSeletor, 0, IDC_SPEED_BUTTON3,
     IDI_PASTA},
    {"ProgressBar", &TfrmInicio::ProgressBar, PROGRESS_CLASSW, PBS_VERTICAL | PBS_SMOOTH, 0,
     IDC_PROGRESS_BAR, 0},
    {"btnOk", &TfrmInicio::btnOk, WC_BUTTONW, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, IDOK, IDI_CRITICAR},
    {"btnAjuda", &TfrmInicio::btnAjuda, WC_BUTTONW, kBotao | BS_ICON, 0, IDC_BTN_AJUDA, IDI_AJUDA},
    {"btnExporta", &TfrmInicio::btnExporta, WC_BUTTONW, kBotao, 0, IDC_BTN_EXPORTA, IDI_EXPORTA},
    {"btnFechar", &TfrmInicio::btnFechar, WC_BUTTONW, kBotao, 0, IDC_BTN_FECHAR, IDI_FECHAR},
    // Enabled once a run has counted a finding.
    {"btnOcorrencias", &TfrmInicio::btnOcorrencias, WC_BUTTONW, kBotao | WS_DISABLED, 0,
     IDC_BTN_OCORRENCIAS, IDI_OCORRENCIAS},
    // The log's columns line up only unwrapped: a horizontal scroll bar and
    // ES_AUTOHSCROLL keep every line on one row.
    {"edLog", &TfrmInicio::edLog, WC_EDITW,
     WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
         ES_AUTOHSCROLL,
     WS_EX_CLIENTEDGE, IDC_ED_LOG, 0},
};

// Posted by a double-click on a line of the log that stands for findings.
constexpr UINT kAbreDoLog = WM_APP + 1;

// Any log the run writes fits: the edit control's own limit is far lower.
constexpr WPARAM kLimiteLog = 0x7FFFFFFE;

}  // namespace

TfrmInicio::TfrmInicio(HINSTANCE instancia) : instancia_(instancia) {
  pastaPrograma = ExecutableFolder();
  regional = RegionalSettingsNamed("").value_or(TFormatSettings{});

  RegistraJanela(instancia_, kClasse, &Procedimento);
  // Opens where it was drawn; its size follows once the DPI is known.
  CreateWindowExW(WS_EX_CONTROLPARENT, kClasse, Utf16(kTituloJanela).c_str(),
                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, kEsquerdaJanela, kTopoJanela,
                  kLarguraJanela, kAlturaJanela, nullptr, nullptr, instancia_, this);
  if (!hwnd_) throw std::runtime_error("CreateWindowExW: TfrmInicio");
  dpi_ = GetDpiForWindow(hwnd_);
  CriaControles();
  AplicaDpi();
  const SIZE tamanho = TamanhoMinimo();
  SetWindowPos(hwnd_, nullptr, 0, 0, tamanho.cx, tamanho.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Dispoe();
}

TfrmInicio::~TfrmInicio() {
  if (hwnd_) DestroyWindow(hwnd_);
  for (HICON glifo : glifos_) DestroyIcon(glifo);
  if (fonteJanela_) DeleteObject(fonteJanela_);
  if (fonteLog_) DeleteObject(fonteLog_);
}

HWND TfrmInicio::Filho(std::string_view nome) const {
  for (const Criacao& c : kCriacao)
    if (nome == c.nome) return this->*c.membro;
  return nullptr;
}

void TfrmInicio::CriaControles() {
  for (const Criacao& c : kCriacao) {
    const ControleJanela& linha = Controle(c.nome);
    HWND h =
        CreateWindowExW(c.estiloEstendido, c.classe, Utf16(linha.texto).c_str(),
                        WS_CHILD | WS_VISIBLE | c.estilo, 0, 0, 0, 0, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instancia_, nullptr);
    if (!h) throw std::runtime_error(std::string("CreateWindowExW: ") + c.nome);
    this->*c.membro = h;
  }
  SendMessageW(ProgressBar, PBM_SETRANGE32, 0, 100);
  SendMessageW(edLog, EM_SETLIMITTEXT, kLimiteLog, 0);
  SetWindowSubclass(edLog, &ProcedimentoLog, 0, reinterpret_cast<DWORD_PTR>(this));

  // Tab walks the controls that take the focus in the order of the child
  // windows: put them first, in their order.
  HWND anterior = HWND_TOP;
  for (const char* nome : kOrdemTab) {
    HWND h = Filho(nome);
    SetWindowPos(h, anterior, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    anterior = h;
  }

  Dicas = CriaDicas(instancia_, hwnd_);
  for (const ControleJanela& linha : kControles)
    if (*linha.dica) AdicionaDica(Dicas, hwnd_, Filho(linha.nome), linha.dica);
}

void TfrmInicio::AplicaDpi() {
  // 8 points at this DPI. The log's face where it is installed, else the
  // closest fixed-pitch face: its columns line up only when every character
  // has the same advance.
  const LOGFONTW janela = FonteDaJanela(dpi_);
  LOGFONTW log = janela;
  log.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  wcscpy_s(log.lfFaceName, L"Courier New");
  HFONT antigaJanela = fonteJanela_, antigaLog = fonteLog_;
  fonteJanela_ = CreateFontIndirectW(&janela);
  fonteLog_ = CreateFontIndirectW(&log);
  for (const Criacao& c : kCriacao)
    SendMessageW(
        this->*c.membro, WM_SETFONT,
        reinterpret_cast<WPARAM>(c.membro == &TfrmInicio::edLog ? fonteLog_ : fonteJanela_), TRUE);
  if (antigaJanela) DeleteObject(antigaJanela);
  if (antigaLog) DeleteObject(antigaLog);

  std::vector<HICON> antigos = std::move(glifos_);
  glifos_.clear();
  const int lado = Escala(16);
  for (const Criacao& c : kCriacao) {
    if (!c.glifo) continue;
    auto glifo = static_cast<HICON>(
        LoadImageW(instancia_, MAKEINTRESOURCEW(c.glifo), IMAGE_ICON, lado, lado, 0));
    if (!glifo) continue;
    glifos_.push_back(glifo);
    SendMessageW(this->*c.membro, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glifo));
  }
  for (HICON glifo : antigos) DestroyIcon(glifo);
}

SIZE TfrmInicio::TamanhoMinimo() const {
  RECT r{0, 0, Escala(kLarguraJanela), Escala(kAlturaJanela)};
  AdjustWindowRectExForDpi(&r, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)), dpi_);
  return {r.right - r.left, r.bottom - r.top};
}

void TfrmInicio::Dispoe() {
  if (!edLog) return;
  RECT cliente;
  GetClientRect(hwnd_, &cliente);
  // In the units the layout was drawn in; a minimised window keeps its layout.
  const int largura = std::max(kLarguraJanela, MulDiv(cliente.right, 96, static_cast<int>(dpi_)));
  const int altura = std::max(kAlturaJanela, MulDiv(cliente.bottom, 96, static_cast<int>(dpi_)));
  HDWP lote = BeginDeferWindowPos(static_cast<int>(std::size(kControles)));
  for (const ControleJanela& linha : kControles) {
    HWND h = Filho(linha.nome);
    const Retangulo r = Ancorado(linha, largura, altura);
    const int x = Escala(r.x), y = Escala(r.y);
    int w = Escala(r.x + r.largura) - x, a = Escala(r.y + r.altura) - y;
    if (r.largura == 0) {
      // A label is as large as its text.
      const std::wstring texto = TextoDe(h);
      HDC dc = GetDC(h);
      HGDIOBJ antes = SelectObject(dc, fonteJanela_);
      SIZE s{};
      GetTextExtentPoint32W(dc, texto.c_str(), static_cast<int>(texto.size()), &s);
      SelectObject(dc, antes);
      ReleaseDC(h, dc);
      w = s.cx;
      a = s.cy;
    }
    if (lote) lote = DeferWindowPos(lote, h, nullptr, x, y, w, a, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (lote) EndDeferWindowPos(lote);
}

LRESULT CALLBACK TfrmInicio::Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* janela = static_cast<TfrmInicio*>(DonoDaJanela(hwnd, msg, lp));
  if (!janela) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCCREATE) janela->hwnd_ = hwnd;
  return janela->Mensagem(msg, wp, lp);
}

LRESULT TfrmInicio::Mensagem(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) Comando(LOWORD(wp));
      return 0;
    case WM_SIZE:
      Dispoe();
      return 0;
    case kAbreDoLog:
      if (const auto filtro = std::exchange(filtroDoLog_, std::nullopt)) AbreOcorrencias(filtro);
      return 0;
    case WM_GETMINMAXINFO: {
      // Never smaller than drawn.
      const SIZE minimo = TamanhoMinimo();
      reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = {minimo.cx, minimo.cy};
      return 0;
    }
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wp);
      AplicaDpi();
      AplicaRetanguloSugerido(hwnd_, lp);
      Dispoe();
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      // The log is read-only, not disabled: it keeps the colours of a text pane.
      if (reinterpret_cast<HWND>(lp) == edLog) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_ACTIVATE:
      DevolveFoco(hwnd_, wp, foco_, edArqRisco);
      return 0;
    case WM_CLOSE:
      // A run and its boxes end first.
      if (!emCritica_) DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      frmOcorrencias_.reset();
      if (encerraAoFechar) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      for (const Criacao& c : kCriacao) this->*c.membro = nullptr;
      Dicas = nullptr;
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

void TfrmInicio::Comando(int id) {
  // Nothing starts while a run, or the box that ends it, is open.
  if (emCritica_) return;
  switch (id) {
    case IDOK:
      btnOkClick();
      break;
    case IDC_SPEED_BUTTON4:
      SpeedButton4Click();
      break;
    case IDC_SPEED_BUTTON3:
      SpeedButton3Click();
      break;
    case IDC_BTN_EXPORTA:
      btnExportaClick();
      break;
    case IDC_BTN_AJUDA:
      btnAjudaClick();
      break;
    case IDC_BTN_FECHAR:
      SendMessageW(hwnd_, WM_CLOSE, 0, 0);
      break;
    case IDC_BTN_OCORRENCIAS:
      AbreOcorrencias(std::nullopt);
      break;
  }
}

bool TfrmInicio::TrataTecla(MSG& msg) {
  if (frmOcorrencias_ && frmOcorrencias_->TrataTecla(msg)) return true;
  if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
    Comando(IDC_BTN_AJUDA);
    return true;
  }
  // A multi-line box takes Tab as text; the read-only log passes it on.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && msg.hwnd == edLog) {
    SetFocus(GetNextDlgTabItem(hwnd_, edLog, GetKeyState(VK_SHIFT) < 0));
    return true;
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
    // The log keeps Enter to itself, as a multi-line box does; a focused
    // button is pressed; anywhere else Enter starts a run.
    if (msg.hwnd == edLog) return true;
    const LRESULT codigo = SendMessageW(msg.hwnd, WM_GETDLGCODE, 0, 0);
    Comando((codigo & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) ? GetDlgCtrlID(msg.hwnd) : IDOK);
    return true;
  }
  return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

// --- The pickers -------------------------------------------------------------

void TfrmInicio::Escolhe(HWND box) {
  PedidoArquivo pedido;
  pedido.filtros = {{L"Tabelas dBASE (*.dbf)", L"*.dbf"}, {L"Todos os arquivos (*)", L"*"}};
  // The folder of the file the box names, else the user's documents.
  pedido.pasta = PastaDocumentos();
  const std::string atual = Trim(Utf8(TextoDe(box)));
  std::error_code ec;
  const fs::path arquivo = atual.empty() ? fs::path() : fs::absolute(PathOf(atual), ec);
  if (!arquivo.empty() && !ec && fs::is_directory(arquivo.parent_path(), ec)) {
    pedido.pasta = arquivo.parent_path().wstring();
    if (fs::is_regular_file(arquivo, ec)) pedido.nome = arquivo.filename().wstring();
  }
  if (const auto escolhido = desktop->EscolheArquivo(hwnd_, pedido))
    SetWindowTextW(box, escolhido->c_str());
  // The picker's button takes no focus: it goes to the box it filled.
  SetFocus(box);
}

void TfrmInicio::SpeedButton4Click() { Escolhe(edArqRisco); }

void TfrmInicio::SpeedButton3Click() { Escolhe(edArqSinistro); }

// --- The run -----------------------------------------------------------------

RunParameters TfrmInicio::Parametros() const {
  RunParameters params;
  // The boxes as typed, blanks and all, in UTF-8: the file layer turns the
  // names back into the system's UTF-16.
  params.riskPath = Utf8(TextoDe(edArqRisco));
  params.claimPath = Utf8(TextoDe(edArqSinistro));
  params.programFolder = pastaPrograma;
  params.regional = regional;
  params.clock = relogio;
  params.clockContext = relogioContexto;
  return params;
}

void TfrmInicio::btnOkClick() {
  const RunParameters params = Parametros();
  // The findings go with the run that counted them: the view closes, and
  // opens again over the next run's.
  frmOcorrencias_.reset();
  ocorrencias_.Limpa();
  EnableWindow(btnOcorrencias, FALSE);
  emCritica_ = true;
  pintou_ = false;
  HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  try {
    critica_.Executa(params, *this);
  } catch (const std::exception& e) {
    // The log keeps what the run wrote and the progress bar its position.
    Avisa(AvisoDeErro(e, params, critica_.Estado().tabelaAtual));
  }
  SetCursor(cursor);
  emCritica_ = false;
  EnableWindow(btnOcorrencias, !ocorrencias_.Vazia());
}

bool TfrmInicio::Avisa(const Aviso& aviso) { return desktop->Caixa(hwnd_, aviso); }

void TfrmInicio::AddLine(const std::string& line) {
  linhas_.push_back(line);
  const int fim = GetWindowTextLengthW(edLog);
  EditaLog(fim, fim, (linhas_.size() > 1 ? L"\r\n" : L"") + DeCp1252(line));
}

void TfrmInicio::ReplaceLine(int index, const std::string& line) {
  if (index < 0 || static_cast<std::size_t>(index) >= linhas_.size()) return;
  linhas_[static_cast<std::size_t>(index)] = line;
  const auto inicio = static_cast<int>(SendMessageW(edLog, EM_LINEINDEX, index, 0));
  if (inicio < 0) return;
  const auto tamanho = static_cast<int>(SendMessageW(edLog, EM_LINELENGTH, inicio, 0));
  EditaLog(inicio, inicio + tamanho, DeCp1252(line));
}

void TfrmInicio::ClearLog() {
  linhas_.clear();
  SetWindowTextW(edLog, L"");
}

void TfrmInicio::EditaLog(int inicio, int fim, const std::wstring& texto) {
  // Scrolling the log to each new line would paint it line by line; it is
  // painted when Repinta says, or when the run gives the loop back.
  SendMessageW(edLog, WM_SETREDRAW, FALSE, 0);
  SendMessageW(edLog, EM_SETSEL, static_cast<WPARAM>(inicio), fim);
  SendMessageW(edLog, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(texto.c_str()));
  SegueUltimaLinha();
  SendMessageW(edLog, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(edLog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

void TfrmInicio::SegueUltimaLinha() {
  const auto ultima = SendMessageW(edLog, EM_GETLINECOUNT, 0, 0) - 1;
  const auto inicio = SendMessageW(edLog, EM_LINEINDEX, static_cast<WPARAM>(ultima), 0);
  SendMessageW(edLog, EM_SETSEL, static_cast<WPARAM>(inicio), inicio);
  SendMessageW(edLog, EM_SCROLLCARET, 0, 0);
}

void TfrmInicio::SetProgress(int position) {
  if (position == posicao_) return;
  posicao_ = position;
  // With the desktop's visual style a bar glides up to a higher position on
  // timers, which a run holding the message loop never lets fire; it drops
  // to a lower one at once. So: one above, then down to the position.
  if (position < 100) SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position + 1), 0);
  SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  Repinta();
}

void TfrmInicio::RecordsRead(const std::string& /*table*/, long long /*count*/) {
  if (pintou_ && std::chrono::steady_clock::now() - ultimaPintura_ <
                     std::chrono::milliseconds(intervaloRepintura))
    return;
  Repinta();
}

void TfrmInicio::Repinta() {
  pintou_ = true;
  ultimaPintura_ = std::chrono::steady_clock::now();
  UpdateWindow(ProgressBar);
  UpdateWindow(edLog);
  // Whatever else waits for paint (a part of the window that another window
  // uncovered), and nothing more: clicks and keys wait until the run ends.
  MSG msg;
  for (int i = 0; i < 64 && PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    DispatchMessageW(&msg);
  }
}

void TfrmInicio::AddFinding(const Finding& finding) { ocorrencias_.Adiciona(finding); }

void TfrmInicio::ShowFinalMessage(const std::string& text) {
  Avisa(AvisoFinal(text, critica_.Estado()));
}

// --- Export and help ---------------------------------------------------------

void TfrmInicio::btnExportaClick() {
  PedidoArquivo pedido;
  pedido.salvar = true;
  pedido.titulo = Utf16(kTituloExportacao);
  pedido.extensao = Utf16(kExtensaoExportacao);
  pedido.filtros = {{L"Arquivos de texto (*.txt)", L"*.txt"}, {L"Todos os arquivos (*)", L"*"}};
  if (pastaExportacao_.empty()) pastaExportacao_ = PastaDocumentos();
  pedido.pasta = pastaExportacao_;
  // A refused name, or an existing file the user keeps, goes back to the
  // dialog for another name. The refusal comes before any question.
  std::wstring escolhido;
  std::string nome;
  for (;;) {
    const auto resposta = desktop->EscolheArquivo(hwnd_, pedido);
    if (!resposta) return;
    escolhido = *resposta;
    nome = Utf8(escolhido);
    const fs::path caminho(escolhido);
    pedido.pasta = caminho.parent_path().wstring();
    pedido.nome = caminho.filename().wstring();
    if (const auto f = SaidaProibida(nome, ArquivosDaCritica(Parametros()))) {
      Avisa(RecusaExportacao(nome, *f));
      continue;
    }
    if (GetFileAttributesW(escolhido.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !Avisa(PerguntaSubstituicao(nome)))
      continue;
    break;
  }
  pastaExportacao_ = pedido.pasta;
  std::string motivo;
  if (!Grava(
          escolhido, [this](const auto& grava) { grava(TextoExportado(linhas_)); }, motivo)) {
    Avisa(FalhaGravacao(nome, motivo));
    return;
  }
  const Aviso aviso = AvisoExportado(desktop->AbreDocumento(hwnd_, escolhido), nome);
  if (!aviso.texto.empty()) Avisa(aviso);
}

void TfrmInicio::btnAjudaClick() {
  const Aviso aviso = AbreAjuda(pastaPrograma, [this](const std::string& caminho) {
    return desktop->AbreDocumento(hwnd_, Utf16(caminho));
  });
  if (!aviso.texto.empty()) Avisa(aviso);
}

// --- The findings ------------------------------------------------------------

void TfrmInicio::AbreOcorrencias(const std::optional<FiltroOcorrencias>& filtro) {
  if (emCritica_ || ocorrencias_.Vazia()) return;
  if (!frmOcorrencias_ || !frmOcorrencias_->frmOcorrencias()) {
    frmOcorrencias_ = std::make_unique<TfrmOcorrencias>(instancia_, hwnd_, ocorrencias_, *desktop,
                                                        [this] { return Parametros(); });
    // Beside the window where the screen has room, else as far right as it
    // fits, its top level with the window's: the log stays in sight.
    const HWND vista = frmOcorrencias_->frmOcorrencias();
    RECT janela{}, tamanho{};
    MONITORINFO tela{};
    tela.cbSize = sizeof tela;
    if (GetWindowRect(hwnd_, &janela) && GetWindowRect(vista, &tamanho) &&
        GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &tela)) {
      const RECT& area = tela.rcWork;
      const LONG largura = tamanho.right - tamanho.left, altura = tamanho.bottom - tamanho.top;
      const LONG x = std::max(area.left, std::min(janela.right, area.right - largura));
      const LONG y = std::max(area.top, std::min(janela.top, area.bottom - altura));
      SetWindowPos(vista, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (filtro) frmOcorrencias_->Filtra(*filtro);
  frmOcorrencias_->Mostra();
}

LRESULT CALLBACK TfrmInicio::ProcedimentoLog(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                             DWORD_PTR dados) {
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &ProcedimentoLog, 0);
  if (msg != WM_LBUTTONDBLCLK) return DefSubclassProc(hwnd, msg, wp, lp);
  // The edit selects the word first, as always; the line of the selection is
  // the line clicked. The view opens once the edit has let the mouse go:
  // activated while the edit holds it, it would stay behind.
  const LRESULT resultado = DefSubclassProc(hwnd, msg, wp, lp);
  auto* janela = reinterpret_cast<TfrmInicio*>(dados);
  const auto linha = SendMessageW(hwnd, EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0);
  if (linha < 0) return resultado;
  janela->filtroDoLog_ = FiltroDaLinha(janela->linhas_, static_cast<std::size_t>(linha));
  if (janela->filtroDoLog_) PostMessageW(janela->hwnd_, kAbreDoLog, 0, 0);
  return resultado;
}

int LacoDeMensagens(TfrmInicio& janela) {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (janela.TrataTecla(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace tolk
