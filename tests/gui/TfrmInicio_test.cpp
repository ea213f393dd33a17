// The main window under the offscreen platform: its controls, a run beside
// the terminal front's run of the same delivery, a run ended by an error, the
// export, the hand-off to the desktop, and the findings' view beside
// tolk-critica --detalhes. ModalBoxes answers every box; the
// desktop is replaced by a recorder, so nothing is launched.
#include "gui/TfrmInicio.h"

#include <unistd.h>

#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <functional>
#include <memory>

#include "dataset/number_format.h"
#include "gui/AbrirDocumento.h"
#include "gui/ModeloOcorrencias.h"
#include "gui/TfrmOcorrencias.h"
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
  // However short its text, a box leaves its title bar room for the
  // caption (in a bold face, as title bars have it) beside the bar's icon
  // and three buttons, about a line's height square each with their gaps:
  // "Crítica finalizada." alone made a box whose caption openbox cut to
  // "TO…V".
  QFont bold = box.font;
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  QVERIFY(box.width >= metrics.horizontalAdvance(box.title) + 6 * metrics.height());
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
  args << "--pasta" << pasta << "--locale"
       << "pt_BR"
       << "--agora" << kAgora;
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

// The rows of the findings' view, each as its CSV line would be (the
// sample's values need no quotes).
QStringList Rows(const QAbstractItemModel* m) {
  QStringList rows;
  for (int r = 0; r < m->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < m->columnCount(); ++c) cells << m->index(r, c).data().toString();
    rows << cells.join(';');
  }
  return rows;
}

QStringList Items(const QComboBox* list) {
  QStringList items;
  for (int k = 0; k < list->count(); ++k) items << list->itemText(k);
  return items;
}

// What a filter's list offers for the CSV rows `rows`: "any", then each value
// of column `column` with its count, in the order first met.
QStringList Counted(const QStringList& rows, int column, const QString& any) {
  QStringList names;
  QMap<QString, int> count;
  for (const QString& row : rows) {
    const QString name = row.split(';')[column];
    if (!count.contains(name)) names << name;
    ++count[name];
  }
  QStringList items{any};
  for (const QString& name : names) items << QStringLiteral("%1 (%2)").arg(name).arg(count[name]);
  return items;
}

void ClickHeader(QTableView* grid, int column) {
  QHeaderView* h = grid->horizontalHeader();
  QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                    QPoint(h->sectionViewportPosition(column) + 5, h->height() / 2));
}

void DoubleClickLine(QPlainTextEdit* log, int line) {
  QTextCursor cursor(log->document()->findBlockByNumber(line));
  log->setTextCursor(cursor);
  log->ensureCursorVisible();
  QTest::mouseDClick(log->viewport(), Qt::LeftButton, {}, log->cursorRect(cursor).center());
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
  void ocorrenciasComoNoTerminal();
  void exportacao();
  void exportacaoRecusaArquivosDaCritica();
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
  QString desktopRefuses_;  // the desktop has no program for names ending so
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
    return desktopAnswer_ && (desktopRefuses_.isEmpty() || !url.path().endsWith(desktopRefuses_));
  });
}

void TfrmInicioTest::cleanupTestCase() { tolk::SetDesktopOpener(previousOpener_); }

std::unique_ptr<TfrmInicio> TfrmInicioTest::NovaJanela() {
  return tolk::testing::NovaJanela(pasta_);
}

// --- The layout ------------------------------------------------------------

