// Hands a document to the desktop, which opens it with the program associated
// with its type, and reports a failure as a message box. Used by the export
// (the saved log) and by the help button (ZAVTolk.chm).
#pragma once

#include <QString>
#include <functional>

class QUrl;
class QWidget;

namespace tolk {

// The desktop's answer to a request to open a document: 0 to 32 are
// failures, anything above is success. Only the failure codes of the message
// table in AbrirDocumento.cpp carry a message.
inline constexpr int kArquivoNaoEncontrado = 2;  // the file does not exist
inline constexpr int kCaminhoNaoEncontrado = 3;  // its folder does not exist
inline constexpr int kSemAssociacao = 31;        // the desktop refused the request
inline constexpr int kDocumentoAberto = 42;      // any value above 32 means success

// Asks the desktop to open `path` and returns its answer as a code above.
// The existence tests come first, so a missing file never reaches the desktop.
int AbreNoDesktop(const QString& path);

// The message of a failure code; empty for success and for the failure codes
// that have none.
QString MensagemAbertura(int code);

// Opens `path` through AbreNoDesktop. A failure with a message is shown in a
// box owned by `window`: no icon, one OK button, the application's title as
// caption. Success is silent. Returns when the box is closed.
void AbrirDocumento(QWidget* window, const QString& path);

// The desktop's open service: true when it took the request. The default is
// QDesktopServices::openUrl; tests install their own so that nothing is
// launched. An empty function restores the default. Returns the previous one.
using DesktopOpener = std::function<bool(const QUrl&)>;
DesktopOpener SetDesktopOpener(DesktopOpener opener);

}  // namespace tolk
