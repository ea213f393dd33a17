// Building an index file over a table.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// After windows.h.
#include <psapi.h>
#else
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "dataset/Exceptions.h"
#include "dataset/coding.h"
#include "ntx/ntx_checker.h"
#include "ntx/ntx_fixtures.h"
#include "ntx/ntx_format.h"
#include "ntx/ntx_header.h"

namespace tolk {
namespace {

using namespace testing;
using namespace ntx;

class TXQNTXIndexTest : public ::testing::Test {
 protected:
  // Builds over `keys` and returns the checked file.
  NtxCheck Build(const std::vector<std::string>& keys, const std::set<std::uint32_t>& deleted = {},
                 bool unique = false) {
    OpenTable(tb, WriteTickets(dir, keys, deleted));
    TXQNTXIndex& ind = AddIndex(tb, ntx);
    ind.SetUnique(unique);
    ind.SetCreateNow(true);
    return CheckNtxFile(ntx);
  }
  // A sound file that holds every record exactly once, under its own key.
  static void ExpectEveryRecordOnce(const NtxCheck& c, const std::vector<std::string>& keys) {
    ASSERT_EQ(c.error, "");
    ASSERT_EQ(c.entries.size(), keys.size());
    std::vector<bool> seen(keys.size() + 1);
    for (const auto& [key, recno] : c.entries) {
      ASSERT_TRUE(recno >= 1 && recno <= keys.size() && !seen[recno]) << recno;
      seen[recno] = true;
      ASSERT_EQ(key, keys[recno - 1]);
    }
  }

  TempDir dir;
  std::string ntx = dir.File("bilhete.ntx");
  TXQDBFNTX tb{"tbRiscos"};
};

std::vector<std::pair<std::string, std::uint32_t>> Entries(
    std::initializer_list<std::pair<const char*, std::uint32_t>> list) {
  std::vector<std::pair<std::string, std::uint32_t>> out;
  for (auto& [k, r] : list)
    out.emplace_back(std::string(k) + std::string(10 - std::strlen(k), ' '), r);
  return out;
}

// n distinct tickets in a scrambled order (7919 is prime to every n used).
std::vector<std::string> ScrambledTickets(int n) {
  std::vector<std::string> keys;
  const auto count = static_cast<std::uint64_t>(n);
  for (std::uint64_t i = 0; i < count; ++i) keys.push_back(Key10(i * 7919 % count));
  return keys;
}

// An index over the tickets whose file is not written at the end of the
// build: built in the file itself, or written by a thread of its own.
TXQNTXIndex& AddBackgroundIndex(TXQDBFNTX& t, const std::string& path) {
  TXQNTXIndex& ind = AddIndex(t, path);
  ind.WriteInBackground = true;
  return ind;
}

// Whether the process has `path` mapped into its memory.
#ifdef _WIN32
// The system names a view's file by a path of its own (the drive's after
// \??\ here) and may keep the name the file had when it was mapped: the
// folder is compared, and the name or the build's name for it.
bool MapsFile(const std::string& path) {
  const std::filesystem::path p = std::filesystem::path(path).make_preferred();
  const std::wstring folder = L"\\" + p.parent_path().filename().wstring() + L"\\",
                     file = p.filename().wstring();
  MEMORY_BASIC_INFORMATION m{};
  for (auto* at = static_cast<const char*>(nullptr);
       ::VirtualQuery(at, &m, sizeof m) == sizeof m && m.RegionSize > 0; at += m.RegionSize) {
    if (m.Type != MEM_MAPPED || m.State != MEM_COMMIT) continue;
    wchar_t buffer[1024];
    const DWORD n = ::GetMappedFileNameW(::GetCurrentProcess(), m.BaseAddress, buffer, 1024);
    const std::wstring_view name(buffer, n);
    const std::size_t slash = name.rfind(L'\\');
    if (slash == std::wstring_view::npos || slash < folder.size() - 1 ||
        name.substr(slash + 1 - folder.size(), folder.size()) != folder)
      continue;
    const std::wstring_view last = name.substr(slash + 1);
    if (last == file || last.starts_with(L"." + file + L".")) return true;
  }
  return false;
}
#else
bool MapsFile(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.size() > path.size() &&
        line.compare(line.size() - path.size(), path.size(), path) == 0)
      return true;
  return false;
}
#endif

TEST_F(TXQNTXIndexTest, EmptyTableGivesHeaderAndEmptyRoot) {
  NtxCheck c = Build({});
  EXPECT_EQ(c.error, "");
  const std::string bytes = ReadBytes(ntx);
  ASSERT_EQ(bytes.size(), 2048u);
  HeaderFields h =
      ReadHeader(coding::Bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), kBlockSize));
  EXPECT_EQ(h.prefix.signature, 6);
  EXPECT_EQ(h.prefix.version, 1);
  EXPECT_EQ(h.prefix.root, 1024u);
  EXPECT_EQ(h.prefix.freePage, 0u);
  EXPECT_EQ(h.geometry.keySize, 10);
  EXPECT_EQ(h.geometry.entrySize, 18);
  EXPECT_EQ(h.geometry.maxItems, 50);
  EXPECT_EQ(h.geometry.halfPage, 25);
  EXPECT_EQ(h.keyExpr, "bilhete");
  EXPECT_EQ(h.orderName, "");
  EXPECT_EQ(coding::Load16(
                coding::Bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 1024, 2), 0),
            0);
  ASSERT_EQ(tb.DBFIndexDefs.Count(), 1);
  EXPECT_EQ(tb.DBFIndexDefs[0].Name, "bilhete");
  EXPECT_EQ(tb.DBFIndexDefs[0].Order()->Name, "bilhete");
  EXPECT_FALSE(tb.FindKey({Variant("A")}));
}

