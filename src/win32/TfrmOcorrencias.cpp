#include "win32/TfrmOcorrencias.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <exception>
#include <filesystem>
#include <stdexcept>

#include "app/saidas.h"
#include "dataset/cp1252.h"
#include "platform/system.h"
#include "win32/recursos.h"
#include "win32/utilidades.h"

namespace tolk {

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kClasse[] = L"TfrmOcorrencias";
// The search waits for a pause in the typing this long, in milliseconds.
constexpr UINT_PTR kTimerProcura = 1;
constexpr UINT kEsperaProcura = 250;

// The layout, in pixels at 96 DPI. The filters sit on two rows on top; the
// rows fill the middle; the record takes the lower part.
//
//   Tabela: [____v]  Campo: [____v]  Regra: [____v]
//   Procurar: [________]  7 de 88 ocorrências        [Exporta Ocorrências]
//   +--------------------------------------------------------------------+
//   | Tabela | Registro | Campo | Regra | Valor | Qualificador           |
//   +--------------------------------------------------------------------+
//   Registro 12 de riscos.dbf
//   +--------------------------------------------------------------------+
//   | Campo | Valor                                                      |
//   +--------------------------------------------------------------------+
constexpr int kMargem = 8;
constexpr int kEspaco = 4;  // between a label and its control
constexpr int kEntre = 14;  // between a control and the next label
constexpr int kAlturaCaixa = 21;
constexpr int kLarguraLista = 170;
constexpr int kLarguraProcura = 200;
constexpr int kLarguraBotao = 140;
constexpr int kAlturaBotao = 25;
constexpr int kTopoLinhas = 66;
constexpr int kAlturaTitulo = 18;
// The smallest client area that shows every control.
constexpr int kLarguraMinima = 640;
constexpr int kAlturaMinima = 360;
// The columns' widths, in the order of Coluna.
constexpr int kLarguraColuna[] = {90, 80, 100, 110, 170, 150};
static_assert(std::size(kLarguraColuna) == kNumColunas);

std::wstring W(const char* utf8) { return Utf16(utf8); }

// Selects and focuses row `linha` of `lista` alone (none for -1). The rows
// selected before are cleared one by one: clearing "every row" visits each
// of a million rows on some systems.
void Selecione(HWND lista, int linha) {
  const int foco = ListView_GetNextItem(lista, -1, LVNI_FOCUSED);
  if (foco >= 0) ListView_SetItemState(lista, foco, 0, LVIS_FOCUSED);
  if (ListView_GetSelectedCount(lista) > 1000) {
    ListView_SetItemState(lista, -1, 0, LVIS_SELECTED);
  } else {
    for (int k = ListView_GetNextItem(lista, -1, LVNI_SELECTED); k >= 0;
         k = ListView_GetNextItem(lista, k, LVNI_SELECTED))
      ListView_SetItemState(lista, k, 0, LVIS_SELECTED);
  }
  if (linha < 0) return;
  ListView_SetItemState(lista, linha, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(lista, linha, FALSE);
}

}  // namespace

TfrmOcorrencias::TfrmOcorrencias(HINSTANCE instancia, HWND principal, const Ocorrencias& store,
                                 Desktop& desktop, std::function<RunParameters()> parametros)
    : instancia_(instancia),
      principal_(principal),
      store_(store),
      desktop_(desktop),
      parametros_(std::move(parametros)),
      visao_(store) {
  // The program's icon: the view is a part of it, not another program.
  RegistraJanela(instancia_, kClasse, &Procedimento);
  CreateWindowExW(WS_EX_CONTROLPARENT, kClasse, W(kTituloOcorrencias).c_str(),
                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                  kLarguraOcorrencias, kAlturaOcorrencias, nullptr, nullptr, instancia_, this);
  if (!hwnd_) throw std::runtime_error("CreateWindowExW: TfrmOcorrencias");
  dpi_ = GetDpiForWindow(hwnd_);
  CriaControles();
  AplicaDpi();
  RECT r{0, 0, Escala(kLarguraOcorrencias), Escala(kAlturaOcorrencias)};
  AdjustWindowRectExForDpi(&r, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT, dpi_);
  SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Dispoe();
  visao_.Recarrega();
  Atualiza();
}

TfrmOcorrencias::~TfrmOcorrencias() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (fonte_) DeleteObject(fonte_);
  if (negrito_) DeleteObject(negrito_);
}

