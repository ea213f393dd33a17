#include "gui/TfrmInicio.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QTranslator>
#include <exception>
#include <functional>

#include "app/explicacoes.h"
#include "app/saidas.h"
#include "dataset/cp1252.h"
#include "front/regional.h"
#include "gui/AbrirDocumento.h"

namespace tolk {

namespace {

// The client area the layout was drawn for; the anchors measure from it.
constexpr int kLargura = 651;
constexpr int kAltura = 483;

QString FromCp1252(const std::string& text) { return QString::fromStdString(Cp1252ToUtf8(text)); }

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
  error = QStringLiteral("Não foi possível gravar \"%1\": %2")
              .arg(QDir::toNativeSeparators(path), file.errorString());
  return false;
}

// The export's dialog. The file the user confirms is first checked against
// the run's files, while the dialog is still open: a refused name never
// reaches the question about replacing a file, and the user picks another.
class DialogoExportacao : public QFileDialog {
 public:
  DialogoExportacao(QWidget* parent, std::function<bool(const QString&)> aceita)
      : QFileDialog(parent, QStringLiteral("Exporta resultado ZAV"), QDir::homePath()),
        aceita_(std::move(aceita)) {}

  void accept() override {
    const QStringList files = selectedFiles();
    if (!files.isEmpty() && !aceita_(files.first())) return;
    QFileDialog::accept();
  }

 private:
  std::function<bool(const QString&)> aceita_;
};

// A message box of the application: its title, one OK button.
void Caixa(QWidget* parent, QMessageBox::Icon icon, const QString& text,
           const QString& informative = {}) {
  QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::Ok, parent);
  box.setInformativeText(informative);
  box.exec();
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
  QApplication::setApplicationDisplayName(QString::fromLatin1(kTituloAplicacao));
  QApplication::setWindowIcon(Glifo(QStyle::SP_FileDialogContentsView));
}

TfrmInicio::TfrmInicio(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmInicio"));
  setWindowTitle(QStringLiteral("VARNE - Sistema de Críticas de Dados do TOLK - AGOSTO 2017"));
  setFont(FonteJanela());
  // Opens where and as large as it was drawn; larger, the log shows more of
  // its 120 columns.
  move(227, 132);
  resize(kLargura, kAltura);
  setMinimumSize(kLargura, kAltura);
  pastaPrograma = QCoreApplication::applicationDirPath() + QLatin1Char('/');

  CriaControles();
  CriaDialogos();
  connect(SpeedButton4, &QToolButton::clicked, this, &TfrmInicio::SpeedButton4Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &TfrmInicio::SpeedButton3Click);
  connect(btnOk, &QPushButton::clicked, this, &TfrmInicio::btnOkClick);
  connect(btnAjuda, &QPushButton::clicked, this, &TfrmInicio::btnAjudaClick);
  connect(btnExporta, &QPushButton::clicked, this, &TfrmInicio::btnExportaClick);
  connect(btnFechar, &QPushButton::clicked, this, &QWidget::close);
}

