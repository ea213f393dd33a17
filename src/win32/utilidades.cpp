#include "win32/utilidades.h"

#include <shlobj.h>

#include <algorithm>

#include "dataset/cp1252.h"
#include "platform/system.h"

namespace tolk {

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
