// The main window under the offscreen platform: its controls, a run beside
// the terminal front's run of the same delivery, a run ended by an error, the
// export and the hand-off to the desktop. ModalBoxes answers every box; the
// desktop is replaced by a recorder, so nothing is launched.
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <functional>
#include <memory>

#include "dataset/number_format.h"
#include "gui/AbrirDocumento.h"
#include "gui/TfrmInicio.h"
#include "gui/janela_teste.h"
#include "gui/modal_boxes.h"
#include "tools/delivery_generator.h"

using tolk::TfrmInicio;
using tolk::testing::LogShown;
using tolk::testing::ModalBoxes;

namespace {

// The instant of every run here, for the window and for tolk-critica.
const char kAgora[] = "2026-12-08 16:40:35";
QString Env(const char* name, const char* fallback) {
  return qEnvironmentVariable(name, QString::fromUtf8(fallback));
}
QString BinDir() { return Env("TOLK_BIN_DIR", TOLK_BIN_DIR_DEFAULT); }
QString Amostra(const char* name) {
  return Env("TOLK_SAMPLES_DIR", TOLK_SAMPLES_DIR_DEFAULT) + '/' + QLatin1String(name);
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

// The log as edLog shows it, one string per line.
// Types `path` into a file dialog's name box and confirms, as a user does.
void Choose(QFileDialog* dialog, const QString& path) {
  auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
  QVERIFY(name);
  // The list keeps the previous pick selected once its folder has loaded, and a
  // selected row wins over the typed name; selectFile clears that selection
  // first, so the answer does not depend on when the folder finished loading.
  dialog->selectFile(path);
  name->setText(path);
  static_cast<QDialog*>(dialog)->accept();
}

void ExpectBox(const ModalBoxes::Box& box, QMessageBox::Icon icon, const QString& text) {
  QCOMPARE(box.title, QStringLiteral("TOLK ZAV"));
  QCOMPARE(box.icon, icon);
  QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(box.text, text);
}

// Records, at every paint of `widget`, what `sample` returns then.
class PaintProbe : public QObject {
 public:
  PaintProbe(QWidget* widget, std::function<int()> sample) : sample_(std::move(sample)) {
    widget->installEventFilter(this);
  }
  QList<int> seen;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) seen << sample_();
    return false;
  }

 private:
  std::function<int()> sample_;
};

// tolk-critica over the same delivery, program folder, locale and instant.
struct Terminal {
  int status = -1;
  QStringList lines;
  QString error;
};

bool HasTerminal() { return QFile::exists(BinDir() + "/tolk-critica"); }

Terminal RunTerminal(const QString& pasta, QStringList args) {
  args << "--pasta" << pasta << "--locale" << "pt_BR" << "--agora" << kAgora;
  QProcess p;
  p.start(BinDir() + "/tolk-critica", args);
  Terminal t;
  if (!p.waitForFinished(120000)) return t;
  t.status = p.exitCode();
  t.lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
  if (!t.lines.isEmpty() && t.lines.last().isEmpty()) t.lines.removeLast();
  t.error = QString::fromUtf8(p.readAllStandardError()).trimmed();
  return t;
}

}  // namespace

class TfrmInicioTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void controles_data();
  void controles();
  void janela();
  void ancoras();
  void criticaComoNoTerminal();
  void erroEncerraCritica();
  void repintaDuranteLeitura();
  void exportacao();
  void seletores();
  void abrirDocumento();
  void fechar();

 private:
  std::unique_ptr<TfrmInicio> NovaJanela();
  QString Temp(const QString& name) const { return tmp_.filePath(name); }

  QTemporaryDir tmp_;
  QString pasta_;  // a program folder of its own: the dictionary and the figures
  QList<QUrl> opened_;
  bool desktopAnswer_ = true;
  tolk::DesktopOpener previousOpener_;
};