void TfrmOcorrencias::CriaControles() {
  auto cria = [this](const wchar_t* classe, const std::wstring& texto, DWORD estilo,
                     DWORD estendido, int id) {
    HWND h = CreateWindowExW(estendido, classe, texto.c_str(), WS_CHILD | WS_VISIBLE | estilo, 0, 0,
                             0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             instancia_, nullptr);
    if (!h) throw std::runtime_error("CreateWindowExW: TfrmOcorrencias");
    return h;
  };
  // Created in the order Tab walks them; a label's access key moves the
  // focus to the control created after it.
  constexpr DWORD kLista = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
  lblTabela = cria(WC_STATICW, W(kRotuloTabela), SS_LEFT, 0, IDC_LBL_TABELA);
  cbTabela = cria(WC_COMBOBOXW, L"", kLista, 0, IDC_CB_TABELA);
  lblCampo = cria(WC_STATICW, W(kRotuloCampo), SS_LEFT, 0, IDC_LBL_CAMPO);
  cbCampo = cria(WC_COMBOBOXW, L"", kLista, 0, IDC_CB_CAMPO);
  lblRegra = cria(WC_STATICW, W(kRotuloRegra), SS_LEFT, 0, IDC_LBL_REGRA);
  cbRegra = cria(WC_COMBOBOXW, L"", kLista, 0, IDC_CB_REGRA);
  lblProcura = cria(WC_STATICW, W(kRotuloProcura), SS_LEFT, 0, IDC_LBL_PROCURA);
  edProcura = cria(WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, IDC_ED_PROCURA);
  lblContagem = cria(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, IDC_LBL_CONTAGEM);
  btnExporta = cria(WC_BUTTONW, W(kBotaoExportaOcorrencias), WS_TABSTOP | BS_PUSHBUTTON, 0,
                    IDC_BTN_EXPORTA_OCORRENCIAS);
  constexpr DWORD kLinhas = WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS;
  lvOcorrencias =
      cria(WC_LISTVIEWW, L"", kLinhas | LVS_OWNERDATA, WS_EX_CLIENTEDGE, IDC_LV_OCORRENCIAS);
  lblRegistro = cria(WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, IDC_LBL_REGISTRO);
  lvRegistro = cria(WC_LISTVIEWW, L"", kLinhas | LVS_SINGLESEL | LVS_NOSORTHEADER, WS_EX_CLIENTEDGE,
                    IDC_LV_REGISTRO);

  const DWORD estendido = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
  ListView_SetExtendedListViewStyle(lvOcorrencias, estendido);
  ListView_SetExtendedListViewStyle(lvRegistro, estendido);
  for (int c = 0; c < kNumColunas; ++c) {
    std::wstring titulo = W(kColunasOcorrencias[c]);
    LVCOLUMNW coluna{};
    coluna.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
    coluna.fmt = static_cast<Coluna>(c) == Coluna::kRegistro ? LVCFMT_RIGHT : LVCFMT_LEFT;
    coluna.pszText = titulo.data();
    coluna.iSubItem = c;
    ListView_InsertColumn(lvOcorrencias, c, &coluna);
  }
  // The record's columns take the titles of the rows' field and value.
  const Coluna colunasRegistro[] = {Coluna::kCampo, Coluna::kValor};
  for (int c = 0; c < 2; ++c) {
    std::wstring titulo = W(kColunasOcorrencias[static_cast<int>(colunasRegistro[c])]);
    LVCOLUMNW coluna{};
    coluna.mask = LVCF_TEXT | LVCF_SUBITEM;
    coluna.pszText = titulo.data();
    coluna.iSubItem = c;
    ListView_InsertColumn(lvRegistro, c, &coluna);
  }

  Dicas = CriaDicas(instancia_, hwnd_);
  AdicionaDica(Dicas, hwnd_, btnExporta, kDicaExportaOcorrencias);
}

