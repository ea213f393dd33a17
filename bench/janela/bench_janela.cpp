// A validation run in the window against the same run of the terminal front,
// over one delivery, round by round.
//   bench_janela --riscos ARQ --sinistros ARQ --pasta DIR [--critica EXE] [--runs N]
//                [--intervalo MS]
//   bench_janela --ocorrencias N
// The second form fills the findings' view with N synthetic findings and
// times its opening, a sort by value, a field's filter and a search.
// The window (offscreen unless QT_QPA_PLATFORM says otherwise) is driven by
// its own button and timed from the click to the moment the run's final box
// "Crítica finalizada." is shown; tolk-critica (by default the one beside
// this program) is timed as a whole process, its log discarded. DIR is the
// program folder of both and receives bilhete.ntx; the two never run at the
// same time. After one untimed round, each round times both, the window
// first in odd rounds and the terminal first in even ones, so that neither
// always inherits the other's warm caches. Prints each round and the medians;
// asserts nothing, but ends with status 1 when either run did not end with
// its final message.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "gui/TfrmInicio.h"
#include "gui/TfrmOcorrencias.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kFinalMessage[] = "Crítica finalizada.";

struct Options {
  std::string risks, claims, folder, critica;
  int runs = 5;
  int interval = -1;  // the window's repaint interval in ms; -1: its own
};

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "bench_janela: %s\n", why.c_str());
  std::exit(1);
}

// Records every message box as it is shown and closes it from inside its own
// event loop. The instant of the show event is the end of the run: the window
// calls the box's exec as the run's last step, so nothing of the run is left
// and nothing of the box's painting is counted.
class BoxWatch : public QObject {
 public:
  struct Box {
    QMessageBox::Icon icon;
    QString text;
    Clock::time_point shown;
  };
  std::vector<Box> boxes;

  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* box = qobject_cast<QMessageBox*>(object)) {
        boxes.push_back({box->icon(), box->text(), Clock::now()});
        QTimer::singleShot(0, box, [box] { box->done(QMessageBox::Ok); });
      }
    }
    return false;
  }
};

// One run in a new window, as a user starts the program and presses
// "Criticar": seconds from the click to the final box.
double WindowRun(const Options& o) {
  BoxWatch watch;
  qApp->installEventFilter(&watch);
  double seconds = 0;
  {
    tolk::TfrmInicio w;
    w.pastaPrograma = QString::fromStdString(o.folder);
    if (o.interval >= 0) w.intervaloRepintura = o.interval;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) Fail("the window was never exposed");
    w.edArqRisco->setText(QString::fromStdString(o.risks));
    w.edArqSinistro->setText(QString::fromStdString(o.claims));
    const auto click = Clock::now();
    QTest::mouseClick(w.btnOk, Qt::LeftButton);
    if (watch.boxes.empty()) Fail("the window's run showed no box");
    seconds = std::chrono::duration<double>(watch.boxes.front().shown - click).count();
  }
  qApp->removeEventFilter(&watch);
  // The window and its run are gone, and with them the tables it held open.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const auto& b = watch.boxes;
  if (b.size() != 1 || b.front().icon != QMessageBox::NoIcon ||
      b.front().text != QString::fromUtf8(kFinalMessage)) {
    std::string shown;
    for (const auto& box : b) shown += " \"" + box.text.toStdString() + "\"";
    Fail("the window's run did not end with \"" + std::string(kFinalMessage) +
         "\"; boxes:" + shown);
  }
  return seconds;
}

// One tolk-critica process, its log (standard output) discarded: the wall
// time from the fork to its end. Its standard error, which is no terminal,
// so that it shows no progress, must end with the final message.
double TerminalRun(const Options& o) {
  const std::vector<std::string> argv = {o.critica, "--riscos", o.risks, "--sinistros",
                                         o.claims,  "--pasta",  o.folder};
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::FILE* err = std::tmpfile();
  if (!err) Fail("no temporary file for the standard error of tolk-critica");
  const int errFd = ::fileno(err);
  const auto t0 = Clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) Fail("fork failed");
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(errFd, STDERR_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) Fail("waitpid failed");
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  std::string text;
  std::rewind(err);
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, err)) > 0;) text.append(buf, n);
  std::fclose(err);
  const std::string expected = std::string(kFinalMessage) + "\n";
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.size() < expected.size() ||
      text.compare(text.size() - expected.size(), expected.size(), expected) != 0)
    Fail(o.critica + " did not end with \"" + kFinalMessage + "\" (" +
         (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                            : "signal " + std::to_string(WTERMSIG(status))) +
         "): " + text);
  return seconds;
}

