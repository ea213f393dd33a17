// The claims-to-ticket cross-check.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/Critica.h"
#include "app/run_fixture.h"
#include "app/saidas.h"
#include "dataset/Exceptions.h"
#include "platform/system.h"

namespace tolk {
namespace {

using testing::Risco;
using testing::RunFixture;
using testing::Sinistro;

TEST(CruzaBilhetesTest, TicketsFoundOnceManyTimesOrOnlyDeleted) {
  RunFixture f;
  f.Run(f.Riscos({Risco("0000000001"),
                  Risco("0000000002"),
                  Risco("0000000002"),
                  {"*", "05428", "0000000003", "201703", "1", "10", "3550308", "22.22"}}),
        f.Sinistros({Sinistro("0000000001"),
                     Sinistro("0000000002"),
                     Sinistro("0000000003"),
                     Sinistro("0000000004"),
                     Sinistro("00000000"),  // a prefix of a ticket is not the ticket
                     {"*", "05428", "0000000099", "20170315", "20170401", "M", "1"}}));
  EXPECT_EQ(f.critica.Estado().semBilhete, 2);
  EXPECT_TRUE(
      f.window.Has("2 sinistros sem bilhete no período, num total de 5 sinistros (40,00%)."));
}

TEST(CruzaBilhetesTest, MissingTicketsAreReportedInRecordOrder) {
  // The tickets are sought in their sorted order; the findings must still
  // come in the claims' record order, with their own record numbers.
  RunFixture f;
  f.window.wantsFindings = true;
  f.Run(f.Riscos({Risco("0000000001"), Risco("0000000002")}),
        f.Sinistros({Sinistro("0000000009"),
                     Sinistro("0000000001"),
                     Sinistro("0000000005"),
                     {"*", "05428", "0000000003", "20170315", "20170401", "M", "1"},
                     Sinistro("0000000002"),
                     Sinistro("0000000000")}));
  EXPECT_EQ(f.critica.Estado().semBilhete, 3);
  std::vector<std::pair<std::int64_t, std::string>> got;
  for (const auto& x : f.window.findings)
    if (std::string(x.rule) == "sem_bilhete") {
      EXPECT_EQ(x.field, "BILHETE");
      got.emplace_back(x.record, x.value);
    }
  EXPECT_EQ(got, (std::vector<std::pair<std::int64_t, std::string>>{
                     {1, "0000000009"}, {3, "0000000005"}, {6, "0000000000"}}));
}

// Claims are sought in batches: over several of them, every claim without
// a ticket is reported once, in record order.
TEST(CruzaBilhetesTest, FindingsInRecordOrderAcrossBatches) {
  RunFixture f;
  f.window.wantsFindings = true;
  auto ticket = [](int n) {
    std::string t = std::to_string(n);
    return std::string(10 - t.size(), '0') + t;
  };
  std::vector<std::vector<std::string>> risks, claims;
  for (int i = 0; i < 500; ++i) risks.push_back(Risco(ticket(i * 2)));
  std::vector<std::pair<std::int64_t, std::string>> expected;
  for (int i = 1; i <= 40000; ++i) {
    // Odd tickets are nobody's; they fall among the others in sorted order.
    const int n = (i * 7919) % 1000;
    claims.push_back(Sinistro(ticket(n)));
    if (n % 2) expected.emplace_back(i, ticket(n));
  }
  f.Run(f.Riscos(risks), f.Sinistros(claims));
  std::vector<std::pair<std::int64_t, std::string>> got;
  for (const auto& x : f.window.findings)
    if (std::string(x.rule) == "sem_bilhete") got.emplace_back(x.record, x.value);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(f.critica.Estado().semBilhete, static_cast<std::int32_t>(expected.size()));
}

// An error while the claims are read (here from the window) ends the
// cross-check after the findings of every claim read before it, as seeking
// one claim at a time would.
TEST(CruzaBilhetesTest, AnErrorWhileClaimsAreReadFollowsTheFindingsBeforeIt) {
  RunFixture f;
  f.window.wantsFindings = true;
  f.window.onRecordsRead = [](const std::string& table, long long count) {
    if (table == "Bilhetes" && count == 16384) throw Exception("parou");
  };
  std::vector<std::vector<std::string>> claims;
  std::vector<std::int64_t> expected;
  for (int i = 1; i <= 20000; ++i) {
    claims.push_back(Sinistro(i % 3 ? "0000000001" : "0000000002"));
    if (i % 3 == 0 && i < 16384) expected.push_back(i);
  }
  EXPECT_THROW_MSG(f.Run(f.Riscos({Risco("0000000001")}), f.Sinistros(claims)), Exception, "parou");
  std::vector<std::int64_t> got;
  for (const auto& x : f.window.findings)
    if (std::string(x.rule) == "sem_bilhete") got.push_back(x.record);
  EXPECT_EQ(got, expected);
}

TEST(CruzaBilhetesTest, NoneMissingAndNoLiveClaims) {
  RunFixture f;
  f.Run(f.Riscos({Risco("0000000001")}), f.Sinistros({Sinistro("0000000001")}));
  EXPECT_TRUE(
      f.window.Has("0 sinistros sem bilhete no período, num total de 1 sinistros (0,00%)."));

  f.Run(f.Riscos({Risco("0000000001")}),
        f.Sinistros({{"*", "05428", "0000000007", "20170315", "20170401", "M", "1"}}));
  auto log = f.window.Utf8();
  // Claims table summary, then the cross-check's separator and two blanks only.
  auto it = std::find(log.begin(), log.end(), "Total de registros : 0");
  ASSERT_NE(it, log.end());
  std::vector<std::string> after(it + 4, it + 8);
  EXPECT_EQ(after, (std::vector<std::string>{"", std::string(110, '='), "", ""}));
  for (const auto& l : log) EXPECT_EQ(l.find("sem bilhete"), std::string::npos);
}

TEST(CruzaBilhetesTest, IndexFileStaysAndStaleOneGoes) {
  RunFixture f;
  testing::WriteBytes(f.dir.File("apolice.ntx"), "antigo");
  f.Run(f.Riscos({Risco("0000000001")}), f.Sinistros({Sinistro("0000000001")}));
  EXPECT_FALSE(std::filesystem::exists(f.dir.File("apolice.ntx")));
  ASSERT_TRUE(std::filesystem::exists(f.dir.File("bilhete.ntx")));
  EXPECT_EQ(std::filesystem::file_size(f.dir.File("bilhete.ntx")), 2048u);  // header and one leaf
  // Both tables were released.
  SystemFile probe;
  EXPECT_TRUE(probe.OpenRead(f.dir.File("riscos.dbf"), ShareMode::Exclusive));
}

// The index is built while the tables' rules run. A run that then ends
// before the cross-check (no live risks, a claims table of the wrong
// structure, a claims file that is no table) leaves no index and no file of
// the build's, keeps apolice.ntx, and releases the risks table.
TEST(CruzaBilhetesTest, NoCrossCheckLeavesNoIndexBehind) {
  RunFixture f;
  testing::WriteBytes(f.dir.File("apolice.ntx"), "antigo");
  auto nothingLeft = [&] {
    for (const auto& e : std::filesystem::directory_iterator(f.dir.path()))
      EXPECT_EQ(e.path().filename().string().find("bilhete"), std::string::npos) << e.path();
    EXPECT_TRUE(std::filesystem::exists(f.dir.File("apolice.ntx")));
    SystemFile probe;
    EXPECT_TRUE(probe.OpenRead(f.dir.File("riscos.dbf"), ShareMode::Exclusive));
  };
  f.Run(f.Riscos({{"*", "05428", "0000000001", "201703", "1", "10", "3550308", "22.22"}}),
        f.Sinistros({Sinistro("0000000001")}));
  nothingLeft();  // totalRiscos is 0

  std::vector<std::vector<std::string>> risks(50000, Risco("0000000001"));
  const std::string r = f.Riscos(risks);
  f.Run(r, f.Riscos({Risco("0000000001")}, "sinistros.dbf"));
  EXPECT_TRUE(f.window.Has("Erro: estrutura incorreta na tabela SINISTROS"));
  nothingLeft();

  testing::WriteBytes(f.dir.File("sinistros.dbf"), "nada");
  EXPECT_THROW(f.Run(r, f.dir.File("sinistros.dbf")), Exception);
  nothingLeft();
}

TEST(CruzaBilhetesTest, AnIndexFileThatCannotBeCreatedEndsTheRun) {
  RunFixture f;
  std::string r = f.Riscos({Risco("0000000001")});
  std::string s = f.Sinistros({Sinistro("0000000001")});
  // A folder in the index file's place cannot be replaced, not even by root.
  std::filesystem::create_directory(f.dir.File("bilhete.ntx"));
  EXPECT_THROW_MSG(f.Run(r, s), Exception, "TXQNTXIndex.CreateIndex: Create error \"bilhete\"");
  std::filesystem::remove(f.dir.File("bilhete.ntx"));
  EXPECT_EQ(f.window.finalMessages, 0);
  EXPECT_TRUE(f.window.Has("Total de registros : 1"));
  // The next run finds the tables free and no index left attached.
  f.Run(r, s);
  EXPECT_TRUE(
      f.window.Has("0 sinistros sem bilhete no período, num total de 1 sinistros (0,00%)."));
}

// bilhete.ntx is replaced by the file the build makes: a symbolic link there
// goes, its target untouched. A name that is itself one of the run's files
// (a hard link to it) would lose that name: refused, saying why.
TEST(CruzaBilhetesTest, ALinkAtTheIndexNameIsReplacedAndAnotherNameOfARunFileRefused) {
  RunFixture f;
  std::string r = f.Riscos({Risco("0000000001")});
  std::string s = f.Sinistros({Sinistro("0000000001")});
  const std::string ntx = f.dir.File("bilhete.ntx");
  f.Run(r, s);
  const std::string index = testing::ReadBytes(ntx);
  for (const char* own : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"}) {
    for (const bool hard : {false, true}) {
#ifdef _WIN32
      // Symbolic links need a privilege on Windows, and the C++ library
      // there makes none.
      if (!hard) continue;
#endif
      SCOPED_TRACE(std::string(own) + (hard ? " hard link" : " symbolic link"));
      std::filesystem::remove(ntx);
      const std::string target = f.dir.File(own), before = testing::ReadBytes(target);
      if (hard) {
        std::filesystem::create_hard_link(target, ntx);
        try {
          f.Run(r, s);
          ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
          EXPECT_STREQ(e.what(), "TXQNTXIndex.CreateIndex: Create error \"bilhete\"");
          EXPECT_EQ(e.Reason(), "bilhete.ntx é " + std::string(own) + " da pasta do programa");
        }
      } else {
        std::filesystem::create_symlink(target, ntx);
        f.Run(r, s);
        EXPECT_FALSE(std::filesystem::is_symlink(ntx));
        EXPECT_EQ(testing::ReadBytes(ntx), index);
      }
      EXPECT_EQ(testing::ReadBytes(target), before);
    }
  }
}

// The index goes to the program folder when the user may write there, else
// to tolk-zav in the user's cache folder, named as the system names it.
TEST(CruzaBilhetesTest, TheIndexFolderIsTheProgramsOrTheUsersCache) {
  testing::TempDir dir;
  const std::string programa = FolderWithSeparator(dir.path());
  EXPECT_EQ(PastaDoIndice(programa), programa);
  const std::string cache = dir.File("cache");
#ifdef _WIN32
  const char* antes = std::getenv("LOCALAPPDATA");
  const std::string localAppData = antes ? antes : "";
  ::_putenv_s("LOCALAPPDATA", cache.c_str());
  const std::string esperada = cache + "\\tolk-zav\\";
#else
  ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  const std::string esperada = cache + "/tolk-zav/";
#endif
  // A folder nobody can create files in: one that does not exist.
  EXPECT_EQ(PastaDoIndice(FolderWithSeparator(dir.File("falta"))), esperada);
  EXPECT_TRUE(FolderWritable(dir.path()));
#ifdef _WIN32
  ::_putenv_s("LOCALAPPDATA", localAppData.c_str());
#else
  ::unsetenv("XDG_CACHE_HOME");
#endif
}

}  // namespace
}  // namespace tolk
