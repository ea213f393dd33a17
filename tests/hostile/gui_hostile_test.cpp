// The window under hostile input and faults: a box naming a FIFO, a folder
// or an empty file ends the run with the error box and keeps the log; an
// export the system refuses shows why and opens nothing; a delivery under
// accented folder and file names runs as any other. ModalBoxes answers every
// box and dialog; the desktop is replaced by a recorder.
#include <sys/stat.h>
#include <unistd.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QUrl>
#include <QtTest>
#include <memory>

#include "dataset/number_format.h"
#include "gui/AbrirDocumento.h"
#include "gui/TfrmInicio.h"
#include "gui/janela_teste.h"
#include "gui/modal_boxes.h"
#include "hostile/hostile_support.h"

using tolk::TfrmInicio;
using tolk::testing::LogShown;
using tolk::testing::ModalBoxes;

namespace {

void Choose(QFileDialog* dialog, const QString& path) {
  auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
  QVERIFY(name);
  name->setText(path);
  static_cast<QDialog*>(dialog)->accept();
}

// For the length of a scope the process acts as an unprivileged user, when
// it runs as root: a refused permission is then refused for real.
class ComoUsuarioComum {
 public:
  ComoUsuarioComum() : root_(::geteuid() == 0) {
    if (!root_) return;
    (void)!::setegid(tolk::hostile::kNoGroup);
    (void)!::seteuid(tolk::hostile::kNobody);
  }
  ~ComoUsuarioComum() {
    if (!root_) return;
    (void)!::seteuid(0);
    (void)!::setegid(0);
  }
  ComoUsuarioComum(const ComoUsuarioComum&) = delete;
  ComoUsuarioComum& operator=(const ComoUsuarioComum&) = delete;
  bool Ok() const { return ::geteuid() != 0; }

 private:
  bool root_;
};

}  // namespace

class HostileGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void caixasHostisEncerramACritica();
  void exportacaoRecusada();

 private:
  std::unique_ptr<TfrmInicio> NovaJanela();
  QString Temp(const QString& name) const { return tmp_.filePath(name); }

  QTemporaryDir tmp_;
  QString pasta_, riscos_, sinistros_;
  QList<QUrl> opened_;
  tolk::DesktopOpener previousOpener_;
};