// The controls in the order of the layout, each at its place.
void TfrmInicio::CriaControles() {
  Label3 = new QLabel(QStringLiteral("Arquivo de Riscos"), this);
  Coloca(Label3, "Label3", QRect(QPoint(4, 4), Label3->sizeHint()));

  edArqRisco = new QLineEdit(this);
  edArqRisco->setToolTip(QStringLiteral("Local e nome do arquivo de riscos"));
  Coloca(edArqRisco, "edArqRisco", QRect(4, 19, 445, 21));

  SpeedButton4 = new QToolButton(this);
  SpeedButton4->setIcon(Glifo(QStyle::SP_DirOpenIcon));
  SpeedButton4->setToolTip(QStringLiteral("Defina o arquivo de riscos"));
  SpeedButton4->setFocusPolicy(Qt::NoFocus);
  Coloca(SpeedButton4, "SpeedButton4", QRect(455, 19, 22, 22));

  Label4 = new QLabel(QStringLiteral("Arquivo de Sinistros"), this);
  Coloca(Label4, "Label4", QRect(QPoint(4, 47), Label4->sizeHint()));

  edArqSinistro = new QLineEdit(this);
  edArqSinistro->setToolTip(QStringLiteral("Local e nome do arquivo de sinistros"));
  Coloca(edArqSinistro, "edArqSinistro", QRect(4, 62, 445, 21));

  SpeedButton3 = new QToolButton(this);
  SpeedButton3->setIcon(Glifo(QStyle::SP_DirOpenIcon));
  SpeedButton3->setToolTip(QStringLiteral("Defina o arquivo de sinistros"));
  SpeedButton3->setFocusPolicy(Qt::NoFocus);
  Coloca(SpeedButton3, "SpeedButton3", QRect(455, 62, 22, 22));

  ProgressBar = new QProgressBar(this);
  ProgressBar->setOrientation(Qt::Vertical);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  Coloca(ProgressBar, "ProgressBar", QRect(494, 4, 13, 88));

  // Outside a dialog a push button answers Enter only when it is a default
  // button, so every button is made one: Enter presses the focused button.
  btnOk = new QPushButton(Glifo(QStyle::SP_DialogApplyButton), QStringLiteral("&Criticar"), this);
  btnOk->setAutoDefault(true);
  btnOk->setDefault(true);
  Coloca(btnOk, "btnOk", QRect(526, 4, 90, 25), Qt::TopEdge | Qt::RightEdge);

  btnAjuda = new QPushButton(Glifo(QStyle::SP_MessageBoxQuestion), QString(), this);
  btnAjuda->setToolTip(QStringLiteral("Ajuda"));
  btnAjuda->setAutoDefault(true);
  Coloca(btnAjuda, "btnAjuda", QRect(622, 4, 25, 25), Qt::TopEdge | Qt::RightEdge);

  btnExporta = new QPushButton(Glifo(QStyle::SP_DialogSaveButton),
                               QStringLiteral("Exporta Resultado"), this);
  btnExporta->setToolTip(QStringLiteral("Exporta para TXT"));
  btnExporta->setAutoDefault(true);
  Coloca(btnExporta, "btnExporta", QRect(526, 35, 121, 25), Qt::TopEdge | Qt::RightEdge);

  btnFechar = new QPushButton(Glifo(QStyle::SP_DialogCloseButton), QStringLiteral("&Fechar"), this);
  btnFechar->setToolTip(QStringLiteral("Sai do programa"));
  btnFechar->setAutoDefault(true);
  Coloca(btnFechar, "btnFechar", QRect(526, 67, 121, 25), Qt::TopEdge | Qt::RightEdge);

  // The log's columns line up only in a fixed-pitch font and unwrapped.
  edLog = new QPlainTextEdit(this);
  edLog->setToolTip(QStringLiteral("Resultado do teste"));
  edLog->setReadOnly(true);
  edLog->setFont(FonteLog());
  edLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  edLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edLog->setTabChangesFocus(true);
  edLog->setUndoRedoEnabled(false);
  Coloca(edLog, "edLog", QRect(4, 99, 642, 380),
         Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);

  setTabOrder(edArqRisco, edArqSinistro);
  setTabOrder(edArqSinistro, btnOk);
  setTabOrder(btnOk, btnFechar);
  setTabOrder(btnFechar, edLog);
  setTabOrder(edLog, btnExporta);
  setTabOrder(btnExporta, btnAjuda);
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

  SaveDialog1 =
      new DialogoExportacao(this, [this](const QString& path) { return PodeExportar(path); });
  SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
  SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
  SaveDialog1->setDefaultSuffix(QStringLiteral("txt"));
  SaveDialog1->selectFile(QStringLiteral("*.txt"));

  auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
  connect(f1, &QShortcut::activated, this, &TfrmInicio::btnAjudaClick);
}

TfrmInicio::~TfrmInicio() = default;