void TfrmOcorrencias::AplicaDpi() {
  // The main window's face and size; the failing field's row in bold.
  LOGFONTW lf = FonteDaJanela(dpi_);
  HFONT antiga = fonte_, antigoNegrito = negrito_;
  fonte_ = CreateFontIndirectW(&lf);
  lf.lfWeight = FW_BOLD;
  negrito_ = CreateFontIndirectW(&lf);
  for (HWND h = GetWindow(hwnd_, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(fonte_), TRUE);
  if (antiga) DeleteObject(antiga);
  if (antigoNegrito) DeleteObject(antigoNegrito);
  for (int c = 0; c < kNumColunas; ++c)
    ListView_SetColumnWidth(lvOcorrencias, c, Escala(kLarguraColuna[c]));
  ListView_SetColumnWidth(lvRegistro, 0, Escala(kLarguraColuna[2] + 20));
}

void TfrmOcorrencias::Dispoe() {
  if (!lvRegistro) return;
  RECT cliente;
  GetClientRect(hwnd_, &cliente);
  const int largura = std::max(kLarguraMinima, MulDiv(cliente.right, 96, static_cast<int>(dpi_)));
  const int altura = std::max(kAlturaMinima, MulDiv(cliente.bottom, 96, static_cast<int>(dpi_)));
  HDWP lote = BeginDeferWindowPos(16);
  auto poe = [&](HWND h, int x, int y, int w, int a) {
    if (lote)
      lote = DeferWindowPos(lote, h, nullptr, Escala(x), Escala(y), Escala(x + w) - Escala(x),
                            Escala(y + a) - Escala(y), SWP_NOZORDER | SWP_NOACTIVATE);
  };
  auto larguraTexto = [this](HWND h) {
    const std::wstring texto = TextoDe(h);
    HDC dc = GetDC(h);
    HGDIOBJ antes = SelectObject(dc, fonte_);
    SIZE s{};
    GetTextExtentPoint32W(dc, texto.c_str(), static_cast<int>(texto.size()), &s);
    SelectObject(dc, antes);
    ReleaseDC(h, dc);
    return MulDiv(s.cx, 96, static_cast<int>(dpi_)) + 2;
  };
  // A label sits level with the text of its control.
  int x = kMargem;
  const int linha1 = kMargem, linha2 = kMargem + kAlturaCaixa + 8;
  for (auto [rotulo, lista] : {std::pair{lblTabela, cbTabela}, std::pair{lblCampo, cbCampo},
                               std::pair{lblRegra, cbRegra}}) {
    const int w = larguraTexto(rotulo);
    poe(rotulo, x, linha1 + 4, w, 14);
    x += w + kEspaco;
    // A drop-down list's height is that of its list when open.
    poe(lista, x, linha1, kLarguraLista, 300);
    x += kLarguraLista + kEntre;
  }
  x = kMargem;
  const int w = larguraTexto(lblProcura);
  poe(lblProcura, x, linha2 + 4, w, 14);
  x += w + kEspaco;
  poe(edProcura, x, linha2, kLarguraProcura, kAlturaCaixa);
  x += kLarguraProcura + kEntre;
  const int botao = largura - kMargem - kLarguraBotao;
  poe(lblContagem, x, linha2 + 4, std::max(0, botao - kEntre - x), 14);
  poe(btnExporta, botao, linha2 - 2, kLarguraBotao, kAlturaBotao);

  // The record takes two fifths of what is left below the filters.
  const int resto = altura - kTopoLinhas - kMargem;
  const int registro = std::max(90, resto * 2 / 5);
  const int fimLinhas = altura - kMargem - registro - kAlturaTitulo;
  poe(lvOcorrencias, kMargem, kTopoLinhas, largura - 2 * kMargem, fimLinhas - kTopoLinhas);
  poe(lblRegistro, kMargem, fimLinhas + 3, largura - 2 * kMargem, 14);
  poe(lvRegistro, kMargem, fimLinhas + kAlturaTitulo, largura - 2 * kMargem, registro);
  if (lote) EndDeferWindowPos(lote);
  // The value column takes the record's width.
  RECT r;
  GetClientRect(lvRegistro, &r);
  ListView_SetColumnWidth(
      lvRegistro, 1, std::max<int>(Escala(100), r.right - ListView_GetColumnWidth(lvRegistro, 0)));
}

LRESULT CALLBACK TfrmOcorrencias::Procedimento(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* janela = static_cast<TfrmOcorrencias*>(DonoDaJanela(hwnd, msg, lp));
  if (!janela) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCCREATE) janela->hwnd_ = hwnd;
  return janela->Mensagem(msg, wp, lp);
}

