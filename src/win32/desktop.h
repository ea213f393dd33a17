// What the window asks of the desktop besides its own controls: message
// boxes, the open and save dialogs, and opening a document with the program
// associated with its type. Each is modal or hands the file to another
// program; a test gives the window its own Desktop, which answers at once
// and launches nothing.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/janela.h"

namespace tolk {

// What a file dialog is opened with.
struct PedidoArquivo {
  bool salvar = false;    // the save dialog; otherwise the open dialog
  std::wstring titulo;    // empty: the dialog's own
  std::wstring pasta;     // the folder it starts in
  std::wstring nome;      // the name it proposes
  std::wstring extensao;  // added to a name typed without one ("txt")
  // Description and pattern ("Tabelas dBASE (*.dbf)", "*.dbf"), the first
  // one chosen.
  std::vector<std::pair<std::wstring, std::wstring>> filtros;
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  // Shows `aviso` in a box owned by `dono` with kTituloAplicacao as caption,
  // and returns when it is closed: true for OK, and for Yes to a question.
  virtual bool Caixa(HWND dono, const Aviso& aviso);

  // The file the user confirms in the dialog `pedido` describes; nothing
  // when the dialog is cancelled. The save dialog does not ask about an
  // existing file: the window asks, after its own checks.
  virtual std::optional<std::wstring> EscolheArquivo(HWND dono, const PedidoArquivo& pedido);

  // Asks the shell to open `caminho` with its program (ShellExecuteW, no
  // verb) and returns its answer: 0 to 32 a failure code (kArquivoNaoEncontrado,
  // kSemAssociacao, ...), kDocumentoAberto for success.
  virtual int AbreDocumento(HWND dono, const std::wstring& caminho);
};

// The desktop of the system.
Desktop& DesktopDoSistema();

}  // namespace tolk