void TfrmInicio::Coloca(QWidget* control, const char* name, const QRect& place, Qt::Edges anchors) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(place);
  if (anchors != (Qt::LeftEdge | Qt::TopEdge)) ancoras_.push_back({control, place, anchors});
}

void TfrmInicio::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int dx = width() - kLargura;
  const int dy = height() - kAltura;
  for (const Ancora& a : ancoras_) {
    QRect r = a.place;
    if (a.edges & Qt::RightEdge) {
      if (a.edges & Qt::LeftEdge)
        r.setWidth(r.width() + dx);
      else
        r.translate(dx, 0);
    }
    if (a.edges & Qt::BottomEdge) {
      if (a.edges & Qt::TopEdge)
        r.setHeight(r.height() + dy);
      else
        r.translate(0, dy);
    }
    a.control->setGeometry(r);
  }
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
  try {
    critica_.Executa(params, *this);
  } catch (const std::exception& e) {
    // The log keeps what the run wrote and the progress bar its position.
    // What the message means for the analyst comes first, the message as
    // raised below it.
    const std::string why =
        ExplicaErro(e.what(), ContextoDe(e, params, critica_.Estado().tabelaAtual));
    if (why.empty())
      MostraErro(DisplayText(e.what()));
    else
      Caixa(this, QMessageBox::Critical, QString::fromStdString(why), DisplayText(e.what()));
  }
}

void TfrmInicio::MostraErro(const QString& text) { Caixa(this, QMessageBox::Critical, text); }

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
  Caixa(this, QMessageBox::NoIcon, FromCp1252(text),
        critica_.Estado().caixasTrocadas ? QString::fromUtf8(kCaixasTrocadas) : QString());
}

// --- Export and help -------------------------------------------------------

bool TfrmInicio::PodeExportar(const QString& path) {
  const auto f =
      SaidaProibida(QFile::encodeName(path).toStdString(), ArquivosDaCritica(Parametros()));
  if (!f) return true;
  MostraErro(QStringLiteral("\"%1\" é %2: o resultado não foi gravado. Escolha outro nome.")
                 .arg(QDir::toNativeSeparators(path), QString::fromStdString(f->papel)));
  return false;
}

void TfrmInicio::btnExportaClick() {
  if (SaveDialog1->exec() != QDialog::Accepted) return;
  const QStringList files = SaveDialog1->selectedFiles();
  // A dialog of the desktop's own closes without asking this window first.
  if (files.isEmpty() || !PodeExportar(files.first())) return;
  QString error;
  if (!GravaLog(files.first(), linhas_, error)) {
    MostraErro(error);
    return;
  }
  // Saved, but no program opens text files here: say where the file is,
  // instead of the desktop's message, which reads like a failed export.
  if (AbreNoDesktop(files.first()) == kSemAssociacao)
    Caixa(this, QMessageBox::Information,
          QStringLiteral("O resultado foi gravado em \"%1\", mas nenhum programa pôde abri-lo.")
              .arg(QDir::toNativeSeparators(files.first())));
}

void TfrmInicio::btnAjudaClick() {
  // The help file where a program opens it; otherwise the same pages in HTML,
  // in the browser. Only when neither opens does the help file's failure show.
  const QString chm = pastaPrograma + QStringLiteral("ZAVTolk.chm");
  const int code = AbreNoDesktop(chm);
  if (code > 32) return;
  const QString html = pastaPrograma + QStringLiteral("ajuda/index.htm");
  const bool paginas = QFileInfo(html).isFile();
  if (paginas && AbreNoDesktop(html) > 32) return;
  const QString text = MensagemAbertura(code);
  if (text.isEmpty()) return;
  Caixa(this, QMessageBox::NoIcon, text,
        paginas ? QStringLiteral("A ajuda está também em \"%1\": abra esse arquivo num navegador.")
                      .arg(QDir::toNativeSeparators(html))
                : QString());
}

}  // namespace tolk
