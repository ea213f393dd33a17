// Whole runs of tolk-critica over hostile deliveries and under faults: each
// ends with the log written so far and one clear message naming the file,
// within a time limit; a run that cannot finish its index leaves none behind
// and the next run builds it again; and no run changes an input file.
//
// Every test copies the shipped dictionary and figures into a program folder
// of its own and the sample delivery (or a generated one) into a delivery
// folder of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "app/run_fixture.h"
#include "dataset/coding.h"
#include "hostile/hostile_support.h"
#include "tools/delivery_generator.h"

namespace tolk {
namespace {

namespace fs = std::filesystem;
using namespace hostile;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const std::string kAbertura = "Início do processamento: 08/12/2026 16:40:35\n";
const std::string kCruzamento = " sinistros sem bilhete no período";
const std::string kFim = "Fim do processamento: ";

std::string OpenError(const std::string& path) {
  return "TXQSmartDBF.InternalOpen: Open error \"" + path + "\"";
}
std::string Damaged(const std::string& path, const std::string& what) {
  return "TXQSmartDBF.InternalOpen: File \"" + path + "\" is damaged: " + what;
}
const std::string kCreateError = "TXQNTXIndex.CreateIndex: Create error \"bilhete\"";

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Put16(std::string bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
  return bytes;
}
std::uint16_t Get16(const std::string& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                    static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

// A program folder with the shipped dictionary and figures, and a delivery folder.
class Entrega {
 public:
  explicit Entrega(const std::string& programa = "programa", const std::string& entrega = "entrega",
                   const std::string& riscosName = "riscos.dbf",
                   const std::string& sinistrosName = "sinistros.dbf")
      : pasta(dir.File(programa)), pastaEntrega(dir.File(entrega)) {
    OpenToOthers(dir.path(), true);
    fs::create_directories(pasta);
    fs::create_directories(pastaEntrega);
    for (const char* name : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"})
      fs::copy_file(BinDir() + "/" + name, pasta + "/" + name);
    riscos = pastaEntrega + "/" + riscosName;
    sinistros = pastaEntrega + "/" + sinistrosName;
  }

  // The shipped sample delivery: 400 risks and 150 claims of insurer 02135.
  Entrega& Amostra() {
    fs::copy_file(SamplesDir() + "/riscos.dbf", riscos, fs::copy_options::overwrite_existing);
    fs::copy_file(SamplesDir() + "/sinistros.dbf", sinistros, fs::copy_options::overwrite_existing);
    return *this;
  }
  // A generated delivery (insurer 03468 unless the options say otherwise).
  Entrega& Gerada(const tools::DeliveryOptions& options) {
    const std::string tmp = dir.File("gerada");
    fs::create_directories(tmp);
    tools::WriteDeliveryDbf(tools::DeliveryGenerator(options), tmp);
    fs::rename(tmp + "/riscos.dbf", riscos);
    fs::rename(tmp + "/sinistros.dbf", sinistros);
    fs::remove_all(tmp);
    return *this;
  }

  std::vector<std::string> Args(const std::string& r, const std::string& s) const {
    std::vector<std::string> a = {"--pasta", pasta,     "--locale",
                                  "pt_BR",   "--agora", "2026-12-08 16:40:35"};
    if (!r.empty()) a.insert(a.end(), {"--riscos", r});
    if (!s.empty()) a.insert(a.end(), {"--sinistros", s});
    return a;
  }
  std::vector<std::string> Args() const { return Args(riscos, sinistros); }
  Outcome Run(const Limits& limits = {}) const { return RunCritica(Args(), limits); }
  std::string Ntx() const { return pasta + "/bilhete.ntx"; }

  TempDir dir;
  std::string pasta, pastaEntrega, riscos, sinistros;
};

// What a run ended by an error shows: on standard error the error, then a
// sentence for the analyst that starts with `why`; on standard output the
// log as far as the run got.
void ExpectEndedBy(const Outcome& r, const std::string& error, const std::string& why) {
  EXPECT_FALSE(r.hung) << "the run hung";
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), error + "\n");
  const std::string second = r.err.substr(r.err.find('\n') + 1);
  EXPECT_EQ(second.rfind(why, 0), 0u) << second;
  EXPECT_EQ(std::count(second.begin(), second.end(), '\n'), 1) << second;
  EXPECT_EQ(r.out.rfind(kAbertura, 0), 0u) << "the log is kept";
  EXPECT_EQ(r.out.find(kFim), std::string::npos);
}

// A run that ends normally with the clean run's log and builds the clean
// run's index again, byte for byte.
void ExpectRunsAsClean(const Entrega& e, const Outcome& clean, const std::string& ntx) {
  const Outcome r = e.Run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, clean.out);
  EXPECT_EQ(ReadBytes(e.Ntx()), ntx);
}

// ---- Hostile tables --------------------------------------------------------------------

TEST(HostileRunTest, DamagedTablesAndDictionaryEndTheRunNamingTheFile) {
  struct Case {
    const char* what;
    std::function<std::string(Entrega&)> damage;  // the error it must give
    int tablesChecked;                            // summaries in the log kept
    std::string why;                              // how its explanation starts
  };
  const std::vector<Case> cases = {
      {"an empty claims file",
       [](Entrega& e) {
         WriteBytes(e.sinistros, "");
         return Damaged(e.sinistros, "the file is empty");
       },
       1, "O arquivo de sinistros está danificado"},
      {"claims whose descriptors have no terminator",
       [](Entrega& e) {
         std::string b = ReadBytes(e.sinistros);
         const std::uint16_t hl = Get16(b, 8);
         b[hl - 1] = ' ';
         WriteBytes(e.sinistros, b);
         return Damaged(e.sinistros,
                        "the field descriptors have no 0x0D terminator inside the header length " +
                            std::to_string(hl));
       },
       1, "O arquivo de sinistros está danificado"},
      {"a folder as the claims file",
       [](Entrega& e) {
         fs::remove(e.sinistros);
         fs::create_directory(e.sinistros);
         return OpenError(e.sinistros);
       },
       1, "O arquivo de sinistros indicado é uma pasta"},
      {"a FIFO as the claims file",
       [](Entrega& e) {
         fs::remove(e.sinistros);
         ::mkfifo(e.sinistros.c_str(), 0644);
         return OpenError(e.sinistros);
       },
       1, "O arquivo de sinistros não é um arquivo comum"},
      {"a device as the risks file",
       [](Entrega& e) {
         e.riscos = "/dev/zero";
         return OpenError(e.riscos);
       },
       0, "O arquivo de riscos não é um arquivo comum"},
      {"an empty tabelas.dbf",
       [](Entrega& e) {
         WriteBytes(e.pasta + "/tabelas.dbf", "");
         return Damaged(e.pasta + "/tabelas.dbf", "the file is empty");
       },
       0, "O arquivo tabelas.dbf, na pasta do programa, está danificado"},
      {"anexos.dbf cut short",
       [](Entrega& e) {
         const std::string p = e.pasta + "/anexos.dbf";
         WriteBytes(p, ReadBytes(p).substr(0, 40));
         return Damaged(p, "the header length " + std::to_string(Get16(ReadBytes(p), 8)) +
                               " is past the end of the file (40 bytes)");
       },
       0, "O arquivo anexos.dbf, na pasta do programa, está danificado"},
      {"a folder as DadosOrb.DBF",
       [](Entrega& e) {
         const std::string p = e.pasta + "/DadosOrb.DBF";
         fs::remove(p);
         fs::create_directory(p);
         return OpenError(p);
       },
       2, "O arquivo DadosOrb.DBF, na pasta do programa, é uma pasta"},
      {"a risks file that lacks the insurer's code",
       [](Entrega& e) {
         tools::DbfWriter w({{"BILHETE", 'C', 10}});
         w.AddRecord({"0000000001"});
         w.WriteFile(e.riscos);
         return std::string("tbDados: Field 'cod_seg' not found");
       },
       0, "O arquivo de riscos não tem o campo COD_SEG"},
      {"a text file as the claims file",
       [](Entrega& e) {
         WriteBytes(e.sinistros, "BILHETE;VALOR\n");
         return "TXQSmartDBF.InternalOpen: File \"" + e.sinistros + "\" is not DBF file";
       },
       1, "O arquivo de sinistros não é uma tabela dBASE"},
      {"no claims file",
       [](Entrega& e) {
         fs::remove(e.sinistros);
         return OpenError(e.sinistros);
       },
       1, "O arquivo de sinistros não existe"},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Entrega e;
    e.Amostra();
    const std::string error = c.damage(e);
    const Outcome r = RunCritica(e.Args());
    ExpectEndedBy(r, error, c.why);
    EXPECT_EQ(Count(r.out, "Total de registros : "), c.tablesChecked);
    EXPECT_EQ(Count(r.out, kCruzamento), c.tablesChecked == 2 ? 1 : 0);
  }
}

// Files that look odd but hold a sound delivery give the log of the plain
// sample: accented names with blanks, a memo dialect without its memo file,
// a piece of a record after the last.
TEST(HostileRunTest, OddButSoundDeliveriesRunAsUsual) {
  Entrega plain;
  const Outcome ref = plain.Amostra().Run();
  ASSERT_EQ(ref.status, 0) << ref.err;
  ASSERT_EQ(ref.err, "Crítica finalizada.\n");

  Entrega accented("pasta do programa çã", "entrega de março/São João", "riscos ção.dbf",
                   "sinistros Ñ é.DBF");
  accented.Amostra();
  const std::string saida = accented.pastaEntrega + "/relatório final.txt";
  std::vector<std::string> args = accented.Args();
  args.insert(args.end(), {"--saida", saida});
  Outcome r = RunCritica(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, ref.out);
  EXPECT_TRUE(fs::exists(accented.Ntx()));
  EXPECT_GT(fs::file_size(saida), 0u);

  // Names in another single-byte code page reach the system as their bytes.
  Entrega latin1("programa", "entrega", "riscos\xE7\xE3o.dbf", "sinistros\xC9.dbf");
  r = latin1.Amostra().Run();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, ref.out);