LRESULT TfrmOcorrencias::Mensagem(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND: {
      const int id = LOWORD(wp);
      const int codigo = HIWORD(wp);
      if (id == IDC_BTN_EXPORTA_OCORRENCIAS && codigo == BN_CLICKED) {
        btnExportaClick();
      } else if (id == IDM_COPIAR_OCORRENCIAS) {
        Copia();
      } else if (id == IDC_ED_PROCURA && codigo == EN_CHANGE) {
        SetTimer(hwnd_, kTimerProcura, kEsperaProcura, nullptr);
      } else if ((id == IDC_CB_TABELA || id == IDC_CB_CAMPO || id == IDC_CB_REGRA) &&
                 (codigo == CBN_SELCHANGE || codigo == CBN_CLOSEUP)) {
        // Moving through an open list changes its choice at every step; the
        // rows follow when it closes.
        if (!SendMessageW(reinterpret_cast<HWND>(lp), CB_GETDROPPEDSTATE, 0, 0)) AplicaEscolha();
      }
      return 0;
    }
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wp) == lvOcorrencias) {
        // At the mouse, or under the focused row when the keyboard asked.
        POINT onde{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        if (onde.x == -1 && onde.y == -1) {
          RECT linha{};
          const int foco = ListView_GetNextItem(lvOcorrencias, -1, LVNI_FOCUSED);
          if (foco < 0 || !ListView_GetItemRect(lvOcorrencias, foco, &linha, LVIR_LABEL))
            GetClientRect(lvOcorrencias, &linha);
          onde = {linha.left, linha.bottom};
          ClientToScreen(lvOcorrencias, &onde);
        }
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu,
                    MF_STRING | (ListView_GetSelectedCount(lvOcorrencias) ? MF_ENABLED : MF_GRAYED),
                    IDM_COPIAR_OCORRENCIAS, W(kCopiarOcorrencias).c_str());
        TrackPopupMenu(menu, TPM_RIGHTBUTTON, onde.x, onde.y, 0, hwnd_, nullptr);
        DestroyMenu(menu);
        return 0;
      }
      break;
    case WM_TIMER:
      if (wp == kTimerProcura) {
        KillTimer(hwnd_, kTimerProcura);
        AplicaEscolha();
      }
      return 0;
    case WM_NOTIFY:
      return Notificacao(reinterpret_cast<NMHDR*>(lp));
    case WM_SIZE:
      Dispoe();
      return 0;
    case WM_GETMINMAXINFO: {
      RECT r{0, 0, Escala(kLarguraMinima), Escala(kAlturaMinima)};
      AdjustWindowRectExForDpi(&r, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT, dpi_);
      reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = {r.right - r.left, r.bottom - r.top};
      return 0;
    }
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wp);
      AplicaDpi();
      AplicaRetanguloSugerido(hwnd_, lp);
      Dispoe();
      return 0;
    }
    case WM_ACTIVATE:
      DevolveFoco(hwnd_, wp, foco_, lvOcorrencias);
      return 0;
    case WM_CLOSE:
      DestroyWindow(hwnd_);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      for (HWND* h : {&lblTabela, &cbTabela, &lblCampo, &cbCampo, &lblRegra, &cbRegra, &lblProcura,
                      &edProcura, &lblContagem, &btnExporta, &lvOcorrencias, &lblRegistro,
                      &lvRegistro, &Dicas})
        *h = nullptr;
      return 0;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT TfrmOcorrencias::Notificacao(NMHDR* nm) {
  if (nm->hwndFrom == lvOcorrencias) {
    switch (nm->code) {
      case LVN_GETDISPINFOW: {
        auto* d = reinterpret_cast<NMLVDISPINFOW*>(nm);
        if (!(d->item.mask & LVIF_TEXT) || d->item.cchTextMax <= 0) return 0;
        const auto linha = static_cast<std::size_t>(d->item.iItem);
        if (d->item.iItem < 0 || linha >= visao_.Linhas() || d->item.iSubItem < 0 ||
            d->item.iSubItem >= kNumColunas) {
          d->item.pszText[0] = L'\0';
          return 0;
        }
        textoCelula_ =
            DeCp1252(store_.Texto(visao_.Indice(linha), static_cast<Coluna>(d->item.iSubItem)));
        wcsncpy_s(d->item.pszText, static_cast<std::size_t>(d->item.cchTextMax),
                  textoCelula_.c_str(), _TRUNCATE);
        return 0;
      }
      case LVN_COLUMNCLICK:
        OrdenaPor(reinterpret_cast<NMLISTVIEW*>(nm)->iSubItem);
        return 0;
      case LVN_ITEMCHANGED: {
        const auto* v = reinterpret_cast<NMLISTVIEW*>(nm);
        if ((v->uChanged & LVIF_STATE) &&
            ((v->uOldState ^ v->uNewState) & (LVIS_SELECTED | LVIS_FOCUSED)))
          SegueSelecao();
        return 0;
      }
      case LVN_ODSTATECHANGED:
        SegueSelecao();
        return 0;
    }
  }
  if (nm->hwndFrom == lvRegistro && nm->code == NM_CUSTOMDRAW) {
    auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(nm);
    if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT &&
        static_cast<int>(cd->nmcd.dwItemSpec) == campoFalho_) {
      SelectObject(cd->nmcd.hdc, negrito_);
      return CDRF_NEWFONT;
    }
    return CDRF_DODEFAULT;
  }
  return 0;
}

