#include "win32/utilidades.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "dataset/cp1252.h"
#include "platform/system.h"
#include "win32/recursos.h"

namespace tolk {

void RegistraJanela(HINSTANCE instancia, const wchar_t* nome, WNDPROC procedimento) {
  WNDCLASSEXW classe{};
  classe.cbSize = sizeof classe;
  if (GetClassInfoExW(instancia, nome, &classe)) return;
  classe.cbSize = sizeof classe;
  classe.lpfnWndProc = procedimento;
  classe.hInstance = instancia;
  auto icone = [instancia](int x, int y) {
    return static_cast<HICON>(LoadImageW(instancia, MAKEINTRESOURCEW(IDI_TOLK_ZAV), IMAGE_ICON,
                                         GetSystemMetrics(x), GetSystemMetrics(y), LR_SHARED));
  };
  classe.hIcon = icone(SM_CXICON, SM_CYICON);
  classe.hIconSm = icone(SM_CXSMICON, SM_CYSMICON);
  classe.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  classe.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  classe.lpszClassName = nome;
  if (!RegisterClassExW(&classe)) throw std::runtime_error("RegisterClassExW: " + Utf8(nome));
}

void* DonoDaJanela(HWND hwnd, UINT msg, LPARAM lp) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(
        hwnd, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  return reinterpret_cast<void*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LOGFONTW FonteDaJanela(UINT dpi) {
  LOGFONTW fonte{};
  fonte.lfHeight = -MulDiv(8, static_cast<int>(dpi), 72);
  fonte.lfCharSet = DEFAULT_CHARSET;
  fonte.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  wcscpy_s(fonte.lfFaceName, L"MS Sans Serif");
  return fonte;
}

void DevolveFoco(HWND janela, WPARAM wp, HWND& foco, HWND primeiro) {
  if (LOWORD(wp) == WA_INACTIVE) {
    HWND atual = GetFocus();
    if (atual && IsChild(janela, atual)) foco = atual;
  } else {
    SetFocus(foco && IsWindow(foco) ? foco : primeiro);
  }
}

void AplicaRetanguloSugerido(HWND janela, LPARAM lp) {
  const RECT* r = reinterpret_cast<const RECT*>(lp);
  SetWindowPos(janela, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND CriaDicas(HINSTANCE instancia, HWND dono) {
  return CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                         WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, dono, nullptr, instancia, nullptr);
}

void AdicionaDica(HWND dicas, HWND dono, HWND controle, const char* dica) {
  std::wstring texto = Utf16(dica);
  TTTOOLINFOW ferramenta{};
  ferramenta.cbSize = sizeof ferramenta;
  ferramenta.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ferramenta.hwnd = dono;
  ferramenta.uId = reinterpret_cast<UINT_PTR>(controle);
  ferramenta.lpszText = texto.data();
  SendMessageW(dicas, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ferramenta));
}

std::wstring TextoDe(HWND controle) {
  std::wstring texto(static_cast<std::size_t>(GetWindowTextLengthW(controle)) + 1, L'\0');
  texto.resize(static_cast<std::size_t>(
      GetWindowTextW(controle, texto.data(), static_cast<int>(texto.size()))));
  return texto;
}

std::wstring DeCp1252(std::string_view texto) {
  std::wstring w = Utf16(Cp1252ToUtf8(texto));
  for (wchar_t& c : w)
    if (c == L'\r' || c == L'\n' || c == L'\0') c = L' ';
  return w;
}

std::string TextoDoErro(DWORD erro) {
  wchar_t* texto = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, erro, 0, reinterpret_cast<wchar_t*>(&texto), 0, nullptr);
  std::wstring w = n ? std::wstring(texto, n) : L"erro " + std::to_wstring(erro);
  LocalFree(texto);
  while (!w.empty() &&
         (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' ' || w.back() == L'.'))
    w.pop_back();
  return Utf8(w);
}

std::wstring PastaDocumentos() {
  wchar_t pasta[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, pasta)))
    return {};
  return pasta;
}

bool Grava(const std::wstring& caminho,
           const std::function<void(const std::function<void(std::string_view)>&)>& produz,
           std::string& motivo) {
  const HANDLE h = CreateFileW(caminho.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    motivo = TextoDoErro(GetLastError());
    return false;
  }
  // The first failure is the one reported; the pieces after it are dropped.
  DWORD erro = ERROR_SUCCESS;
  produz([&](std::string_view pedaco) {
    while (erro == ERROR_SUCCESS && !pedaco.empty()) {
      const auto n = static_cast<DWORD>(std::min<std::size_t>(pedaco.size(), 1u << 30));
      DWORD escritos = 0;
      if (!WriteFile(h, pedaco.data(), n, &escritos, nullptr)) erro = GetLastError();
      if (erro == ERROR_SUCCESS && escritos == 0) erro = ERROR_WRITE_FAULT;
      pedaco.remove_prefix(escritos);
    }
  });
  if (!CloseHandle(h) && erro == ERROR_SUCCESS) erro = GetLastError();
  if (erro != ERROR_SUCCESS) motivo = TextoDoErro(erro);
  return erro == ERROR_SUCCESS;
}

}  // namespace tolk