void TfrmInicioTest::initTestCase() {
  tolk::IniciaAplicacao();
  QVERIFY(tmp_.isValid());
  pasta_ = Temp("programa/");
  QVERIFY(QDir().mkpath(pasta_));
  for (const char* name : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"})
    QVERIFY2(QFile::copy(BinDir() + '/' + name, pasta_ + name), name);
  previousOpener_ = tolk::SetDesktopOpener([this](const QUrl& url) {
    opened_ << url;
    return desktopAnswer_;
  });
}

void TfrmInicioTest::cleanupTestCase() { tolk::SetDesktopOpener(previousOpener_); }

std::unique_ptr<TfrmInicio> TfrmInicioTest::NovaJanela() { return tolk::testing::NovaJanela(pasta_); }

// --- The layout ------------------------------------------------------------

void TfrmInicioTest::controles_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QRect>("place");  // empty: a label sized to its text
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("hint");
  const QRect label;
  QTest::newRow("Label3") << "QLabel" << label << "Arquivo de Riscos" << "";
  QTest::newRow("edArqRisco") << "QLineEdit" << QRect(4, 19, 445, 21) << ""
                              << "Local e nome do arquivo de riscos";
  QTest::newRow("SpeedButton4") << "QToolButton" << QRect(455, 19, 22, 22) << ""
                                << "Defina o arquivo de riscos";
  QTest::newRow("Label4") << "QLabel" << label << "Arquivo de Sinistros" << "";
  QTest::newRow("edArqSinistro") << "QLineEdit" << QRect(4, 62, 445, 21) << ""
                                 << "Local e nome do arquivo de sinistros";
  QTest::newRow("SpeedButton3") << "QToolButton" << QRect(455, 62, 22, 22) << ""
                                << "Defina o arquivo de sinistros";
  QTest::newRow("ProgressBar") << "QProgressBar" << QRect(494, 4, 13, 88) << "" << "";
  QTest::newRow("btnOk") << "QPushButton" << QRect(526, 4, 90, 25) << "&Criticar" << "";
  QTest::newRow("btnAjuda") << "QPushButton" << QRect(622, 4, 25, 25) << "" << "Ajuda";
  QTest::newRow("btnExporta") << "QPushButton" << QRect(526, 35, 121, 25) << "Exporta Resultado"
                              << "Exporta para TXT";
  QTest::newRow("btnFechar") << "QPushButton" << QRect(526, 67, 121, 25) << "&Fechar"
                             << "Sai do programa";
  QTest::newRow("edLog") << "QPlainTextEdit" << QRect(4, 99, 642, 380) << ""
                         << "Resultado do teste";
}

void TfrmInicioTest::controles() {
  QFETCH(QString, kind);
  QFETCH(QRect, place);
  QFETCH(QString, text);
  QFETCH(QString, hint);
  TfrmInicio w;
  auto* c = w.findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
  QVERIFY(c);
  QVERIFY(c->inherits(kind.toLatin1()));
  if (place.isNull()) {
    QCOMPARE(c->pos(), QPoint(4, c->objectName() == "Label3" ? 4 : 47));
    QVERIFY(c->height() <= 15);  // it ends above its box
  } else {
    QCOMPARE(c->geometry(), place);
  }
  if (!c->inherits("QProgressBar")) QCOMPARE(c->property("text").toString(), text);
  QCOMPARE(c->toolTip(), hint);
  if (auto* button = qobject_cast<QAbstractButton*>(c)) QVERIFY(!button->icon().isNull());
}

void TfrmInicioTest::janela() {
  QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("TOLK ZAV"));
  auto w = NovaJanela();
  QVERIFY(w);
  QCOMPARE(w->objectName(), QStringLiteral("frmInicio"));
  QCOMPARE(w->metaObject()->className(), "tolk::TfrmInicio");
  QCOMPARE(w->windowTitle(),
           QStringLiteral("VARNE - Sistema de Críticas de Dados do TOLK - AGOSTO 2017"));
  QCOMPARE(w->size(), QSize(651, 483));
  QCOMPARE(w->minimumSize(), w->maximumSize());
  QCOMPARE(w->pos(), QPoint(227, 132));
  QVERIFY(!w->windowIcon().isNull());

  // The fonts: 8 points, a proportional face for the window and a
  // fixed-pitch one for the log, whichever faces are installed.
  QCOMPARE(w->font().pointSize(), 8);
  QVERIFY(!QFontInfo(w->btnOk->font()).fixedPitch());
  QCOMPARE(w->edLog->font().pointSize(), 8);
  QVERIFY(QFontInfo(w->edLog->font()).fixedPitch());

  QVERIFY(w->edLog->isReadOnly());
  QCOMPARE(w->edLog->lineWrapMode(), QPlainTextEdit::NoWrap);
  QCOMPARE(w->edLog->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QCOMPARE(w->edLog->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QCOMPARE(w->ProgressBar->orientation(), Qt::Vertical);
  QCOMPARE(w->ProgressBar->minimum(), 0);
  QCOMPARE(w->ProgressBar->maximum(), 100);
  QVERIFY(w->btnOk->isDefault());

  // Tab walks the controls in their order and comes back to the first;
  // the pickers take no focus.
  QVERIFY(QTest::qWaitForWindowActive(w.get()));
  w->edArqRisco->setFocus();
  for (const char* next :
       {"edArqSinistro", "btnOk", "btnFechar", "edLog", "btnExporta", "btnAjuda", "edArqRisco"}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(next));
  }
}