void TfrmInicioTest::controles_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QRect>("place");  // empty: a label sized to its text
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("hint");
  const QRect label;
  QTest::newRow("Label3") << "QLabel" << label << "Arquivo de Riscos"
                          << "";
  QTest::newRow("edArqRisco") << "QLineEdit" << QRect(4, 19, 445, 21) << ""
                              << "Local e nome do arquivo de riscos";
  QTest::newRow("SpeedButton4") << "QToolButton" << QRect(455, 19, 22, 22) << ""
                                << "Defina o arquivo de riscos";
  QTest::newRow("Label4") << "QLabel" << label << "Arquivo de Sinistros"
                          << "";
  QTest::newRow("edArqSinistro") << "QLineEdit" << QRect(4, 62, 445, 21) << ""
                                 << "Local e nome do arquivo de sinistros";
  QTest::newRow("SpeedButton3") << "QToolButton" << QRect(455, 62, 22, 22) << ""
                                << "Defina o arquivo de sinistros";
  QTest::newRow("ProgressBar") << "QProgressBar" << QRect(494, 4, 13, 88) << ""
                               << "";
  QTest::newRow("btnOk") << "QPushButton" << QRect(526, 4, 90, 25) << "&Criticar"
                         << "";
  QTest::newRow("btnAjuda") << "QPushButton" << QRect(622, 4, 25, 25) << ""
                            << "Ajuda";
  QTest::newRow("btnExporta") << "QPushButton" << QRect(526, 35, 121, 25) << "Exporta Resultado"
                              << "Exporta para TXT";
  QTest::newRow("btnFechar") << "QPushButton" << QRect(526, 67, 121, 25) << "&Fechar"
                             << "Sai do programa";
  QTest::newRow("btnOcorrencias") << "QPushButton" << QRect(349, 41, 100, 20) << "&Ocorrências"
                                  << "Mostra os valores recusados na última crítica";
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
  // Opens at the size it was drawn for, and grows (never shrinks below it).
  QCOMPARE(w->size(), QSize(651, 483));
  QCOMPARE(w->minimumSize(), QSize(651, 483));
  QVERIFY(w->maximumWidth() > 2000 && w->maximumHeight() > 2000);
  QCOMPARE(w->pos(), QPoint(227, 132));
  QVERIFY(!w->windowIcon().isNull());

  // The fonts: 8 points, and in the log every character as wide as any
  // other, whichever faces are installed (a name alone may resolve to a
  // proportional face).
  QCOMPARE(w->font().pointSize(), 8);
  QCOMPARE(w->edLog->font().pointSize(), 8);
  const QFontMetrics log(w->edLog->font());
  QCOMPARE(log.horizontalAdvance(QLatin1Char('i')), log.horizontalAdvance(QLatin1Char('W')));
  QCOMPARE(log.horizontalAdvance(QStringLiteral("iiiii")),
           log.horizontalAdvance(QStringLiteral("WW.%W")));

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
  w->resize(751, 533);
  QCOMPARE(w->btnOk->geometry(), QRect(626, 4, 90, 25));
  QCOMPARE(w->btnAjuda->geometry(), QRect(722, 4, 25, 25));
  QCOMPARE(w->btnExporta->geometry(), QRect(626, 35, 121, 25));
  QCOMPARE(w->btnFechar->geometry(), QRect(626, 67, 121, 25));
  QCOMPARE(w->edLog->geometry(), QRect(4, 99, 742, 430));
  QCOMPARE(w->edArqRisco->geometry(), QRect(4, 19, 445, 21));
  QCOMPARE(w->ProgressBar->geometry(), QRect(494, 4, 13, 88));
  w->resize(651, 483);
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
  boxes.fileDialog = [&](QFileDialog* d) { Choose(d, Temp("resultado")); };
  opened_.clear();
  QTest::mouseClick(w->btnExporta, Qt::LeftButton);
  const QString arquivo = Temp("resultado.txt");
  const QByteArray bytes = ReadAll(arquivo);
  QCOMPARE(bytes, ReadAll(Temp("terminal.txt")));
  QVERIFY(
      bytes.startsWith("In\xED"
                       "cio do processamento: 08/12/2026 16:40:35\r\n\r\n"));
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
  const QStringList error = t.error.split('\n');
  QCOMPARE(error.size(), 2);
  QVERIFY(error[0].contains(falta));
  // The error box alone, no final message: what happened in Portuguese, the
  // message as raised below it. The log and the bar stay where the claims
  // table failed to open.
  QCOMPARE(boxes.boxes.size(), 1);
  ExpectBox(boxes.boxes[0], QMessageBox::Critical, error[1]);
  QVERIFY(error[1].startsWith(QStringLiteral("O arquivo de sinistros não existe")));
  QCOMPARE(boxes.boxes[0].informative, error[0]);
  QCOMPARE(LogShown(*w), t.lines);
  QVERIFY(t.lines.filter("RISCOS").size() > 5);
  QCOMPARE(w->ProgressBar->value(), 25);

  // Each file in the other's box: the run ends as always, and its final box
  // says what seems to have happened.
  w->edArqRisco->setText(Amostra("sinistros.dbf"));
  w->edArqSinistro->setText(riscos);
  QTest::mouseClick(w->btnOk, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 2);
  ExpectBox(boxes.boxes[1], QMessageBox::NoIcon, QStringLiteral("Crítica finalizada."));
  QVERIFY(
      boxes.boxes[1].informative.startsWith(QStringLiteral("Os arquivos parecem estar trocados")));
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

// --- The findings' view ----------------------------------------------------

