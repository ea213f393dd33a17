#include "win32/desktop.h"

#include <commdlg.h>
#include <shellapi.h>

#include "platform/system.h"

namespace tolk {

namespace {

constexpr UINT kEstilos[] = {
    MB_OK,                                       // Aviso::kNenhum
    MB_OK | MB_ICONINFORMATION,                  // Aviso::kInformacao
    MB_OK | MB_ICONERROR,                        // Aviso::kErro
    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2,  // Aviso::kPergunta: No unless the user says Yes
};

// A file name longer than MAX_PATH is still a name the dialog may return.
constexpr DWORD kMaiorNome = 32768;

}  // namespace

bool Desktop::Caixa(HWND dono, const Aviso& aviso) {
  std::string texto = aviso.texto;
  if (!aviso.detalhe.empty()) texto += "\n\n" + aviso.detalhe;
  const int botao = MessageBoxW(dono, Utf16(texto).c_str(), Utf16(kTituloAplicacao).c_str(),
                                kEstilos[aviso.icone]);
  return botao == IDOK || botao == IDYES;
}

std::optional<std::wstring> Desktop::EscolheArquivo(HWND dono, const PedidoArquivo& pedido) {
  // "description\0pattern\0...\0\0"
  std::wstring filtro;
  for (const auto& [descricao, padrao] : pedido.filtros) {
    filtro += descricao;
    filtro += L'\0';
    filtro += padrao;
    filtro += L'\0';
  }
  std::wstring arquivo(kMaiorNome, L'\0');
  pedido.nome.copy(arquivo.data(), kMaiorNome - 1);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = dono;
  ofn.lpstrFilter = filtro.empty() ? nullptr : filtro.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = arquivo.data();
  ofn.nMaxFile = kMaiorNome;
  ofn.lpstrInitialDir = pedido.pasta.empty() ? nullptr : pedido.pasta.c_str();
  ofn.lpstrTitle = pedido.titulo.empty() ? nullptr : pedido.titulo.c_str();
  ofn.lpstrDefExt = pedido.extensao.empty() ? nullptr : pedido.extensao.c_str();
  // The dialog never changes the process's current folder: a relative name
  // typed in a box means the same before and after.
  ofn.Flags =
      OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
  const BOOL ok = pedido.salvar ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!ok) return std::nullopt;
  return std::wstring(arquivo.c_str());
}

int Desktop::AbreDocumento(HWND dono, const std::wstring& caminho) {
  const auto resposta = reinterpret_cast<INT_PTR>(
      ShellExecuteW(dono, nullptr, caminho.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  // Success is any value above 32, which need not fit an int.
  return resposta > 32 ? kDocumentoAberto : static_cast<int>(resposta);
}

Desktop& DesktopDoSistema() {
  static Desktop desktop;
  return desktop;
}

}  // namespace tolk
