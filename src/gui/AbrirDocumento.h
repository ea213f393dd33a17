// Hands a document to the desktop, which opens it with the program associated
// with its type, and reports a failure as a message box. Used by the export
// (the saved log) and by the help button (ZAVTolk.chm).
#pragma once

#include <QString>
#include <functional>

#include "app/janela.h"

class QUrl;
class QWidget;

namespace tolk {

// Asks the desktop to open `path` and returns its answer as one of the codes
// of app/janela.h: kArquivoNaoEncontrado, kCaminhoNaoEncontrado,
// kSemAssociacao or kDocumentoAberto. The existence tests come first, so a
// missing file never reaches the desktop.
int AbreNoDesktop(const QString& path);

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