TEST_F(TXQNTXIndexTest, EqualKeysFollowRecordNumbersAndUniqueKeepsTheFirst) {
  EXPECT_EQ(Build({"B", "A", "B"}).entries, Entries({{"A", 2}, {"B", 1}, {"B", 3}}));
  tb.Close();
  tb.Indexes.Clear();
  EXPECT_EQ(Build({"B", "A", "B"}, {}, true).entries, Entries({{"A", 2}, {"B", 1}}));
}

TEST_F(TXQNTXIndexTest, DeletedRecordsAreIndexed) {
  EXPECT_EQ(Build({"B", "A", "C"}, {2, 3}).entries, Entries({{"A", 2}, {"B", 1}, {"C", 3}}));
}

TEST_F(TXQNTXIndexTest, EveryRecordExactlyOnceInOrderAtAnySize) {
  for (std::uint32_t n : {1u, 50u, 51u, 10000u, 100000u}) {
    SCOPED_TRACE(n);
    std::mt19937 rng(n);
    std::vector<std::string> keys(n);
    for (auto& k : keys) k = Key10(rng() % (n / 4 + 1));  // about four records a key
    NtxCheck c = Build(keys);
    ASSERT_NO_FATAL_FAILURE(ExpectEveryRecordOnce(c, keys));
    if (n >= 10000) {
      EXPECT_GE(c.depth, 3);
    }
    tb.Close();
    tb.Indexes.Clear();
    tb.DBFIndexDefs.Clear();
  }
}

TEST_F(TXQNTXIndexTest, TicketsInFileOrderAndTheProgressOfTheBuild) {
  // Tickets issued one after another come in order, or in a few ascending
  // runs that interleave: the pre-sorter finds its batches already sorted,
  // and the tree grows along its right edge or walks it again and again.
  const std::uint32_t n = 30000;
  for (bool runs : {false, true}) {
    SCOPED_TRACE(runs);
    std::vector<std::string> keys(n);
    for (std::uint32_t i = 0; i < n; ++i)
      keys[i] = Key10(runs ? (std::uint64_t{i} * 7919 + 104729) % 90000 : i);
    OpenTable(tb, WriteTickets(dir, keys));
    TXQNTXIndex& ind = AddIndex(tb, ntx);
    std::vector<std::uint32_t> progress;
    ind.OnBuildProgress = [&](std::uint32_t records) { progress.push_back(records); };
    ind.SetCreateNow(true);
    EXPECT_EQ(progress, (std::vector<std::uint32_t>{8192, 16384, 24576, n}));
    ASSERT_NO_FATAL_FAILURE(ExpectEveryRecordOnce(CheckNtxFile(ntx), keys));
    tb.Close();
    tb.Indexes.Clear();
    tb.DBFIndexDefs.Clear();
  }
}