void TfrmOcorrencias::SegueSelecao() {
  if (selecionando_) return;
  // The record of the focused row when it is selected, else of the first
  // selected one.
  int linha = ListView_GetNextItem(lvOcorrencias, -1, LVNI_FOCUSED | LVNI_SELECTED);
  if (linha < 0) linha = ListView_GetNextItem(lvOcorrencias, -1, LVNI_SELECTED);
  MostraRegistro(linha < 0 ? std::nullopt
                           : std::optional(visao_.Indice(static_cast<std::size_t>(linha))));
}

bool TfrmOcorrencias::TrataTecla(MSG& msg) {
  if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    // An open list closes first.
    for (HWND lista : {cbTabela, cbCampo, cbRegra})
      if (SendMessageW(lista, CB_GETDROPPEDSTATE, 0, 0)) return IsDialogMessageW(hwnd_, &msg);
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    return true;
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == 'C' && msg.hwnd == lvOcorrencias &&
      GetKeyState(VK_CONTROL) < 0) {
    Copia();
    return true;
  }
  return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

void TfrmOcorrencias::Mostra() {
  if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(lvOcorrencias);
}

// --- Filters and order ---------------------------------------------------------

void TfrmOcorrencias::Filtra(const FiltroOcorrencias& filtro) {
  SetWindowTextW(edProcura, DeCp1252(filtro.texto).c_str());
  // Setting the box's text asked for a search: this filter is the search.
  KillTimer(hwnd_, kTimerProcura);
  visao_.Filtra(filtro);
  Atualiza();
}

FiltroOcorrencias TfrmOcorrencias::FiltroEscolhido() const {
  auto escolhido = [](HWND lista, const std::vector<std::string>& nomes) {
    const auto k = SendMessageW(lista, CB_GETCURSEL, 0, 0);
    return k > 0 && static_cast<std::size_t>(k) <= nomes.size()
               ? std::optional(nomes[static_cast<std::size_t>(k) - 1])
               : std::nullopt;
  };
  FiltroOcorrencias f;
  f.tabela = escolhido(cbTabela, tabelas_);
  f.campo = escolhido(cbCampo, campos_);
  f.regra = escolhido(cbRegra, regras_);
  f.texto = Utf8ToCp1252(Utf8(TextoDe(edProcura)));
  return f;
}

void TfrmOcorrencias::AplicaEscolha() {
  const FiltroOcorrencias f = FiltroEscolhido();
  if (f == visao_.Filtro()) return;
  visao_.Filtra(f);
  Atualiza();
}