void TfrmInicioTest::ancoras() {
  auto w = NovaJanela();
  QVERIFY(w);
  w->setFixedSize(751, 533);
  QCOMPARE(w->btnOk->geometry(), QRect(626, 4, 90, 25));
  QCOMPARE(w->btnAjuda->geometry(), QRect(722, 4, 25, 25));
  QCOMPARE(w->btnExporta->geometry(), QRect(626, 35, 121, 25));
  QCOMPARE(w->btnFechar->geometry(), QRect(626, 67, 121, 25));
  QCOMPARE(w->edLog->geometry(), QRect(4, 99, 742, 430));
  QCOMPARE(w->edArqRisco->geometry(), QRect(4, 19, 445, 21));
  QCOMPARE(w->ProgressBar->geometry(), QRect(494, 4, 13, 88));
  w->setFixedSize(651, 483);
  QCOMPARE(w->btnOk->geometry(), QRect(526, 4, 90, 25));
  QCOMPARE(w->edLog->geometry(), QRect(4, 99, 642, 380));
}

// --- The run ---------------------------------------------------------------

void TfrmInicioTest::criticaComoNoTerminal() {
  if (!HasTerminal()) QSKIP("tolk-critica is not built");
  auto w = NovaJanela();
  QVERIFY(w);
  const QString riscos = Amostra("riscos.dbf"), sinistros = Amostra("sinistros.dbf");
  QTest::keyClicks(w->edArqRisco, riscos);
  QTest::keyClicks(w->edArqSinistro, sinistros);

  QList<int> positions;
  connect(w->ProgressBar, &QProgressBar::valueChanged, [&](int v) { positions << v; });
  PaintProbe bar(w->ProgressBar, [&] { return w->ProgressBar->value(); });
  PaintProbe log(w->edLog->viewport(), [&] { return int(w->Linhas().size()); });
  ModalBoxes boxes;
  QTest::mouseClick(w->btnOk, Qt::LeftButton);

  QCOMPARE(boxes.boxes.size(), 1);
  ExpectBox(boxes.boxes[0], QMessageBox::NoIcon, QStringLiteral("Crítica finalizada."));
  QCOMPARE(positions, (QList<int>{25, 50, 75, 90, 0}));
  // Both were painted while the run was reading, not only when it ended.
  QVERIFY(bar.seen.contains(25));
  QVERIFY(bar.seen.contains(50));
  const int total = int(w->Linhas().size());
  QVERIFY(std::any_of(log.seen.begin(), log.seen.end(), [&](int n) { return n > 0 && n < total; }));

  const Terminal t = RunTerminal(
      pasta_, {"--riscos", riscos, "--sinistros", sinistros, "--saida", Temp("terminal.txt")});
  QCOMPARE(t.status, 0);
  QVERIFY(t.lines.size() > 40);
  QCOMPARE(LogShown(*w), t.lines);

  // The export of the whole log: the bytes the terminal front writes.
  boxes.fileDialog = [&](QFileDialog* d) {
    Choose(d, Temp("resultado"));
  };
  opened_.clear();
  QTest::mouseClick(w->btnExporta, Qt::LeftButton);
  const QString arquivo = Temp("resultado.txt");
  const QByteArray bytes = ReadAll(arquivo);
  QCOMPARE(bytes, ReadAll(Temp("terminal.txt")));
  QVERIFY(bytes.startsWith("In\xED" "cio do processamento: 08/12/2026 16:40:35\r\n\r\n"));
  QVERIFY(bytes.endsWith(QByteArray(110, '=') + "\r\n"));
  QCOMPARE(bytes.count("\r\n"), t.lines.size());
  QCOMPARE(bytes.count('\n'), t.lines.size());
  QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(arquivo)});
  QCOMPARE(boxes.boxes.size(), 1);

  // Enter in a box runs again; nothing carries over from the first run.
  QTest::keyClick(w->edArqSinistro, Qt::Key_Return);
  QCOMPARE(boxes.boxes.size(), 2);
  ExpectBox(boxes.boxes[1], QMessageBox::NoIcon, QStringLiteral("Crítica finalizada."));
  QCOMPARE(LogShown(*w), t.lines);
}