TEST_F(TXQNTXIndexTest, DescendingOrderAndLaterSignature) {
  OpenTable(tb, WriteTickets(dir, {"A", "C", "B", "C"}));
  TXQNTXIndex& ind = AddIndex(tb, ntx);
  ind.SetDesc(true);
  ind.ClipperVer = TCLIPPER_VERSION::v520;
  ind.SetOrder("ORD1");
  ind.SetCreateNow(true);
  NtxCheck c = CheckNtxFile(ntx);
  EXPECT_EQ(c.error, "");
  EXPECT_EQ(c.entries, Entries({{"C", 2}, {"C", 4}, {"B", 3}, {"A", 1}}));
  const std::string bytes = ReadBytes(ntx);
  EXPECT_EQ(bytes[0], 7);
  EXPECT_EQ(ind.Order(), "ORD1");
  EXPECT_TRUE(tb.FindKey({Variant("B")}));
  EXPECT_EQ(tb.RecNo(), 3);
}

TEST_F(TXQNTXIndexTest, ForConditionAndOtherKeyTypes) {
  tools::DbfWriter w({{"VALOR", 'N', 6, 2}, {"ATIVO", 'L', 1}});
  w.AddRecord({"-3.4", "T"});
  w.AddRecord({"3.4", "F"});
  w.AddRecord({"-10", "T"});
  w.AddRecord({"", "T"});
  w.WriteFile(dir.File("v.dbf"));
  OpenTable(tb, dir.File("v.dbf"));
  TXQNTXIndex& ind = AddIndex(tb, ntx, "valor");
  ind.SetForExpresion("ativo");
  ind.SetCreateNow(true);
  NtxCheck c = CheckNtxFile(ntx);
  EXPECT_EQ(c.error, "");
  std::vector<std::pair<std::string, std::uint32_t>> want{
      {",+,.,,", 3}, {",,).(,", 1}, {"000.00", 4}};
  EXPECT_EQ(c.entries, want);
  EXPECT_TRUE(ind.Filtered());
  EXPECT_EQ(
      ReadHeader(coding::Bytes(reinterpret_cast<const std::uint8_t*>(ReadBytes(ntx).data()), 1024))
          .keyDecimals,
      2);
  EXPECT_TRUE(tb.FindKey({Variant(-10.0)}));
  EXPECT_EQ(tb.RecNo(), 3);
  EXPECT_FALSE(tb.FindKey({Variant(3.4)})) << "record 2 is outside the FOR condition";
}

TEST_F(TXQNTXIndexTest, RebuildReplacesTheFileAndNamesFollowThePath) {
  Build({"A", "B"});
  auto& ind = dynamic_cast<TXQNTXIndex&>(tb.Indexes[0]);
  EXPECT_EQ(ind.Name, "bilhete");
  ind.SetNTXFileName(dir.File("um.dois.ntx"));
  EXPECT_EQ(ind.Name, "um");
  ind.SetNTXFileName(ntx);
  ind.SetUnique(true);
  ind.SetCreateNow(true);
  EXPECT_EQ(CheckNtxFile(ntx).entries.size(), 2u);
  EXPECT_EQ(tb.DBFIndexDefs.Count(), 1) << "the file's definition is found again, not added twice";
}

TEST_F(TXQNTXIndexTest, KeyLongerThan330BytesFailsBeforeWriting) {
  tools::DbfWriter w({{"LONGO", 'C', 331}});
  w.AddRecord({"x"});
  w.WriteFile(dir.File("l.dbf"));
  WriteBytes(ntx, "keep me");
  OpenTable(tb, dir.File("l.dbf"));
  TXQNTXIndex& ind = AddIndex(tb, ntx, "longo");
  EXPECT_THROW_MSG(ind.SetCreateNow(true), Exception,
                   "TXQNTXIndex.CreateIndex: Key of index \"bilhete\" is 331 bytes long; an NTX "
                   "key holds at most "
                   "330 bytes");
  EXPECT_EQ(ReadBytes(ntx), "keep me");
  EXPECT_FALSE(ind.IsOpen());
  EXPECT_FALSE(ind.Active());
}