void TfrmOcorrencias::PreencheLista(HWND lista, const char* qualquer,
                                    const std::vector<Escolha>& escolhas,
                                    const std::optional<std::string>& escolhido,
                                    std::vector<std::string>& nomes) {
  SendMessageW(lista, WM_SETREDRAW, FALSE, 0);
  SendMessageW(lista, CB_RESETCONTENT, 0, 0);
  SendMessageW(lista, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(qualquer).c_str()));
  nomes.clear();
  int cursor = 0;
  for (const Escolha& e : escolhas) {
    nomes.push_back(e.nome);
    if (escolhido && e.nome == *escolhido) cursor = static_cast<int>(nomes.size());
    SendMessageW(lista, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf16(TextoEscolha(e)).c_str()));
  }
  SendMessageW(lista, CB_SETCURSEL, static_cast<WPARAM>(cursor), 0);
  SendMessageW(lista, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(lista, nullptr, TRUE);
}

void TfrmOcorrencias::Atualiza() {
  const FiltroOcorrencias& f = visao_.Filtro();
  PreencheLista(cbTabela, kQualquerTabela, visao_.Tabelas(), f.tabela, tabelas_);
  PreencheLista(cbCampo, kQualquerCampo, visao_.Campos(), f.campo, campos_);
  PreencheLista(cbRegra, kQualquerRegra, visao_.Regras(), f.regra, regras_);
  SetWindowTextW(
      lblContagem,
      Utf16(TextoContagem(visao_.Linhas(), store_.Tamanho(), parametros_().regional)).c_str());

  // The arrow of the column the rows are sorted by.
  HWND cabecalho = ListView_GetHeader(lvOcorrencias);
  for (int c = 0; c < kNumColunas; ++c) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(cabecalho, c, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (visao_.ColunaOrdem() && static_cast<int>(*visao_.ColunaOrdem()) == c)
      item.fmt |= visao_.Crescente() ? HDF_SORTUP : HDF_SORTDOWN;
    Header_SetItem(cabecalho, c, &item);
  }

  // The rows, keeping the shown finding's row selected where it still is;
  // its record stays as it was read.
  const std::optional<std::size_t> linha = mostrado_ ? visao_.LinhaDe(*mostrado_) : std::nullopt;
  selecionando_ = true;
  ListView_SetItemCountEx(lvOcorrencias, static_cast<int>(visao_.Linhas()), 0);
  Selecione(lvOcorrencias, linha ? static_cast<int>(*linha) : -1);
  selecionando_ = false;
  if (!linha) MostraRegistro(std::nullopt);
  InvalidateRect(lvOcorrencias, nullptr, FALSE);
}

void TfrmOcorrencias::OrdenaPor(int coluna) {
  if (coluna < 0 || coluna >= kNumColunas) return;
  // A click sorts up, a second one down, a third goes back to the order found.
  const auto c = static_cast<Coluna>(coluna);
  if (visao_.ColunaOrdem() != c)
    visao_.Ordena(c, true);
  else if (visao_.Crescente())
    visao_.Ordena(c, false);
  else
    visao_.Ordena(std::nullopt);
  Atualiza();
}

// --- The record ----------------------------------------------------------------