void TfrmInicioTest::erroEncerraCritica() {
  if (!HasTerminal()) QSKIP("tolk-critica is not built");
  auto w = NovaJanela();
  QVERIFY(w);
  const QString riscos = Amostra("riscos.dbf"), falta = Temp("sem sinistros.dbf");
  w->edArqRisco->setText(riscos);
  w->edArqSinistro->setText(falta);
  ModalBoxes boxes;
  QTest::mouseClick(w->btnOk, Qt::LeftButton);

  const Terminal t = RunTerminal(pasta_, {"--riscos", riscos, "--sinistros", falta});
  QCOMPARE(t.status, 1);
  QVERIFY(t.error.contains(falta));
  // The error box alone, no final message; the log and the bar stay where
  // the claims table failed to open.
  QCOMPARE(boxes.boxes.size(), 1);
  ExpectBox(boxes.boxes[0], QMessageBox::Critical, t.error);
  QCOMPARE(LogShown(*w), t.lines);
  QVERIFY(t.lines.filter("RISCOS").size() > 5);
  QCOMPARE(w->ProgressBar->value(), 25);
}

// A long table holds the event loop for a while: the bar and the log are
// painted again while it is read all the same (here at every chance the run
// gives, instead of every 100 ms).
void TfrmInicioTest::repintaDuranteLeitura() {
  tolk::tools::DeliveryOptions options;
  options.risks = 20000;
  options.claims = 10;
  const QString pasta = Temp("grande/");
  QVERIFY(QDir().mkpath(pasta));
  tolk::tools::WriteDeliveryDbf(tolk::tools::DeliveryGenerator(options), pasta.toStdString());

  auto w = NovaJanela();
  QVERIFY(w);
  w->edArqRisco->setText(pasta + "riscos.dbf");
  w->intervaloRepintura = 0;
  PaintProbe bar(w->ProgressBar, [&] { return w->ProgressBar->value(); });
  PaintProbe log(w->edLog->viewport(), [&] { return w->ProgressBar->value(); });
  ModalBoxes boxes;
  QTest::mouseClick(w->btnOk, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 1);
  QVERIFY2(bar.seen.count(25) >= 3, qPrintable(QString::number(bar.seen.count(25))));
  QVERIFY2(log.seen.count(25) >= 3, qPrintable(QString::number(log.seen.count(25))));
}

// --- Export, pickers, desktop ----------------------------------------------

void TfrmInicioTest::exportacao() {
  auto w = NovaJanela();
  QVERIFY(w);
  const QString vazio = Temp("vazio.txt");
  WriteAll(vazio, "um arquivo anterior\r\n");

  // An empty log over an existing file: no question, an empty file, opened.
  QString title, suffix, folder;
  QStringList initial;
  ModalBoxes boxes;
  boxes.fileDialog = [&](QFileDialog* d) {
    title = d->windowTitle();
    suffix = d->defaultSuffix();
    folder = d->directory().absolutePath();
    initial = d->selectedFiles();
    Choose(d, Temp("vazio"));
  };
  opened_.clear();
  QTest::mouseClick(w->btnExporta, Qt::LeftButton);
  QCOMPARE(boxes.fileDialogs, 1);
  QCOMPARE(title, QStringLiteral("Exporta resultado ZAV"));
  QCOMPARE(suffix, QStringLiteral("txt"));
  QCOMPARE(folder, QDir::homePath());
  QCOMPARE(initial, QStringList{QDir::home().filePath("*.txt")});
  QCOMPARE(boxes.boxes.size(), 0);
  QVERIFY(QFile::exists(vazio));
  QCOMPARE(ReadAll(vazio), QByteArray());
  QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(vazio)});

  // Cancelled: nothing written, nothing opened.
  opened_.clear();
  boxes.fileDialog = [](QFileDialog* d) { d->reject(); };
  QTest::mouseClick(w->btnExporta, Qt::LeftButton);
  QCOMPARE(boxes.fileDialogs, 2);
  QVERIFY(opened_.isEmpty());

  // A file that cannot be written: the error box, and nothing is opened.
  const QString semPasta = Temp("sem-pasta/log.txt");
  boxes.fileDialog = [&](QFileDialog* d) {
    Choose(d, semPasta);
  };
  QTest::mouseClick(w->btnExporta, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 1);
  QCOMPARE(boxes.boxes[0].icon, QMessageBox::Critical);
  QVERIFY2(boxes.boxes[0].text.contains(semPasta), qPrintable(boxes.boxes[0].text));
  QVERIFY(!QFile::exists(semPasta));
  QVERIFY(opened_.isEmpty());
}