  const std::vector<std::pair<const char*, std::function<void(Entrega&)>>> odd = {
      {"memo dialect, no memo file",
       [](Entrega& e) {
         std::string b = ReadBytes(e.riscos);
         b[0] = static_cast<char>(0x83);
         WriteBytes(e.riscos, b);
       }},
      {"a piece of a record after the last",
       [](Entrega& e) { WriteBytes(e.sinistros, ReadBytes(e.sinistros) + std::string(9, 'x')); }},
  };
  for (const auto& [what, change] : odd) {
    SCOPED_TRACE(what);
    Entrega e;
    e.Amostra();
    change(e);
    r = e.Run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ref.out);
  }
}

// ---- Faults ---------------------------------------------------------------------------------

TEST(HostileRunTest, TheSameFileInBothBoxes) {
  // With the shipped dictionary the risks file fails the claims structure.
  Entrega e;
  e.Amostra();
  Outcome r = RunCritica(e.Args(e.riscos, e.riscos));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Erro: estrutura incorreta na tabela SINISTROS"), std::string::npos)
      << r.out;
  EXPECT_EQ(Count(r.out, kCruzamento), 0);

  // Under a dictionary both tables of which have the same fields, one file
  // passes for both; the cross-check then opens it twice, and the second
  // exclusive open fails, whatever name it goes by.
  Entrega same;
  std::vector<testing::CampoDic> rows;
  for (const char* tabela : {"RISCOS", "SINISTROS"}) {
    rows.push_back(
        {"TOLK", tabela, "COD_SEG", "", "1", "5", "0", "1", "0", "0", "0", "1", "0", "0"});
    rows.push_back(
        {"TOLK", tabela, "BILHETE", "", "1", "10", "0", "1", "0", "0", "0", "2", "0", "0"});
  }
  testing::WriteTabelas(same.pasta + "/tabelas.dbf", rows);
  testing::WriteAnexos(same.pasta + "/anexos.dbf", {});
  tools::DbfWriter w({{"COD_SEG", 'C', 5}, {"BILHETE", 'C', 10}});
  w.AddRecord({"02135", "0000000001"});
  w.WriteFile(same.riscos);
  const std::string hard = same.pastaEntrega + "/vinculo.dbf",
                    soft = same.pastaEntrega + "/atalho.dbf";
  ASSERT_EQ(::link(same.riscos.c_str(), hard.c_str()), 0);
  ASSERT_EQ(::symlink(same.riscos.c_str(), soft.c_str()), 0);
  for (const std::string& second : {same.riscos, hard, soft, same.pastaEntrega + "/./riscos.dbf"}) {
    SCOPED_TRACE(second);
    r = RunCritica(same.Args(same.riscos, second));
    ExpectEndedBy(r, OpenError(second), "As duas caixas indicam o mesmo arquivo");
    EXPECT_EQ(Count(r.out, "Total de registros : 1"), 2);
  }
}

