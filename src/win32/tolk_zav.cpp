// tolk-zav on Windows: the validation window.
#include <windows.h>
// After windows.h: the common controls' and COM's declarations.
#include <commctrl.h>
#include <objbase.h>

#include <exception>

#include "platform/system.h"
#include "win32/TfrmInicio.h"

int WINAPI wWinMain(HINSTANCE instancia, HINSTANCE, PWSTR, int mostra) {
  // The shell opens documents (the export, the help) on a single-threaded
  // apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controles{sizeof controles,
                                 ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controles);
  int codigo = 1;
  try {
    tolk::TfrmInicio frmInicio(instancia);
    frmInicio.encerraAoFechar = true;
    ShowWindow(frmInicio.frmInicio(), mostra);
    UpdateWindow(frmInicio.frmInicio());
    codigo = tolk::LacoDeMensagens(frmInicio);
  } catch (const std::exception& e) {
    MessageBoxW(nullptr, tolk::Utf16(e.what()).c_str(), tolk::Utf16(tolk::kTituloAplicacao).c_str(),
                MB_OK | MB_ICONERROR);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return codigo;
}