void TfrmInicioTest::seletores() {
  auto w = NovaJanela();
  QVERIFY(w);
  ModalBoxes boxes;
  QString chosen;
  boxes.fileDialog = [&](QFileDialog* d) {
    Choose(d, chosen);
  };
  chosen = Amostra("riscos.dbf");
  QTest::mouseClick(w->SpeedButton4, Qt::LeftButton);
  chosen = Amostra("sinistros.dbf");
  QTest::mouseClick(w->SpeedButton3, Qt::LeftButton);
  QCOMPARE(boxes.fileDialogs, 2);
  QCOMPARE(w->edArqRisco->text(), Amostra("riscos.dbf"));
  QCOMPARE(w->edArqSinistro->text(), Amostra("sinistros.dbf"));

  // Cancel leaves the box as it was.
  boxes.fileDialog = [](QFileDialog* d) { d->reject(); };
  QTest::mouseClick(w->SpeedButton4, Qt::LeftButton);
  QCOMPARE(boxes.fileDialogs, 3);
  QCOMPARE(w->edArqRisco->text(), Amostra("riscos.dbf"));
}

void TfrmInicioTest::abrirDocumento() {
  auto w = NovaJanela();
  QVERIFY(w);
  const QString existe = Temp("existe.txt");
  WriteAll(existe, "x");
  ModalBoxes boxes;
  opened_.clear();
  tolk::AbrirDocumento(w.get(), Temp("nao-existe.txt"));
  tolk::AbrirDocumento(w.get(), Temp("nao-existe/arquivo.txt"));
  desktopAnswer_ = false;
  tolk::AbrirDocumento(w.get(), existe);
  desktopAnswer_ = true;
  tolk::AbrirDocumento(w.get(), existe);
  QCOMPARE(boxes.boxes.size(), 3);
  ExpectBox(boxes.boxes[0], QMessageBox::NoIcon, "The specified file was not found.");
  ExpectBox(boxes.boxes[1], QMessageBox::NoIcon, "The specified path was not found.");
  ExpectBox(boxes.boxes[2], QMessageBox::NoIcon,
            "There is no application associated with the given filename extension.");
  // Missing files never reach the desktop.
  QCOMPARE(opened_, (QList<QUrl>{QUrl::fromLocalFile(existe), QUrl::fromLocalFile(existe)}));
  // Above 32 is success; failures without a message show nothing either.
  for (int code : {0, 1, 4, 12, 25, 33, 42}) QVERIFY(tolk::MensagemAbertura(code).isEmpty());

  // Help: the program folder's ZAVTolk.chm.
  const QString ajuda = Temp("ajuda/");
  QVERIFY(QDir().mkpath(ajuda));
  w->pastaPrograma = ajuda;
  QTest::mouseClick(w->btnAjuda, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 4);
  ExpectBox(boxes.boxes[3], QMessageBox::NoIcon, "The specified file was not found.");
  WriteAll(ajuda + "ZAVTolk.chm", "ITSF");
  opened_.clear();
  QTest::mouseClick(w->btnAjuda, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 4);
  QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(ajuda + "ZAVTolk.chm")});
}

void TfrmInicioTest::fechar() {
  auto w = NovaJanela();
  QVERIFY(w);
  QTest::mouseClick(w->btnFechar, Qt::LeftButton);
  QVERIFY(!w->isVisible());
}

QTEST_MAIN(TfrmInicioTest)
#include "TfrmInicio_test.moc"