TEST(HostileRunTest, ATableLockedByAnotherProgram) {
  Entrega e;
  e.Amostra();
  const Outcome ref = e.Run();
  ASSERT_EQ(ref.status, 0);
  struct Case {
    std::string path;
    int operation;
    int tablesChecked;
    std::string why;
  } cases[] = {{e.riscos, LOCK_SH, 0, "O arquivo de riscos está em uso por outro programa"},
               {e.sinistros, LOCK_EX, 1, "O arquivo de sinistros está em uso"},
               {e.riscos, LockHolder::kFcntlWrite, 0, "O arquivo de riscos está em uso"},
               {e.sinistros, LockHolder::kFcntlWrite, 1, "O arquivo de sinistros está em uso"},
               // The program folder's files are shared with readers (other
               // runs), never with a writer.
               {e.pasta + "/tabelas.dbf", LOCK_EX, 0,
                "O arquivo tabelas.dbf, na pasta do programa, está em uso"},
               {e.pasta + "/anexos.dbf", LockHolder::kFcntlWrite, 0,
                "O arquivo anexos.dbf, na pasta do programa, está em uso"},
               {e.pasta + "/DadosOrb.DBF", LOCK_EX, 2,
                "O arquivo DadosOrb.DBF, na pasta do programa, está em uso"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    LockHolder other(c.path, c.operation);
    ASSERT_TRUE(other.Holding());
    const Outcome r = RunCritica(e.Args());  // no waiting for the lock
    ExpectEndedBy(r, OpenError(c.path), c.why);
    EXPECT_EQ(Count(r.out, "Total de registros : "), c.tablesChecked);
  }
  EXPECT_EQ(e.Run().out, ref.out) << "once the other program lets go";
}

// A bilhete.ntx found in the program folder, damaged or built over another
// delivery, is never read: the run builds its own over it.
TEST(HostileRunTest, AnIndexFileLeftInTheProgramFolderIsRebuiltNotTrusted) {
  Entrega ref;
  const Outcome clean = ref.Amostra().Run();
  ASSERT_EQ(clean.status, 0);
  const std::string ntx = ReadBytes(ref.Ntx());
  ASSERT_GT(ntx.size(), 2048u);

  // Built over another delivery in the same program folder.
  Entrega e;
  tools::DeliveryOptions other;
  other.risks = 3000;
  ASSERT_EQ(e.Gerada(other).Run().status, 0);
  ASSERT_NE(ReadBytes(e.Ntx()), ntx);
  e.Amostra();
  ExpectRunsAsClean(e, clean, ntx);

  const std::uint32_t root =
      coding::Load32(coding::Bytes(reinterpret_cast<const std::uint8_t*>(ntx.data()), 8), 4);
  std::string cycle = ntx;
  const std::uint16_t slot0 = Get16(ntx, root + 2);
  std::memcpy(cycle.data() + root + slot0, ntx.data() + 4, 4);  // the root's first child: the root
  const std::vector<std::pair<const char*, std::string>> damaged = {
      {"empty", ""},
      {"header only", ntx.substr(0, 1024)},
      {"a child page cycle", cycle},
      {"root past the end", Put16(Put16(ntx, 4, 0xF000), 6, 0x00FF)},
      {"64 KB of 0xFF", std::string(65536, '\xFF')},
  };
  for (const auto& [what, bytes] : damaged) {
    SCOPED_TRACE(what);
    WriteBytes(e.Ntx(), bytes);
    ExpectRunsAsClean(e, clean, ntx);
  }

  // A link of either kind at that name, to a file the user may write: the
  // link is replaced, never written through.
  const std::string victim = e.dir.File("victim.txt");
  for (const bool hard : {false, true}) {
    SCOPED_TRACE(hard ? "a hard link" : "a symbolic link");
    WriteBytes(victim, "o texto de outro arquivo\n");
    fs::remove(e.Ntx());
    hard ? fs::create_hard_link(victim, e.Ntx()) : fs::create_symlink(victim, e.Ntx());
    ExpectRunsAsClean(e, clean, ntx);
    EXPECT_EQ(ReadBytes(victim), "o texto de outro arquivo\n");
    EXPECT_FALSE(fs::is_symlink(e.Ntx()));
    EXPECT_EQ(fs::hard_link_count(victim), 1u);
  }
}

// Runs that share a program folder each build an index file of their own and
// move it into place when it is whole: started together, over different
// deliveries, each ends with the log it gives alone. The last to finish
// leaves its index, and nothing else is left in the folder.
TEST(HostileRunTest, RunsSideBySideWithOneProgramFolder) {
  Entrega programa;
  std::vector<std::unique_ptr<Entrega>> entregas;
  std::vector<Outcome> alone;
  std::vector<std::string> indexes;
  for (std::uint64_t seed = 1; seed <= 4; ++seed) {
    tools::DeliveryOptions o;
    o.seed = seed;
    o.risks = 60000 + 20000 * static_cast<std::uint32_t>(seed);  // indexes of 2 to 4 MB
    o.claims = 5000;
    o.ticketOrder = tools::TicketOrder::kRandom;
    entregas.push_back(std::make_unique<Entrega>());
    entregas.back()->Gerada(o).pasta = programa.pasta;
    alone.push_back(entregas.back()->Run());
    ASSERT_EQ(alone.back().status, 0) << alone.back().err;
    indexes.push_back(ReadBytes(programa.Ntx()));
  }
  std::vector<Outcome> together(entregas.size());
  std::vector<std::thread> runs;
  for (std::size_t i = 0; i < entregas.size(); ++i)
    runs.emplace_back([&, i] { together[i] = entregas[i]->Run(); });
  for (std::thread& t : runs) t.join();
  for (std::size_t i = 0; i < entregas.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(together[i].status, 0) << together[i].err;
    EXPECT_EQ(together[i].err, "Crítica finalizada.\n");
    EXPECT_EQ(together[i].out, alone[i].out);
  }
  EXPECT_NE(std::find(indexes.begin(), indexes.end(), ReadBytes(programa.Ntx())), indexes.end());
  EXPECT_EQ(testing::FilesIn(programa.pasta),
            (std::vector<std::string>{"DadosOrb.DBF", "anexos.dbf", "bilhete.ntx", "tabelas.dbf"}));
}

TEST(HostileRunTest, AnUnwritableProgramFolderAtTheCrossCheck) {
  Entrega e;
  e.Amostra();
  const Outcome clean = e.Run();
  ASSERT_EQ(clean.status, 0);
  const std::string cleanNtx = ReadBytes(e.Ntx());
  // An index of an earlier run left in the program folder, which then
  // becomes unwritable for real: as root the run drops to an unprivileged
  // user. The index goes to the user's cache folder instead.
  ::chmod(e.pasta.c_str(), 0555);
  const FileState before = StateOf(e.Ntx());
  const std::string cache = e.dir.File("cache");
  fs::create_directories(cache);
  ::chmod(cache.c_str(), 0555);
  ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);

  // The cache folder cannot be made either: the explanation names it and
  // the system's reason.
  Outcome r = e.Run(Unprivileged());
  if (r.status == kCannotDrop || r.status == kCannotExec)
    GTEST_SKIP() << "tolk-critica cannot be run as an unprivileged user here";
  ExpectEndedBy(r, kCreateError,
                "Não foi possível criar o índice bilhete.ntx na pasta de cache do usuário \"" +
                    cache + "/tolk-zav/\" (");
  EXPECT_EQ(Count(r.out, "Total de registros : "), 2);
  EXPECT_EQ(Count(r.out, kCruzamento), 0);

  // With a cache folder it may write, the run ends as the clean one did, the
  // index there; the program folder's is neither written nor trusted.
  ::chmod(cache.c_str(), 0777);
  r = e.Run(Unprivileged());
  ::unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, clean.out);
  EXPECT_EQ(ReadBytes(cache + "/tolk-zav/bilhete.ntx"), cleanNtx);
  EXPECT_EQ(StateOf(e.Ntx()), before);
  ::chmod(e.pasta.c_str(), 0755);
}