void TfrmOcorrencias::MostraRegistro(std::optional<std::size_t> indice) {
  if (indice == mostrado_) return;
  mostrado_ = indice;
  campoFalho_ = -1;
  SendMessageW(lvRegistro, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(lvRegistro);
  if (!indice) {
    SetWindowTextW(lblRegistro, L"");
  } else {
    std::string titulo = TituloRegistro(*indice, store_);
    try {
      const std::vector<CampoDoRegistro> campos =
          LeRegistro(std::string(store_.Arquivo(*indice)), store_.Registro(*indice));
      for (std::size_t k = 0; k < campos.size(); ++k) {
        std::wstring nome = DeCp1252(campos[k].nome), texto = DeCp1252(campos[k].texto);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(k);
        item.pszText = nome.data();
        ListView_InsertItem(lvRegistro, &item);
        ListView_SetItemText(lvRegistro, static_cast<int>(k), 1, texto.data());
        if (campos[k].nome == store_.Campo(*indice)) campoFalho_ = static_cast<int>(k);
      }
    } catch (const std::exception& e) {
      titulo += ": " + RegistroIlegivel(e);
    }
    SetWindowTextW(lblRegistro, Utf16(titulo).c_str());
    if (campoFalho_ >= 0) {
      ListView_SetItemState(lvRegistro, campoFalho_, LVIS_SELECTED, LVIS_SELECTED);
      ListView_EnsureVisible(lvRegistro, campoFalho_, FALSE);
    }
  }
  SendMessageW(lvRegistro, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(lvRegistro, nullptr, TRUE);
}

// --- Clipboard and export ------------------------------------------------------

std::vector<std::size_t> TfrmOcorrencias::Selecionados() const {
  std::vector<std::size_t> indices;
  for (int linha = ListView_GetNextItem(lvOcorrencias, -1, LVNI_SELECTED); linha >= 0;
       linha = ListView_GetNextItem(lvOcorrencias, linha, LVNI_SELECTED))
    indices.push_back(visao_.Indice(static_cast<std::size_t>(linha)));
  return indices;
}

void TfrmOcorrencias::Copia() {
  const std::vector<std::size_t> indices = Selecionados();
  if (indices.empty()) return;
  const std::wstring texto = Utf16(
      CsvDasOcorrencias(store_, indices, SeparadorCsv(parametros_().regional.DecimalSeparator)));
  const std::size_t bytes = (texto.size() + 1) * sizeof(wchar_t);
  HGLOBAL bloco = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!bloco) return;
  std::memcpy(GlobalLock(bloco), texto.c_str(), bytes);
  GlobalUnlock(bloco);
  if (!OpenClipboard(hwnd_)) {
    GlobalFree(bloco);
    return;
  }
  EmptyClipboard();
  // The clipboard owns the block once it took it.
  if (!SetClipboardData(CF_UNICODETEXT, bloco)) GlobalFree(bloco);
  CloseClipboard();
}

void TfrmOcorrencias::btnExportaClick() {
  const RunParameters params = parametros_();
  PedidoArquivo pedido;
  pedido.salvar = true;
  pedido.titulo = W(kTituloExportacaoOcorrencias);
  pedido.extensao = W(kExtensaoOcorrencias);
  pedido.filtros = {{L"Arquivos CSV (*.csv)", L"*.csv"}, {L"Todos os arquivos (*)", L"*"}};
  if (pastaExportacao_.empty()) pastaExportacao_ = PastaDocumentos();
  pedido.pasta = pastaExportacao_;
  // The main window waits while the view's dialogs are open: a run started
  // from it would take the findings away from under them.
  const bool habilitada = principal_ && !EnableWindow(principal_, FALSE);
  struct Reabilita {
    HWND h;
    bool sim;
    ~Reabilita() {
      if (sim) EnableWindow(h, TRUE);
    }
  } reabilita{principal_, habilitada};

  // As the log's export: a refused name, or an existing file the user keeps,
  // goes back to the dialog; the refusal comes before any question.
  std::wstring escolhido;
  std::string nome;
  for (;;) {
    const auto resposta = desktop_.EscolheArquivo(hwnd_, pedido);
    if (!resposta) return;
    escolhido = *resposta;
    nome = Utf8(escolhido);
    const fs::path caminho(escolhido);
    pedido.pasta = caminho.parent_path().wstring();
    pedido.nome = caminho.filename().wstring();
    if (const auto f = SaidaProibida(nome, ArquivosDaCritica(params))) {
      desktop_.Caixa(hwnd_, RecusaExportacao(nome, *f));
      continue;
    }
    if (GetFileAttributesW(escolhido.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !desktop_.Caixa(hwnd_, PerguntaSubstituicao(nome)))
      continue;
    break;
  }
  pastaExportacao_ = pedido.pasta;
  // The bytes of tolk-critica --detalhes under the same regional settings.
  const char separador = SeparadorCsv(params.regional.DecimalSeparator);
  std::string motivo;
  HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  const bool gravou = Grava(
      escolhido, [&](const auto& grava) { GravaCsv(store_, separador, grava); }, motivo);
  SetCursor(cursor);
  if (!gravou) desktop_.Caixa(hwnd_, FalhaGravacao(nome, motivo));
}

}  // namespace tolk