// The view after a run holds what tolk-critica --detalhes writes: the same
// rows in the same order, the lists' counts, the export's bytes. The
// delivery is a copy, as the refused export must not touch the sample.
void TfrmInicioTest::ocorrenciasComoNoTerminal() {
  if (!HasTerminal()) QSKIP("tolk-critica is not built");
  const QString entrega = Temp("ocorrencias/");
  QVERIFY(QDir().mkpath(entrega));
  const QString riscos = entrega + "riscos.dbf", sinistros = entrega + "sinistros.dbf";
  QVERIFY(QFile::copy(Amostra("riscos.dbf"), riscos));
  QVERIFY(QFile::copy(Amostra("sinistros.dbf"), sinistros));
  const Terminal t = RunTerminal(
      pasta_, {"--riscos", riscos, "--sinistros", sinistros, "--detalhes", Temp("detalhes.csv")});
  QCOMPARE(t.status, 0);
  const QByteArray csv = ReadAll(Temp("detalhes.csv"));
  QStringList lines = QString::fromUtf8(csv).split("\r\n");
  QCOMPARE(lines.takeFirst(), QStringLiteral("tabela;registro;campo;regra;valor;qualificador"));
  QCOMPARE(lines.takeLast(), QString());
  QCOMPARE(lines.size(), 88);

  auto w = NovaJanela();
  QVERIFY(w);
  QVERIFY(!w->btnOcorrencias->isEnabled());
  w->edArqRisco->setText(riscos);
  w->edArqSinistro->setText(sinistros);
  ModalBoxes boxes;
  QTest::mouseClick(w->btnOk, Qt::LeftButton);
  QVERIFY(w->btnOcorrencias->isEnabled());
  QTest::mouseClick(w->btnOcorrencias, Qt::LeftButton);
  tolk::TfrmOcorrencias* v = w->frmOcorrencias;
  QVERIFY(v && v->isVisible() && v->isWindow());
  QVERIFY(QTest::qWaitForWindowActive(v));
  QCOMPARE(v->windowTitle(), QStringLiteral("Ocorrências"));
  QCOMPARE(v->size(), QSize(760, 560));
  const QAbstractItemModel* m = v->grade->model();
  QCOMPARE(Rows(m), lines);
  QCOMPARE(Items(v->cbTabela), Counted(lines, 0, "(todas)"));
  QCOMPARE(Items(v->cbCampo), Counted(lines, 2, "(todos)"));
  QCOMPARE(Items(v->cbRegra), Counted(lines, 3, "(todas)"));
  QCOMPARE(v->lbContagem->text(), QStringLiteral("88 de 88 ocorrências"));

  // A header sorts by its column (ties in the order found), then the other
  // way, then goes back to the order found.
  auto record = [&](int row) { return m->index(row, 1).data().toInt(); };
  ClickHeader(v->grade, 1);
  for (int r = 1; r < m->rowCount(); ++r) QVERIFY(record(r - 1) <= record(r));
  ClickHeader(v->grade, 1);
  for (int r = 1; r < m->rowCount(); ++r) QVERIFY(record(r - 1) >= record(r));
  ClickHeader(v->grade, 1);
  QCOMPARE(Rows(m), lines);

  // The lists filter, and each other's counts follow; so does the search.
  v->cbRegra->setCurrentIndex(v->cbRegra->findText("dominio", Qt::MatchStartsWith));
  emit v->cbRegra->activated(v->cbRegra->currentIndex());
  const QStringList dominio = lines.filter(";dominio;");
  QCOMPARE(Rows(m), dominio);
  QCOMPARE(Items(v->cbTabela), Counted(dominio, 0, "(todas)"));
  QCOMPARE(Items(v->cbCampo), Counted(dominio, 2, "(todos)"));
  QTest::keyClicks(v->edProcura, "br");  // in the value or the qualifier, in either case
  QStringList br;
  for (const QString& row : dominio)
    if (row.section(';', 4).contains("BR", Qt::CaseInsensitive)) br << row;
  QVERIFY(!br.isEmpty() && br.size() < dominio.size());
  QCOMPARE(Rows(m), br);

  // A field's row of a summary in the log: that table and field, whatever
  // the view showed; the line of claims without a ticket: that rule.
  const QStringList log = LogShown(*w);
  const int bilhete = int(log.indexOf(QRegularExpression("RISCOS +BILHETE .*")));
  const int semBilhete = int(log.indexOf(QRegularExpression(".* sinistros sem bilhete .*")));
  QVERIFY(bilhete > 0 && semBilhete > 0);
  DoubleClickLine(w->edLog, bilhete);
  QStringList expected = lines.filter(QRegularExpression("^RISCOS;\\d+;BILHETE;"));
  QCOMPARE(Rows(m), expected);
  QCOMPARE(v->cbTabela->currentText(), QStringLiteral("RISCOS (%1)").arg(expected.size()));
  QCOMPARE(v->cbCampo->currentText(), QStringLiteral("BILHETE (%1)").arg(expected.size()));
  QCOMPARE(v->cbRegra->currentText(), QStringLiteral("(todas)"));
  QVERIFY(v->edProcura->text().isEmpty());
  QCOMPARE(v->lbContagem->text(), QStringLiteral("%1 de 88 ocorrências").arg(expected.size()));
  DoubleClickLine(w->edLog, semBilhete);
  QCOMPARE(Rows(m), lines.filter(";sem_bilhete;"));
  QCOMPARE(v->cbTabela->currentText(), QStringLiteral("(todas)"));
  QCOMPARE(v->cbRegra->currentText(), QStringLiteral("sem_bilhete (5)"));

  // A row's record, read again from its file, its failing field marked.
  QVERIFY(QTest::qWaitForWindowActive(v));
  v->grade->selectRow(2);
  const QStringList cells = Rows(m)[2].split(';');
  QCOMPARE(v->gbRegistro->title(), QStringLiteral("Registro %1 de sinistros.dbf").arg(cells[1]));
  const QTableWidget* fields = v->tbRegistro;
  QVERIFY(fields->isVisibleTo(v) && fields->rowCount() > 5);
  QList<int> bold;
  for (int k = 0; k < fields->rowCount(); ++k)
    if (fields->item(k, 0)->font().bold()) bold << k;
  QCOMPARE(bold.size(), 1);
  QCOMPARE(fields->item(bold[0], 0)->text(), cells[2]);
  QCOMPARE(fields->item(bold[0], 1)->text(), cells[4]);
  QCOMPARE(fields->currentRow(), bold[0]);

  // Ctrl+C: the chosen rows as the CSV has them, header first.
  v->grade->setFocus();
  v->grade->selectionModel()->select(m->index(0, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QTest::keyClick(v->grade, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(),
           QStringLiteral("tabela;registro;campo;regra;valor;qualificador\r\n%1\r\n%2\r\n")
               .arg(Rows(m)[0], Rows(m)[2]));

  // The export: every finding, the bytes of --detalhes; never over a file of
  // the run.
  boxes.answer = QMessageBox::Yes;
  QString chosen = riscos;
  boxes.fileDialog = [&](QFileDialog* d) { Choose(d, chosen); };
  const QByteArray before = ReadAll(riscos);
  QTest::mouseClick(v->btnExporta, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 2);
  QVERIFY(
      boxes.boxes[1].text.startsWith(QStringLiteral("\"%1\" é o arquivo de riscos").arg(riscos)));
  QCOMPARE(ReadAll(riscos), before);
  chosen = Temp("exportadas");
  QTest::mouseClick(v->btnExporta, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 2);
  QCOMPARE(ReadAll(Temp("exportadas.csv")), csv);

  // A new run starts from nothing: the same rows, not twice as many.
  QTest::mouseClick(w->btnOk, Qt::LeftButton);
  QCOMPARE(v->lbContagem->text(), QStringLiteral("5 de 88 ocorrências"));
  w->close();
  QVERIFY(!v->isVisible());
}

// A million findings: how long the view takes to open, sort and filter,
// printed (the machines that run the suite vary too much for a limit).
// --- Export, pickers, desktop ----------------------------------------------

void TfrmInicioTest::exportacao() {
  auto w = NovaJanela();
  QVERIFY(w);
  const QString vazio = Temp("vazio.txt");
  WriteAll(vazio, "um arquivo anterior\r\n");

  // An existing file: the dialog asks before replacing it. No keeps it.
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
  QCOMPARE(boxes.boxes.size(), 1);
  QCOMPARE(boxes.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
  QVERIFY2(boxes.boxes[0].text.contains("vazio.txt"), qPrintable(boxes.boxes[0].text));
  QCOMPARE(ReadAll(vazio), QByteArray("um arquivo anterior\r\n"));
  QVERIFY(opened_.isEmpty());

  // Yes replaces it: an empty log gives an empty file, which is opened.
  boxes.answer = QMessageBox::Yes;
  QTest::mouseClick(w->btnExporta, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 2);
  QCOMPARE(ReadAll(vazio), QByteArray());
  QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(vazio)});

  // Saved, but nothing opens it: said in Portuguese, with the path.
  opened_.clear();
  desktopAnswer_ = false;
  QTest::mouseClick(w->btnExporta, Qt::LeftButton);
  desktopAnswer_ = true;
  QCOMPARE(boxes.boxes.size(), 4);
  ExpectBox(boxes.boxes[3], QMessageBox::Information,
            QStringLiteral("O resultado foi gravado em \"%1\", mas nenhum programa pôde abri-lo.")
                .arg(vazio));

  // Cancelled: nothing written, nothing opened.
  opened_.clear();
  boxes.fileDialog = [](QFileDialog* d) { d->reject(); };
  QTest::mouseClick(w->btnExporta, Qt::LeftButton);
  QVERIFY(opened_.isEmpty());

  // A file that cannot be written: the error box, and nothing is opened.
  const QString semPasta = Temp("sem-pasta/log.txt");
  boxes.fileDialog = [&](QFileDialog* d) { Choose(d, semPasta); };
  QTest::mouseClick(w->btnExporta, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 5);
  QCOMPARE(boxes.boxes[4].icon, QMessageBox::Critical);
  QVERIFY2(boxes.boxes[4].text.contains(semPasta), qPrintable(boxes.boxes[4].text));
  QVERIFY(!QFile::exists(semPasta));
  QVERIFY(opened_.isEmpty());
}

// The export never replaces a file of the run, by any of its names: the
// refusal comes while the dialog is open, before any question, and every
// file stays as it was.
void TfrmInicioTest::exportacaoRecusaArquivosDaCritica() {
  auto w = NovaJanela();
  QVERIFY(w);
  const QString entrega = Temp("recusa/");
  QVERIFY(QDir().mkpath(entrega));
  QVERIFY(QFile::copy(Amostra("riscos.dbf"), entrega + "riscos.dbf"));
  QVERIFY(QFile::copy(Amostra("sinistros.dbf"), entrega + "sinistros.dbf"));
  WriteAll(pasta_ + "bilhete.ntx", QByteArray(1024, 'x'));
  w->edArqRisco->setText(entrega + "riscos.dbf");
  w->edArqSinistro->setText(entrega + "sinistros.dbf");
  QVERIFY(QFile::link(entrega + "riscos.dbf", entrega + "atalho.dbf"));
  QVERIFY(::link(QFile::encodeName(entrega + "sinistros.dbf").constData(),
                 QFile::encodeName(entrega + "vinculo.dbf").constData()) == 0);
  QVERIFY(QFile::link(pasta_ + "bilhete.ntx", entrega + "indice.txt"));

  const QList<QPair<QString, QString>> refused = {
      {entrega + "riscos.dbf", "o arquivo de riscos"},
      {entrega + "sinistros.dbf", "o arquivo de sinistros"},
      {entrega + "atalho.dbf", "o arquivo de riscos"},
      {entrega + "vinculo.dbf", "o arquivo de sinistros"},
      {entrega + "../recusa/./riscos.dbf", "o arquivo de riscos"},
      {pasta_ + "tabelas.dbf", "tabelas.dbf da pasta do programa"},
      {pasta_ + "anexos.dbf", "anexos.dbf da pasta do programa"},
      {pasta_ + "DadosOrb.DBF", "DadosOrb.DBF da pasta do programa"},
      {pasta_ + "bilhete.ntx", "bilhete.ntx da pasta do programa"},
      {entrega + "indice.txt", "bilhete.ntx da pasta do programa"},
  };
  QMap<QString, QByteArray> before;
  for (const QString& name :
       {entrega + "riscos.dbf", entrega + "sinistros.dbf", pasta_ + "tabelas.dbf",
        pasta_ + "anexos.dbf", pasta_ + "DadosOrb.DBF", pasta_ + "bilhete.ntx"})
    before[name] = ReadAll(name);

  ModalBoxes boxes;
  boxes.answer = QMessageBox::Yes;  // a question would be answered: none may come
  QString chosen;
  boxes.fileDialog = [&](QFileDialog* d) { Choose(d, chosen); };
  opened_.clear();
  for (const auto& [name, role] : refused) {
    chosen = name;
    const int shown = int(boxes.boxes.size());
    QTest::mouseClick(w->btnExporta, Qt::LeftButton);
    QCOMPARE(int(boxes.boxes.size()), shown + 1);
    ExpectBox(boxes.boxes.last(), QMessageBox::Critical,
              QStringLiteral("\"%1\" é %2: o resultado não foi gravado. Escolha outro nome.")
                  .arg(QDir::cleanPath(name), role));
  }
  QVERIFY(opened_.isEmpty());
  for (auto it = before.cbegin(); it != before.cend(); ++it)
    QVERIFY2(ReadAll(it.key()) == it.value(), qPrintable(it.key()));
  QVERIFY(QFileInfo(entrega + "atalho.dbf").isSymLink());
  QVERIFY(QFileInfo(entrega + "indice.txt").isSymLink());
  QFile::remove(pasta_ + "bilhete.ntx");
}

void TfrmInicioTest::seletores() {
  auto w = NovaJanela();
  QVERIFY(w);
  ModalBoxes boxes;
  QString chosen;
  QStringList folders, filters;
  boxes.fileDialog = [&](QFileDialog* d) {
    folders << d->directory().absolutePath();
    filters = d->nameFilters();
    Choose(d, chosen);
  };
  chosen = Amostra("riscos.dbf");
  QTest::mouseClick(w->SpeedButton4, Qt::LeftButton);
  chosen = Amostra("sinistros.dbf");
  QTest::mouseClick(w->SpeedButton3, Qt::LeftButton);
  QCOMPARE(boxes.fileDialogs, 2);
  QCOMPARE(w->edArqRisco->text(), Amostra("riscos.dbf"));
  QCOMPARE(w->edArqSinistro->text(), Amostra("sinistros.dbf"));
  // Each picker starts in the home folder while its box is blank, then in
  // the folder of the file the box names.
  QCOMPARE(folders, (QStringList{QDir::homePath(), QDir::homePath()}));
  QCOMPARE(filters, (QStringList{"Tabelas dBASE (*.dbf)", "Todos os arquivos (*)"}));
  QTest::mouseClick(w->SpeedButton3, Qt::LeftButton);
  QCOMPARE(folders.last(), QFileInfo(Amostra("sinistros.dbf")).absolutePath());

  // Cancel leaves the box as it was.
  boxes.fileDialog = [](QFileDialog* d) { d->reject(); };
  QTest::mouseClick(w->SpeedButton4, Qt::LeftButton);
  QCOMPARE(boxes.fileDialogs, 4);
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
  for (int code : {0, 1, 4, 12, 25, 33, 42}) QVERIFY(tolk::MensagemAbertura(code).empty());

  // Help: the program folder's ZAVTolk.chm where a program opens it, else
  // the same pages in HTML; F1 does what the button does.
  const QString ajuda = Temp("ajuda/");
  QVERIFY(QDir().mkpath(ajuda + "ajuda"));
  w->pastaPrograma = ajuda;
  QTest::mouseClick(w->btnAjuda, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 4);
  ExpectBox(boxes.boxes[3], QMessageBox::NoIcon, "The specified file was not found.");
  WriteAll(ajuda + "ZAVTolk.chm", "ITSF");
  opened_.clear();
  QTest::mouseClick(w->btnAjuda, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 4);
  QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(ajuda + "ZAVTolk.chm")});

  const QUrl chm = QUrl::fromLocalFile(ajuda + "ZAVTolk.chm"),
             html = QUrl::fromLocalFile(ajuda + "ajuda/index.htm");
  desktopRefuses_ = ".chm";
  opened_.clear();
  w->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(w.get()));
  QTest::keyClick(w.get(), Qt::Key_F1);  // no pages beside it: the help file's failure
  QCOMPARE(boxes.boxes.size(), 5);
  ExpectBox(boxes.boxes[4], QMessageBox::NoIcon,
            "There is no application associated with the given filename extension.");
  WriteAll(ajuda + "ajuda/index.htm", "<html></html>");
  w->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(w.get()));
  QTest::keyClick(w.get(), Qt::Key_F1);
  QFile::remove(ajuda + "ZAVTolk.chm");
  QTest::mouseClick(w->btnAjuda, Qt::LeftButton);
  desktopRefuses_.clear();
  QCOMPARE(boxes.boxes.size(), 5);
  QCOMPARE(opened_, (QList<QUrl>{chm, chm, html, html}));
}

void TfrmInicioTest::fechar() {
  auto w = NovaJanela();
  QVERIFY(w);
  QTest::mouseClick(w->btnFechar, Qt::LeftButton);
  QVERIFY(!w->isVisible());
}

QTEST_MAIN(TfrmInicioTest)
#include "TfrmInicio_test.moc"