TEST_F(TXQNTXIndexTest, Errors) {
  auto& ind = dynamic_cast<TXQNTXIndex&>(tb.Indexes.Add("bilhete"));
  EXPECT_THROW_MSG(ind.SetCreateNow(true), Exception,
                   "TXQNTXIndex.CreateIndex: Create index only on active DataSet");
  OpenTable(tb, WriteTickets(dir, {"A"}));
  ind.SetKeyExpresion("bilhete");
  ind.SetNTXFileName(dir.File("missing/bilhete.ntx"));
  EXPECT_THROW_MSG(ind.SetCreateNow(true), Exception,
                   "TXQNTXIndex.CreateIndex: Create error \"bilhete\"");
  EXPECT_THROW_MSG(ind.SetKeyExpresion("nada"), EDatabaseError, "tbRiscos: Field 'NADA' not found");

  ind.SetKeyExpresion("bilhete");
  ind.SetNTXFileName(ntx);
  ind.SetCreateNow(true);
  EXPECT_THROW_MSG(
      ind.SetCollationType(TXQCollationTypes::cltCustom), Exception,
      "TIndex.SetCollationType: You can set collation type only when index is not open!");
  EXPECT_THROW_MSG(tb.DBFIndexDefs[0].AddOrder(), Exception,
                   "TXQNTXOrder.Create: NTX bag can not content more then one order!");
  tb.Indexes.IndexType = TIndexes::kIndexTypeUndefined;
  EXPECT_THROW_MSG(tb.Indexes.Add("x"), Exception, "TIndex: IndexType not defined.");
  tb.Indexes.IndexType = 3;
  EXPECT_EQ(dynamic_cast<TXQNTXIndex*>(&tb.Indexes.Add("plain")), nullptr);
}

// Builds over 120,000 tickets, an image of several chunks (made ahead by a
// second thread) in the file itself; the seeks read it there.
TEST_F(TXQNTXIndexTest, AFileWrittenInTheBackgroundIsTheSameFile) {
  const std::vector<std::string> keys = ScrambledTickets(120000);
  const NtxCheck foreground = Build(keys);
  ExpectEveryRecordOnce(foreground, keys);
  const std::string expected = ReadBytes(ntx);
  tb.Indexes.Clear();
  tb.DBFIndexDefs.Clear();
  std::filesystem::remove(ntx);
  EXPECT_FALSE(MapsFile(ntx));

  // An index closed before WaitWritten leaves no file behind.
  AddBackgroundIndex(tb, ntx).SetCreateNow(true);
  tb.Indexes.Clear();
  tb.DBFIndexDefs.Clear();
  EXPECT_EQ(FilesIn(dir.path()).size(), 1u) << "the table alone";

  // The name waits for WaitWritten; the build's own file is whole already.
  auto& ind = AddBackgroundIndex(tb, ntx);
  ind.SetCreateNow(true);
  EXPECT_FALSE(std::filesystem::exists(ntx));
  EXPECT_TRUE(MapsFile(ind.BuildFileName()));
  EXPECT_EQ(ReadBytes(ind.BuildFileName()), expected);  // with its own size
  EXPECT_TRUE(tb.FindKey({Variant(keys[123])}));
  EXPECT_EQ(tb.RecNo(), 124);
  EXPECT_FALSE(tb.FindKey({Variant(Key10(120000))}));
  ind.WaitWritten();
  EXPECT_TRUE(MapsFile(ntx));
  EXPECT_EQ(ReadBytes(ntx), expected);
  EXPECT_TRUE(tb.FindKey({Variant(keys[119999])}));

  // A rebuild waits for the write before it starts the file again.
  ind.SetCreateNow(true);
  tb.Indexes.Clear();
  EXPECT_EQ(ReadBytes(ntx), expected);
  EXPECT_FALSE(MapsFile(ntx));

  // The batches in two halves, one thread after the other, then the second
  // half on a thread that lends itself to the build: the same file.
  tb.DBFIndexDefs.Clear();
  auto& inTurn = AddBackgroundIndex(tb, ntx);
  inTurn.SplitBatchesInTurn = true;
  inTurn.SetCreateNow(true);
  inTurn.WaitWritten();
  EXPECT_EQ(ReadBytes(ntx), expected);
  tb.Indexes.Clear();
  tb.DBFIndexDefs.Clear();
  auto& helped = AddBackgroundIndex(tb, ntx);
  std::thread build([&] { helped.SetCreateNow(true); });
  while (helped.HelpBuild(std::chrono::milliseconds(10))) {
  }
  build.join();
  helped.WaitWritten();
  EXPECT_EQ(ReadBytes(ntx), expected);
  EXPECT_TRUE(tb.FindKey({Variant(keys[4567])}));
  EXPECT_EQ(tb.RecNo(), 4568);
}

