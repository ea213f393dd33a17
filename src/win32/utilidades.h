// Small pieces both windows of the Windows front use: texts between the
// controls' UTF-16 and the program's UTF-8 and Windows-1252, the system's
// error texts, the user's documents folder, writing a whole file, and what
// every top-level window of theirs does alike (its class, its face, hints).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace tolk {

// Registers, once, the class `nome` of a top-level window of the program:
// the program's icon, the arrow cursor, the dialog face's colour. Raises an
// error naming the class when the system refuses it.
void RegistraJanela(HINSTANCE instancia, const wchar_t* nome, WNDPROC procedimento);
// The object a window procedure serves: the parameter given to
// CreateWindowExW, kept with the window from WM_NCCREATE on; null before.
void* DonoDaJanela(HWND hwnd, UINT msg, LPARAM lp);
// The face of the program's windows: 8 points at `dpi`.
LOGFONTW FonteDaJanela(UINT dpi);
// WM_ACTIVATE of a window that is not a dialog: the system gives the focus
// to the window itself, so the control that had it is kept in `foco` when
// the window goes inactive and gets it back (else `primeiro`) when it comes back.
void DevolveFoco(HWND janela, WPARAM wp, HWND& foco, HWND primeiro);
// WM_DPICHANGED: the window takes the place and size the system suggests.
void AplicaRetanguloSugerido(HWND janela, LPARAM lp);
// The hints of the controls of `dono`, and one more (UTF-8) for `controle`.
HWND CriaDicas(HINSTANCE instancia, HWND dono);
void AdicionaDica(HWND dicas, HWND dono, HWND controle, const char* dica);

// The text of a control or window.
std::wstring TextoDe(HWND controle);

// A Windows-1252 text as a control shows it. A line break inside it becomes
// a blank: in the log it would shift the lines that follow.
std::wstring DeCp1252(std::string_view texto);

// The system's text for an error code, without the final period and line end.
std::string TextoDoErro(DWORD erro);

// The user's documents folder, where a dialog starts when nothing says
// otherwise; empty when the system has none.
std::wstring PastaDocumentos();

// Writes the file `caminho`, replacing any file of that name, with what
// `produz` hands to the function it is given, piece by piece. False with the
// system's reason when it could not be created or written.
bool Grava(const std::wstring& caminho,
           const std::function<void(const std::function<void(std::string_view)>&)>& produz,
           std::string& motivo);

}  // namespace tolk
