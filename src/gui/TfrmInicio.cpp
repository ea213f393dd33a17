#include "gui/TfrmInicio.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QTranslator>
#include <algorithm>
#include <exception>
#include <functional>

#include "app/saidas.h"
#include "dataset/cp1252.h"
#include "front/regional.h"
#include "gui/AbrirDocumento.h"
#include "gui/TfrmOcorrencias.h"
#include "gui/dialogos.h"

namespace tolk {

namespace {

QString FromCp1252(const std::string& text) { return QString::fromStdString(Cp1252ToUtf8(text)); }

QString Nativo(const QString& path) { return QDir::toNativeSeparators(path); }

QRect Lugar(const Retangulo& r) { return QRect(r.x, r.y, r.largura, r.altura); }

// The named faces where they are installed; otherwise the font database
// picks the closest face of the same kind.
QFont FonteJanela() {
  QFont font(QStringLiteral("MS Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

// The log's columns line up only when every character has the same advance.
// The named face when it is installed (and really fixed-pitch); otherwise
// the desktop's fixed-pitch face. Asking for the name alone lets fontconfig
// answer with whatever face it aliases to it, proportional or not.
QFont FonteLog() {
  const QString nome = QStringLiteral("Courier New");
  QFont font = QFontDatabase::hasFamily(nome) && QFontDatabase::isFixedPitch(nome)
                   ? QFont(nome)
                   : QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSize(8);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

QIcon Glifo(QStyle::StandardPixmap pixmap) { return QApplication::style()->standardIcon(pixmap); }

// The log as a text file, written in one piece over any file of that name.
bool GravaLog(const QString& path, const std::vector<std::string>& lines, QString& error) {
  const std::string bytes = TextoExportado(lines);
  QSaveFile file(path);
  // A file that may be replaced in a folder that may not be written to is
  // still written, directly.
  file.setDirectWriteFallback(true);
  const auto size = static_cast<qint64>(bytes.size());
  if (file.open(QIODevice::WriteOnly) && file.write(bytes.data(), size) == size && file.commit())
    return true;
  error = file.errorString();
  return false;
}

}  // namespace

void IniciaAplicacao() {
  // Qt's own texts (the dialogs' buttons, the log's context menu) in the
  // desktop's language, where Qt's translations are installed.
  static QTranslator qtbase;
  if (qtbase.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(&qtbase);
  QApplication::setApplicationName(QStringLiteral("tolk-zav"));
  QApplication::setApplicationDisplayName(QString::fromUtf8(kTituloAplicacao));
  // The desktop finds the window's entry in the applications menu by its
  // name. The icon is the theme's, else the program's own (its resources),
  // else, in the tests, a glyph of the style's.
  QGuiApplication::setDesktopFileName(QStringLiteral("tolk-zav"));
  QIcon icone;
  for (const char* lado : {"48", "256"}) {
    const QString arquivo = QStringLiteral(":/icones/tolk-zav-%1.png").arg(QLatin1String(lado));
    if (QFile::exists(arquivo)) icone.addFile(arquivo);
  }
  if (icone.isNull()) icone = Glifo(QStyle::SP_FileDialogContentsView);
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tolk-zav"), icone));
}

TfrmInicio::TfrmInicio(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmInicio"));
  setWindowTitle(QString::fromUtf8(kTituloJanela));
  setFont(FonteJanela());
  // Opens where and as large as it was drawn; larger, the log shows more of
  // its 120 columns.
  move(kEsquerdaJanela, kTopoJanela);
  resize(kLarguraJanela, kAlturaJanela);
  setMinimumSize(kLarguraJanela, kAlturaJanela);
  pastaPrograma = QCoreApplication::applicationDirPath() + QLatin1Char('/');

  CriaControles();
  CriaDialogos();
  connect(SpeedButton4, &QToolButton::clicked, this, &TfrmInicio::SpeedButton4Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &TfrmInicio::SpeedButton3Click);
  connect(btnOk, &QPushButton::clicked, this, &TfrmInicio::btnOkClick);
  connect(btnAjuda, &QPushButton::clicked, this, &TfrmInicio::btnAjudaClick);
  connect(btnExporta, &QPushButton::clicked, this, &TfrmInicio::btnExportaClick);
  connect(btnFechar, &QPushButton::clicked, this, &QWidget::close);
  connect(btnOcorrencias, &QPushButton::clicked, this, &TfrmInicio::btnOcorrenciasClick);
  edLog->viewport()->installEventFilter(this);
}

// The controls in the order of the layout, each at its place.
void TfrmInicio::CriaControles() {
  Label3 = new QLabel(this);
  Coloca(Label3, "Label3");

  edArqRisco = new QLineEdit(this);
  Coloca(edArqRisco, "edArqRisco");

  SpeedButton4 = new QToolButton(this);
  SpeedButton4->setIcon(Glifo(QStyle::SP_DirOpenIcon));
  SpeedButton4->setFocusPolicy(Qt::NoFocus);
  Coloca(SpeedButton4, "SpeedButton4");

  Label4 = new QLabel(this);
  Coloca(Label4, "Label4");

  edArqSinistro = new QLineEdit(this);
  Coloca(edArqSinistro, "edArqSinistro");

  SpeedButton3 = new QToolButton(this);
  SpeedButton3->setIcon(Glifo(QStyle::SP_DirOpenIcon));
  SpeedButton3->setFocusPolicy(Qt::NoFocus);
  Coloca(SpeedButton3, "SpeedButton3");

  ProgressBar = new QProgressBar(this);
  ProgressBar->setOrientation(Qt::Vertical);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  Coloca(ProgressBar, "ProgressBar");

  // Outside a dialog a push button answers Enter only when it is a default
  // button, so every button is made one: Enter presses the focused button.
  btnOk = new QPushButton(Glifo(QStyle::SP_DialogApplyButton), QString(), this);
  btnOk->setAutoDefault(true);
  btnOk->setDefault(true);
  Coloca(btnOk, "btnOk");

  btnAjuda = new QPushButton(Glifo(QStyle::SP_MessageBoxQuestion), QString(), this);
  btnAjuda->setAutoDefault(true);
  Coloca(btnAjuda, "btnAjuda");

  btnExporta = new QPushButton(Glifo(QStyle::SP_DialogSaveButton), QString(), this);
  btnExporta->setAutoDefault(true);
  Coloca(btnExporta, "btnExporta");

  btnFechar = new QPushButton(Glifo(QStyle::SP_DialogCloseButton), QString(), this);
  btnFechar->setAutoDefault(true);
  Coloca(btnFechar, "btnFechar");

  btnOcorrencias = new QPushButton(Glifo(QStyle::SP_FileDialogDetailedView), QString(), this);
  btnOcorrencias->setAutoDefault(true);
  btnOcorrencias->setEnabled(false);
  Coloca(btnOcorrencias, "btnOcorrencias");

  // The log's columns line up only in a fixed-pitch font and unwrapped.
  edLog = new QPlainTextEdit(this);
  edLog->setReadOnly(true);
  edLog->setFont(FonteLog());
  edLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  edLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edLog->setTabChangesFocus(true);
  edLog->setUndoRedoEnabled(false);
  Coloca(edLog, "edLog");

  QWidget* anterior = nullptr;
  for (const char* nome : kOrdemTab) {
    auto* control = findChild<QWidget*>(QString::fromLatin1(nome), Qt::FindDirectChildrenOnly);
    if (anterior) setTabOrder(anterior, control);
    anterior = control;
  }
}
void TfrmInicio::CriaDialogos() {
  // The pickers show dBASE tables first, whatever the case of their
  // extension, under the dialog's standard caption.
  Openfile = new QFileDialog(this);
  Openfile->setObjectName(QStringLiteral("Openfile"));
  Openfile->setAcceptMode(QFileDialog::AcceptOpen);
  Openfile->setFileMode(QFileDialog::AnyFile);
  Openfile->setNameFilters(
      {QStringLiteral("Tabelas dBASE (*.dbf)"), QStringLiteral("Todos os arquivos (*)")});
  Openfile->setFilter(Openfile->filter() & ~QDir::CaseSensitive);

  SaveDialog1 = new DialogoExportacao(this, QString::fromUtf8(kTituloExportacao),
                                      QString::fromUtf8(kExtensaoExportacao),
                                      [this](const QString& path) { return PodeExportar(path); });
  SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));

  auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
  connect(f1, &QShortcut::activated, this, &TfrmInicio::btnAjudaClick);
}

// The view reads the store, which goes before the window's children do.
TfrmInicio::~TfrmInicio() { delete frmOcorrencias; }

void TfrmInicio::Coloca(QWidget* control, const char* name) {
  const ControleJanela& linha = Controle(name);
  control->setObjectName(QString::fromLatin1(name));
  if (*linha.texto) control->setProperty("text", QString::fromUtf8(linha.texto));
  if (*linha.dica) control->setToolTip(QString::fromUtf8(linha.dica));
  const Retangulo& r = linha.lugar;
  control->setGeometry(r.largura > 0 ? Lugar(r) : QRect(QPoint(r.x, r.y), control->sizeHint()));
  if (linha.bordas != kBordasFixas) ancoras_.push_back({control, &linha});
}

void TfrmInicio::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  for (const Ancora& a : ancoras_)
    a.control->setGeometry(Lugar(Ancorado(*a.linha, width(), height())));
}

void TfrmInicio::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  // The log keeps Enter to itself, as a multi-line box does.
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
      focusWidget() != edLog) {
    btnOk->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TfrmInicio::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted() && frmOcorrencias) frmOcorrencias->close();
}

bool TfrmInicio::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edLog->viewport() && event->type() == QEvent::MouseButtonDblClick &&
      btnOcorrencias->isEnabled()) {
    const QPoint onde = static_cast<QMouseEvent*>(event)->position().toPoint();
    const int linha = edLog->cursorForPosition(onde).blockNumber();
    if (const auto filtro = FiltroDaLinha(linhas_, static_cast<std::size_t>(linha))) {
      AbreOcorrencias(filtro);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// --- The pickers -----------------------------------------------------------

void TfrmInicio::Escolhe(QLineEdit* box) {
  // The folder of the file the box names, else the home folder.
  const QFileInfo atual(box->text().trimmed());
  if (!box->text().trimmed().isEmpty() && atual.absoluteDir().exists()) {
    Openfile->setDirectory(atual.absoluteDir());
    Openfile->selectFile(atual.isFile() ? atual.fileName() : QString());
  } else {
    Openfile->setDirectory(QDir::home());
    Openfile->selectFile(QString());
  }
  if (Openfile->exec() != QDialog::Accepted) return;
  const QStringList files = Openfile->selectedFiles();
  if (!files.isEmpty()) box->setText(QDir::toNativeSeparators(files.first()));
}

void TfrmInicio::SpeedButton4Click() { Escolhe(edArqRisco); }

void TfrmInicio::SpeedButton3Click() { Escolhe(edArqSinistro); }

// --- The run ---------------------------------------------------------------

RunParameters TfrmInicio::Parametros() const {
  RunParameters params;
  // File names go to the system as its own bytes, blanks and all.
  params.riskPath = QFile::encodeName(edArqRisco->text()).toStdString();
  params.claimPath = QFile::encodeName(edArqSinistro->text()).toStdString();
  params.programFolder = QFile::encodeName(pastaPrograma).toStdString();
  params.regional = RegionalSettings(regional);
  params.clock = relogio;
  params.clockContext = relogioContexto;
  return params;
}

void TfrmInicio::btnOkClick() {
  const RunParameters params = Parametros();
  repintura_.invalidate();
  ocorrencias_.Limpa();
  AtualizaOcorrencias();
  try {
    critica_.Executa(params, *this);
  } catch (const std::exception& e) {
    // The log keeps what the run wrote and the progress bar its position;
    // the findings counted before the error stay to be seen.
    AtualizaOcorrencias();
    Mostra(AvisoDeErro(e, params, critica_.Estado().tabelaAtual));
  }
}

void TfrmInicio::Mostra(const Aviso& aviso) { MostraAviso(this, aviso); }

void TfrmInicio::AddLine(const std::string& line) {
  linhas_.push_back(line);
  QTextCursor cursor(edLog->document());
  cursor.movePosition(QTextCursor::End);
  // The first line goes into the empty block a cleared document keeps.
  if (linhas_.size() > 1) cursor.insertBlock();
  cursor.insertText(FromCp1252(line));
  // The log follows its last line, as it is written.
  QScrollBar* bar = edLog->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void TfrmInicio::ReplaceLine(int index, const std::string& line) {
  if (index < 0 || static_cast<std::size_t>(index) >= linhas_.size()) return;
  linhas_[static_cast<std::size_t>(index)] = line;
  QTextCursor cursor(edLog->document()->findBlockByNumber(index));
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(FromCp1252(line));
}

void TfrmInicio::ClearLog() {
  linhas_.clear();
  edLog->clear();
}

void TfrmInicio::SetProgress(int position) {
  if (position == ProgressBar->value()) return;
  ProgressBar->setValue(position);
  Repinta();
}

void TfrmInicio::RecordsRead(const std::string& /*table*/, long long /*count*/) {
  if (repintura_.isValid() && repintura_.elapsed() < intervaloRepintura) return;
  Repinta();
}

void TfrmInicio::Repinta() {
  repintura_.start();
  ProgressBar->repaint();
  // The text pane and the scroll bars are children of edLog; repainting
  // edLog itself paints only its frame.
  edLog->viewport()->repaint();
  edLog->verticalScrollBar()->repaint();
  edLog->horizontalScrollBar()->repaint();
}

void TfrmInicio::ShowFinalMessage(const std::string& text) {
  AtualizaOcorrencias();
  Mostra(AvisoFinal(text, critica_.Estado()));
}

void TfrmInicio::AddFinding(const Finding& finding) { ocorrencias_.Adiciona(finding); }

// --- The findings ------------------------------------------------------------

void TfrmInicio::AtualizaOcorrencias() {
  btnOcorrencias->setEnabled(!ocorrencias_.Vazia());
  if (!frmOcorrencias) return;
  frmOcorrencias->regional = RegionalSettings(regional);
  frmOcorrencias->Recarrega();
}

void TfrmInicio::AbreOcorrencias(const std::optional<FiltroOcorrencias>& filtro) {
  if (!frmOcorrencias) {
    frmOcorrencias = new TfrmOcorrencias(ocorrencias_, this);
    frmOcorrencias->podeGravar = [this](const QString& path) { return PodeExportar(path); };
    frmOcorrencias->regional = RegionalSettings(regional);
    frmOcorrencias->Recarrega();
    // Beside the window where the screen has room, else as far right as it
    // fits, its top level with the window's: the log stays in sight.
    const QRect tela = screen()->availableGeometry();
    const QRect janela = frameGeometry();
    // Its frame will be as wide as this window's.
    const int largura = frmOcorrencias->width() + janela.width() - width();
    frmOcorrencias->move(
        std::max(tela.left(), std::min(janela.right() + 8, tela.right() - largura)),
        std::max(tela.top(), janela.top()));
  }
  if (filtro) frmOcorrencias->Filtra(*filtro);
  frmOcorrencias->show();
  frmOcorrencias->raise();
  frmOcorrencias->activateWindow();
}

void TfrmInicio::btnOcorrenciasClick() { AbreOcorrencias(); }

// --- Export and help -------------------------------------------------------

bool TfrmInicio::PodeExportar(const QString& path) {
  const auto f =
      SaidaProibida(QFile::encodeName(path).toStdString(), ArquivosDaCritica(Parametros()));
  if (!f) return true;
  Mostra(RecusaExportacao(Nativo(path).toStdString(), *f));
  return false;
}

void TfrmInicio::btnExportaClick() {
  if (SaveDialog1->exec() != QDialog::Accepted) return;
  const QStringList files = SaveDialog1->selectedFiles();
  // A dialog of the desktop's own closes without asking this window first.
  if (files.isEmpty() || !PodeExportar(files.first())) return;
  const std::string nome = Nativo(files.first()).toStdString();
  QString error;
  if (!GravaLog(files.first(), linhas_, error)) {
    Mostra(FalhaGravacao(nome, error.toStdString()));
    return;
  }
  const Aviso aviso = AvisoExportado(AbreNoDesktop(files.first()), nome);
  if (!aviso.texto.empty()) Mostra(aviso);
}

void TfrmInicio::btnAjudaClick() {
  const Aviso aviso = AbreAjuda(Nativo(pastaPrograma).toStdString(), [](const std::string& path) {
    return AbreNoDesktop(QString::fromStdString(path));
  });
  if (!aviso.texto.empty()) Mostra(aviso);
}

}  // namespace tolk