// Another program cuts the mapped file short. The pages it lost read as
// zeros instead of ending the process: during the build the build fails,
// and the file goes; after it, the seeks cannot be trusted, and the run
// learns it where it waits for the file, which stays as the other program
// left it. Windows refuses to cut a file that is mapped or open without
// sharing for writing: there the build and the seeks go on.
TEST_F(TXQNTXIndexTest, AFileCutShortByAnotherProgramFailsTheIndexNotTheProcess) {
  const std::vector<std::string> keys = ScrambledTickets(120000);
  OpenTable(tb, WriteTickets(dir, keys));
  auto& ind = AddBackgroundIndex(tb, ntx);
  std::error_code cut;
  ind.OnBuildProgress = [&](std::uint32_t records) {
    if (records == 16384) std::filesystem::resize_file(ind.BuildFileName(), 0, cut);
  };
#ifdef _WIN32
  ind.SetCreateNow(true);
  EXPECT_TRUE(cut) << "the file was cut during the build";
  std::filesystem::resize_file(ind.BuildFileName(), 1024, cut);
  EXPECT_TRUE(cut) << "the file was cut after the build";
  EXPECT_TRUE(tb.FindKey({Variant(keys[77])}));
  EXPECT_EQ(tb.RecNo(), 78);
  ind.WaitWritten();
  tb.Indexes.Clear();
  ExpectEveryRecordOnce(CheckNtxFile(ntx), keys);
#else
  EXPECT_THROW_MSG(ind.SetCreateNow(true), Exception,
                   "TXQNTXIndex: Write error \"" + ntx + "\": " + ErrnoText(EIO));
  ASSERT_FALSE(cut) << cut.message();
  EXPECT_FALSE(ind.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(ntx));
  EXPECT_TRUE(ind.BuildFileName().empty());
  EXPECT_EQ(FilesIn(dir.path()).size(), 1u) << "the table alone";

  ind.OnBuildProgress = nullptr;
  // Cut after the build, before the file takes the index's name: it never
  // becomes the index, and goes.
  ind.SetCreateNow(true);
  std::filesystem::resize_file(ind.BuildFileName(), 1024);
  try {
    tb.FindKey({Variant(keys[77])});
  } catch (const Exception&) {
    // The zeros may read as a damaged page: the wait below says why.
  }
  EXPECT_THROW_MSG(ind.WaitWritten(), Exception,
                   "TXQNTXIndex: Read error \"" + ntx + "\": " + ErrnoText(EIO));
  EXPECT_FALSE(ind.IsOpen());
  EXPECT_EQ(FilesIn(dir.path()).size(), 1u) << "the table alone";
#endif
}

// ---- Files that cannot grow ------------------------------------------------
// A file-size limit in a child process stands for a full disk. Windows sets
// no such limit on a process: these cases are left out there.
#ifndef _WIN32