void HostileGuiTest::initTestCase() {
  tolk::IniciaAplicacao();
  QVERIFY(tmp_.isValid());
  ::chmod(QFile::encodeName(tmp_.path()).constData(), 0755);
  const QString bin = QString::fromStdString(tolk::hostile::BinDir());
  const QString samples = QString::fromStdString(tolk::hostile::SamplesDir());
  pasta_ = Temp("pasta do programa/");
  QVERIFY(QDir().mkpath(pasta_));
  for (const char* name : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"})
    QVERIFY2(QFile::copy(bin + '/' + name, pasta_ + name), name);
  // The sample under accented names with blanks.
  const QString entrega = Temp("entrega de março/");
  QVERIFY(QDir().mkpath(entrega));
  riscos_ = entrega + QStringLiteral("riscos São João.dbf");
  sinistros_ = entrega + QStringLiteral("sinistros ção.dbf");
  QVERIFY(QFile::copy(samples + "/riscos.dbf", riscos_));
  QVERIFY(QFile::copy(samples + "/sinistros.dbf", sinistros_));
  previousOpener_ = tolk::SetDesktopOpener([this](const QUrl& url) {
    opened_ << url;
    return true;
  });
}

void HostileGuiTest::cleanupTestCase() { tolk::SetDesktopOpener(previousOpener_); }

std::unique_ptr<TfrmInicio> HostileGuiTest::NovaJanela() {
  return tolk::testing::NovaJanela(pasta_);
}

void HostileGuiTest::caixasHostisEncerramACritica() {
  auto w = NovaJanela();
  QVERIFY(w);
  const QString fifo = Temp("fila.dbf"), pasta = Temp("uma pasta.dbf"), vazio = Temp("vazio.dbf");
  QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0644) == 0);
  QVERIFY(QDir().mkpath(pasta));
  QFile(vazio).open(QIODevice::WriteOnly);
  const QString openError = QStringLiteral("TXQSmartDBF.InternalOpen: Open error \"%1\"");
  struct Caso {
    QString caminho, erro, explicacao;
  };
  const QList<Caso> casos = {
      {fifo, openError.arg(fifo), "O arquivo de sinistros não é um arquivo comum"},
      {pasta, openError.arg(pasta), "O arquivo de sinistros indicado é uma pasta"},
      {vazio,
       QStringLiteral("TXQSmartDBF.InternalOpen: File \"%1\" is damaged: the file is empty")
           .arg(vazio),
       "O arquivo de sinistros está danificado"},
  };
  w->edArqRisco->setText(riscos_);
  for (const auto& [caminho, erro, explicacao] : casos) {
    w->edArqSinistro->setText(caminho);
    ModalBoxes boxes;
    QTest::mouseClick(w->btnOk, Qt::LeftButton);  // a FIFO must not hold the run
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(boxes.boxes[0].text.startsWith(explicacao), qPrintable(boxes.boxes[0].text));
    QCOMPARE(boxes.boxes[0].informative, erro);
    // The log keeps the risks table's block; the bar stays where it was.
    const QStringList log = LogShown(*w);
    QVERIFY(log.first().startsWith(QStringLiteral("Início do processamento: 08/12/2026 16:40:35")));
    QCOMPARE(log.filter(QRegularExpression("^RISCOS ")).size(), 11);
    QVERIFY(log.filter(QStringLiteral("sinistros sem bilhete")).isEmpty());
    QCOMPARE(w->ProgressBar->value(), 25);
  }

  // The same window, the claims file named: the accented names run through.
  w->edArqSinistro->setText(sinistros_);
  ModalBoxes boxes;
  QTest::mouseClick(w->btnOk, Qt::LeftButton);
  QCOMPARE(boxes.boxes.size(), 1);
  QCOMPARE(boxes.boxes[0].text, QStringLiteral("Crítica finalizada."));
  QCOMPARE(LogShown(*w).filter(QStringLiteral("5 sinistros sem bilhete no período")).size(), 1);
  QVERIFY(QFile::exists(pasta_ + "bilhete.ntx"));
}

void HostileGuiTest::exportacaoRecusada() {
  auto w = NovaJanela();
  QVERIFY(w);
  w->edArqRisco->setText(riscos_);
  w->edArqSinistro->setText(sinistros_);
  {
    ModalBoxes boxes;
    QTest::mouseClick(w->btnOk, Qt::LeftButton);
    QCOMPARE(boxes.boxes.size(), 1);
  }
  const QStringList log = LogShown(*w);
  QVERIFY(log.size() > 40);

  const QString fechada = Temp("fechada/");
  QVERIFY(QDir().mkpath(fechada));
  ::chmod(QFile::encodeName(fechada).constData(), 0555);

  struct Caso {
    QString caminho;
    bool semPermissao;  // refused by permissions: as an unprivileged user
  };
  const QList<Caso> casos = {
      {fechada + "log.txt", true}, {riscos_ + "/log.txt", false},  // under a file
  };
  for (const Caso& c : casos) {
    ModalBoxes boxes;
    boxes.fileDialog = [&](QFileDialog* d) { Choose(d, c.caminho); };
    opened_.clear();
    {
      std::unique_ptr<ComoUsuarioComum> comum;
      if (c.semPermissao) {
        comum = std::make_unique<ComoUsuarioComum>();
        if (!comum->Ok()) QSKIP("cannot act as an unprivileged user");
      }
      QTest::mouseClick(w->btnExporta, Qt::LeftButton);
    }
    QCOMPARE(boxes.fileDialogs, 1);
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(boxes.boxes[0].text.contains(c.caminho), qPrintable(boxes.boxes[0].text));
    QVERIFY(opened_.isEmpty());
    QCOMPARE(LogShown(*w), log);
  }
  QVERIFY(!QFile::exists(fechada + "log.txt"));
  ::chmod(QFile::encodeName(fechada).constData(), 0755);
}

QTEST_MAIN(HostileGuiTest)
#include "gui_hostile_test.moc"