int Bench(const Options& o) {
  std::printf("window (platform %s) against %s; %d rounds after one untimed\n",
              QGuiApplication::platformName().toUtf8().constData(), o.critica.c_str(), o.runs);
  std::fflush(stdout);
  WindowRun(o);
  TerminalRun(o);
  std::vector<double> windows, terminals, ratios;
  for (int round = 1; round <= o.runs; ++round) {
    double window = 0, terminal = 0;
    const bool windowFirst = round % 2 == 1;
    if (windowFirst) {
      window = WindowRun(o);
      terminal = TerminalRun(o);
    } else {
      terminal = TerminalRun(o);
      window = WindowRun(o);
    }
    windows.push_back(window);
    terminals.push_back(terminal);
    ratios.push_back(window / terminal);
    std::printf("round %d (%s first): window %.3f s, tolk-critica %.3f s, ratio %.2f\n", round,
                windowFirst ? "window" : "terminal", window, terminal, ratios.back());
    std::fflush(stdout);
  }
  const double ratio = tolk::bench::Median(ratios);
  std::printf(
      "medians of %d rounds: window %.3f s, tolk-critica %.3f s, ratio %.2f (rounds: %.2f to "
      "%.2f)\n",
      o.runs, tolk::bench::Median(windows), tolk::bench::Median(terminals), ratio,
      *std::min_element(ratios.begin(), ratios.end()),
      *std::max_element(ratios.begin(), ratios.end()));
  std::printf("goal: window / tolk-critica at most 1.2: %.2f, %s\n", ratio,
              ratio <= 1.2 ? "met" : "NOT met");
  return 0;
}

// The findings' view over `n` findings made up here, as a window drives it.
int BenchOcorrencias(int n) {
  tolk::Ocorrencias store;
  const std::string campos[] = {"BILHETE", "DATA_EMI", "UF", "COD_MUN", "CATEG", "VAL_PREM"};
  for (int k = 0; k < n; ++k) {
    tolk::Finding f;
    f.table = k % 3 ? "RISCOS" : "SINISTROS";
    f.file = k % 3 ? "riscos.dbf" : "sinistros.dbf";
    f.record = k + 1;
    f.field = campos[k % 6];
    f.rule = tolk::kRegras[k % 5];
    const std::string valor = std::to_string(k * 7919LL % 1000003);
    f.value = valor;
    store.Adiciona(f);
  }
  QElapsedTimer clock;
  clock.start();
  tolk::TfrmOcorrencias v(store);
  v.Recarrega();
  v.show();
  if (!QTest::qWaitForWindowExposed(&v)) return 1;
  const qint64 open = clock.restart();
  QHeaderView* h = v.grade->horizontalHeader();
  QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                    QPoint(h->sectionViewportPosition(4) + 5, h->height() / 2));
  QCoreApplication::processEvents();
  const qint64 sort = clock.restart();
  v.cbCampo->setCurrentIndex(2);
  emit v.cbCampo->activated(2);
  QCoreApplication::processEvents();
  const qint64 filter = clock.restart();
  v.atrasoProcura = 0;
  QTest::keyClicks(v.edProcura, "12");
  QCoreApplication::processEvents();
  const qint64 search = clock.restart();
  std::printf(
      "%d findings: open %lld ms, sort by value %lld ms, one field %lld ms, search %lld ms"
      " (%d rows)\n",
      n, static_cast<long long>(open), static_cast<long long>(sort), static_cast<long long>(filter),
      static_cast<long long>(search), v.grade->model()->rowCount());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // No display is needed, nor wanted: the figures compare the run, not a
  // compositor. A platform named in the environment is kept.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  tolk::IniciaAplicacao();
  if (argc == 3 && std::string(argv[1]) == "--ocorrencias")
    return BenchOcorrencias(std::max(1, std::atoi(argv[2])));

  Options o;
  const bool read = tolk::bench::ReadOptions(
      argc, argv, 1, "bench_janela",
      {{"--riscos", [&](const std::string& v) { o.risks = v; }},
       {"--sinistros", [&](const std::string& v) { o.claims = v; }},
       {"--pasta", [&](const std::string& v) { o.folder = v; }},
       {"--critica", [&](const std::string& v) { o.critica = v; }},
       {"--runs", [&](const std::string& v) { o.runs = std::max(1, std::atoi(v.c_str())); }},
       // The window's repaint interval; 0: at every chance.
       {"--intervalo",
        [&](const std::string& v) { o.interval = std::max(0, std::atoi(v.c_str())); }}});
  if (!read) return 2;
  if (o.risks.empty() || o.claims.empty() || o.folder.empty()) {
    std::fputs(
        "uso: bench_janela --riscos ARQ --sinistros ARQ --pasta DIR [--critica EXE] [--runs N]\n"
        "                  [--intervalo MS]\n",
        stderr);
    return 2;
  }
  if (o.folder.back() != '/') o.folder += '/';
  if (o.critica.empty())
    o.critica =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tolk-critica").string();
  return Bench(o);
}