// Runs `body` in a child process whose files cannot grow past `bytes`
// (SIGXFSZ ignored, so a write fails instead) and returns its result, the
// child's exit status; -1 when it did not exit.
int InChildWithFilesUpTo(rlim_t bytes, const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    int code = 100;
    try {
      code = body();
    } catch (...) {
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The build writes a file of its own beside the index's name: one that fails
// removes it, and the earlier file at that name stays as it was.
TEST_F(TXQNTXIndexTest, AWriteThatFailsRemovesItsFileAndLeavesTheEarlierOne) {
  const std::string table = WriteTickets(dir, ScrambledTickets(20000));
  WriteBytes(ntx, std::string(4096, 'x'));  // an earlier file
  // Files cannot grow past 16 KB, so the index (about 600 KB) fails midway.
  const int code = InChildWithFilesUpTo(16384, [&] {
    try {
      TXQDBFNTX t("tbRiscos");
      OpenTable(t, table);
      BuildIndex(t, ntx);
      return 2;  // no error at all
    } catch (const Exception& e) {
      const std::string want = "TXQNTXIndex: Write error \"" + ntx + "\": ";
      return std::string(e.what()).rfind(want, 0) == 0 ? 0 : 3;
    }
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadBytes(ntx), std::string(4096, 'x'));
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"bilhete.ntx", "riscos.dbf"}));
}

// The file is reserved on the disk a stretch at a time: with files limited
// to 3 MB the first 2 MiB stretch is granted and the second one refused, in
// the middle of the build. The build fails with the write error, and the
// file goes.
TEST_F(TXQNTXIndexTest, AStretchOfTheFileThatCannotBeReservedFailsTheBuild) {
  const std::string table = WriteTickets(dir, ScrambledTickets(120000));
  const int code = InChildWithFilesUpTo(3 << 20, [&] {
    TXQDBFNTX t("tbRiscos");
    OpenTable(t, table);
    try {
      AddBackgroundIndex(t, ntx).SetCreateNow(true);
      return 2;
    } catch (const Exception& e) {
      return std::string(e.what()) ==
                     "TXQNTXIndex: Write error \"" + ntx + "\": " + ErrnoText(EFBIG)
                 ? 0
                 : 3;
    }
  });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(std::filesystem::exists(ntx));
}

// Files cannot grow past 16 KB: not even the first stretch of the file can
// be reserved, so the tree is built in memory and a thread of its own
// writes the file. The write breaks off on the limit. The build returns and
// its seeks answer; the failure shows where the run waits for the file, with
// the build's own message, and the file goes. Without a wait, closing the
// index reports it, and a destructor removes the file silently.
TEST_F(TXQNTXIndexTest, ABackgroundWriteThatFailsShowsWhereTheRunWaits) {
  const std::vector<std::string> keys = ScrambledTickets(20000);
  const std::string table = WriteTickets(dir, keys);
  const int code = InChildWithFilesUpTo(16384, [&] {
    const std::string want = "TXQNTXIndex: Write error \"" + ntx + "\": ";
    auto failsAsWrite = [&](auto&& f) {
      try {
        f();
      } catch (const Exception& e) {
        return std::string(e.what()).rfind(want, 0) == 0;
      }
      return false;
    };
    int failed = 0;
    {
      TXQDBFNTX t("tbRiscos");
      OpenTable(t, table);
      auto& ind = AddBackgroundIndex(t, ntx);
      ind.SetCreateNow(true);
      if (!t.FindKey({Variant(keys[500])})) failed |= 1;
      if (!failsAsWrite([&] { ind.WaitWritten(); })) failed |= 2;
      if (std::filesystem::exists(ntx) || ind.IsOpen()) failed |= 4;
      ind.WaitWritten();  // nothing is left to report

      ind.SetCreateNow(true);
      if (!failsAsWrite([&] { ind.Close(); })) failed |= 8;
      if (std::filesystem::exists(ntx)) failed |= 16;

      ind.SetCreateNow(true);
    }
    if (std::filesystem::exists(ntx)) failed |= 32;
    return failed;
  });
  EXPECT_EQ(code, 0);
}

#endif  // _WIN32

}  // namespace
}  // namespace tolk