TEST(HostileRunTest, AFullDiskWhileTheIndexIsWritten) {
  tools::DeliveryOptions options;
  options.risks = 4000;  // an index of about 150 KB
  options.claims = 400;
  Entrega ref;
  const Outcome clean = ref.Gerada(options).Run();
  ASSERT_EQ(clean.status, 0) << clean.err;
  const std::string ntx = ReadBytes(ref.Ntx());
  ASSERT_GT(ntx.size(), 65536u);

  Entrega e;
  e.Gerada(options);
  WriteBytes(e.Ntx(), ntx + "x");  // an index of an earlier run: it stays as it was
  // Files may not grow past 32 KB: the index breaks off midway.
  const Outcome r = e.Run(FilesUpTo(32768));
  EXPECT_FALSE(r.hung);
  EXPECT_EQ(r.signal, 0) << "tolk-critica ignores SIGXFSZ: the write fails instead";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("TXQNTXIndex: Write error \"" + e.Ntx() + "\": File too large", 0), 0u)
      << r.err;
  EXPECT_EQ(Count(r.out, "Total de registros : "), 2) << "the log is kept";
  EXPECT_EQ(Count(r.out, kCruzamento), 0);
  EXPECT_EQ(ReadBytes(e.Ntx()), ntx + "x") << "no half-written index is left";
  EXPECT_EQ(testing::FilesIn(e.pasta),
            (std::vector<std::string>{"DadosOrb.DBF", "anexos.dbf", "bilhete.ntx", "tabelas.dbf"}));

  ExpectRunsAsClean(e, clean, ntx);
}

