#include "gui/AbrirDocumento.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tolk {

namespace {

// What `xdg-mime query ...` answers, trimmed; empty when it cannot answer.
QString XdgMime(const QString& xdgMime, const QStringList& query) {
  QProcess p;
  p.start(xdgMime, QStringList{QStringLiteral("query")} + query);
  if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit) return {};
  return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// Whether the desktop has a program for a local file: the type xdg-open will
// see (by content as well as by name: an empty text file is no text file to
// it) and that type's default program. True when xdg-mime cannot tell.
bool DesktopHasProgramFor(const QUrl& url) {
  if (!url.isLocalFile()) return true;
  const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (xdgMime.isEmpty()) return true;
  const QString path = url.toLocalFile();
  QString type = XdgMime(xdgMime, {QStringLiteral("filetype"), path});
  if (type.isEmpty()) type = QMimeDatabase().mimeTypeForFile(path).name();
  return !XdgMime(xdgMime, {QStringLiteral("default"), type}).isEmpty();
}

// xdg-open takes any file and, for a type without a program, hands it to
// whatever it finds (a browser offering to download a help file) or to
// nothing at all, and the request still counts as taken: ask first.
bool OpenWithDesktop(const QUrl& url) {
  return DesktopHasProgramFor(url) && QDesktopServices::openUrl(url);
}

DesktopOpener& Opener() {
  static DesktopOpener opener = &OpenWithDesktop;
  return opener;
}

}  // namespace

int AbreNoDesktop(const QString& path) {
  if (path.isEmpty()) return kArquivoNaoEncontrado;
  const QFileInfo info(path);
  if (!info.exists())
    return QFileInfo(info.absolutePath()).isDir() ? kArquivoNaoEncontrado : kCaminhoNaoEncontrado;
  return Opener()(QUrl::fromLocalFile(info.absoluteFilePath())) ? kDocumentoAberto : kSemAssociacao;
}

void AbrirDocumento(QWidget* window, const QString& path) {
  const QString text = QString::fromStdString(MensagemAbertura(AbreNoDesktop(path)));
  if (text.isEmpty()) return;
  QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, window);
  box.exec();
}

DesktopOpener SetDesktopOpener(DesktopOpener opener) {
  DesktopOpener previous = std::move(Opener());
  Opener() = opener ? std::move(opener) : DesktopOpener(&OpenWithDesktop);
  return previous;
}

}  // namespace tolk