TEST(HostileRunTest, AnExportThatCannotBeWritten) {
  Entrega e;
  e.Amostra();
  const Outcome clean = e.Run();
  ASSERT_EQ(clean.status, 0);
  const std::string folder = e.pastaEntrega + "/pasta";
  fs::create_directory(folder);
  struct Case {
    std::string option, path, reason;
  } cases[] = {
      {"--saida", "/dev/full", "No space left on device"},
      {"--saida", e.riscos + "/log.txt", "Not a directory"},
      {"--saida", folder, "Is a directory"},
      {"--json", "/dev/full", ""},
      {"--detalhes", "/dev/full", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option + " " + c.path);
    std::vector<std::string> args = e.Args();
    args.insert(args.end(), {c.option, c.path});
    const Outcome r = RunCritica(args);
    EXPECT_EQ(r.status, 1);
    std::string want = "tolk-critica: não foi possível gravar \"" + c.path + "\"";
    if (!c.reason.empty()) want += ": " + c.reason;
    EXPECT_NE(r.err.find(want + "\n"), std::string::npos) << r.err;
    // The run itself ended normally and its log is whole.
    EXPECT_NE(r.err.find("Crítica finalizada.\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, clean.out);
  }

  // The log itself, when standard output leads to a full disk.
  Limits full;
  full.stdoutTo = "/dev/full";
  const Outcome lost = RunCritica(e.Args(), full);
  EXPECT_EQ(lost.status, 1);
  EXPECT_NE(lost.err.find(
                "tolk-critica: não foi possível gravar a saída padrão: No space left on device\n"),
            std::string::npos)
      << lost.err;

  // A folder the user may not write to, the program folder open to him.
  ::chmod(folder.c_str(), 0555);
  fs::remove(e.Ntx());
  ::chmod(e.pasta.c_str(), 0777);
  std::vector<std::string> args = e.Args();
  args.insert(args.end(), {"--saida", folder + "/log.txt"});
  const Outcome r = RunCritica(args, Unprivileged());
  if (r.status == kCannotDrop || r.status == kCannotExec)
    GTEST_SKIP() << "tolk-critica cannot be run as an unprivileged user here";
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("tolk-critica: não foi possível gravar \"" + folder +
                       "/log.txt\": Permission denied"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out, clean.out);
  EXPECT_FALSE(fs::exists(folder + "/log.txt"));
}

// ---- Input files are only read -----------------------------------------------------------------

TEST(HostileRunTest, InputFilesAreNeverChanged) {
  tools::DeliveryOptions limpa;
  limpa.findingShare = 0;
  limpa.deletedShare = 0;
  tools::DeliveryOptions cheia;
  cheia.findingShare = 0.2;
  cheia.deletedShare = 0.05;
  tools::DeliveryOptions outra;
  outra.insurer = "01007";

  struct Case {
    const char* what;
    std::function<void(Entrega&)> prepare;
    std::function<std::vector<std::string>(const Entrega&)> args;
    std::string error = {};  // the error that must end the runs; empty: any ending
  };
  auto both = [](const Entrega& e) { return e.Args(); };
  const std::vector<Case> cases = {
      {"the sample", [](Entrega& e) { e.Amostra(); }, both},
      {"a clean delivery", [&](Entrega& e) { e.Gerada(limpa); }, both},
      {"a finding on every record", [&](Entrega& e) { e.Gerada(cheia); }, both},
      {"claims of another insurer",
       [&](Entrega& e) {
         e.Gerada({});
         Entrega o;
         o.Gerada(outra);
         fs::copy_file(o.sinistros, e.sinistros, fs::copy_options::overwrite_existing);
       },
       both},
      {"the boxes swapped", [](Entrega& e) { e.Amostra(); },
       [](const Entrega& e) { return e.Args(e.sinistros, e.riscos); }},
      {"a run ended by a missing claims file", [](Entrega& e) { e.Amostra(); },
       [](const Entrega& e) { return e.Args(e.riscos, e.pastaEntrega + "/falta.dbf"); }},
      {"bilhete.ntx a symbolic link to the risks file, replaced",
       [](Entrega& e) {
         e.Amostra();
         fs::create_symlink(e.riscos, e.Ntx());
       },
       both},
      {"bilhete.ntx another name of the claims file",
       [](Entrega& e) {
         e.Amostra();
         fs::create_hard_link(e.sinistros, e.Ntx());
       },
       both, kCreateError},
      {"the risks file kept as the program folder's bilhete.ntx",
       [](Entrega& e) {
         e.Amostra();
         fs::rename(e.riscos, e.Ntx());
         e.riscos = e.Ntx();
       },
       both, kCreateError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Entrega e;
    c.prepare(e);
    const auto entrega = StateOfFolder(e.pastaEntrega);
    auto programa = StateOfFolder(e.pasta);
    const FileState riscos = StateOf(e.riscos);
    ASSERT_TRUE(riscos.regular);
    // Twice: the second run finds the first one's index in the program folder.
    for (int run = 0; run < 2; ++run) {
      const Outcome r = RunCritica(c.args(e));
      EXPECT_FALSE(r.hung);
      EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;
      if (!c.error.empty()) {
        EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), c.error + "\n");
      }
    }
    EXPECT_EQ(StateOfFolder(e.pastaEntrega), entrega) << "the delivery folder is as it was";
    EXPECT_EQ(StateOf(e.riscos), riscos);
    auto after = StateOfFolder(e.pasta);
    // The program folder: only the index may have come or changed.
    if (e.riscos != e.Ntx()) {
      programa.erase("bilhete.ntx");
      after.erase("bilhete.ntx");
    }
    EXPECT_EQ(after, programa);
  }
}

}  // namespace
}  // namespace tolk
