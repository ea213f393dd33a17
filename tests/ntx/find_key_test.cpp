// FindKey through the active index, opening existing files, damaged files
// and the file lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <random>

#include "dataset/Exceptions.h"
#include "dataset/coding.h"
#include "ntx/ntx_fixtures.h"
#include "ntx/ntx_format.h"

namespace tolk {
namespace {

using namespace testing;
using namespace ntx;

class TXQDBFNTXTest : public ::testing::Test {
 protected:
  TXQNTXIndex& Build(const std::vector<std::string>& keys,
                     const std::set<std::uint32_t>& deleted = {}) {
    OpenTable(tb, WriteTickets(dir, keys, deleted));
    return BuildIndex(tb, ntx);
  }
  bool Find(const std::string& text) { return tb.FindKey({Variant(text)}); }

  // Patches bytes of the built file, then reopens the table with the index
  // attached and seeks: the error text, or "" when the seek went through.
  std::string SeekAfterPatch(std::uint64_t offset, std::uint32_t value, int width) {
    tb.Close();
    std::string bytes = ReadBytes(ntx);
    coding::MutableBytes b(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    width == 2 ? coding::Store16(b, offset, static_cast<std::uint16_t>(value))
               : coding::Store32(b, offset, value);
    WriteBytes(ntx, bytes);
    try {
      tb.Open();
      tb.Indexes[0].SetActive(true);
      Find(Key10(1));
      return "";
    } catch (const Exception& e) {
      return e.what();
    }
  }

  TempDir dir;
  std::string ntx = dir.File("bilhete.ntx");
  TXQDBFNTX tb{"tbRiscos"};
};

TEST_F(TXQDBFNTXTest, AnIndexAttachedBeforeItsTableOpensReadsItsKeyAtTheOpen) {
  Build({"AAA", "BBB", "CCC"});
  const std::string path = tb.DBFFileName;
  tb.Close();
  TXQDBFNTX t("tbRiscos");
  auto& ind = dynamic_cast<TXQNTXIndex&>(t.Indexes.Add("bilhete"));
  ind.SetNTXFileName(ntx);
  OpenTable(t, path);
  ind.SetActive(true);
  EXPECT_TRUE(t.FindKey({Variant("BBB")}));
  EXPECT_EQ(t.RecNo(), 2);
  EXPECT_FALSE(t.FindKey({Variant("DDD")}));

  // A key over a field this table lacks fails the open, which leaves the
  // table closed, as it does when the index is attached to an open table.
  t.Close();
  std::string bytes = ReadBytes(ntx);
  std::memcpy(bytes.data() + kHeadKeyExpr, "APOLICE\0", 8);
  WriteBytes(ntx, bytes);
  try {
    OpenTable(t, path);
    ADD_FAILURE() << "the open went through";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "tbRiscos: Field 'APOLICE' not found");
  }
  EXPECT_FALSE(t.Active());
}

TEST_F(TXQDBFNTXTest, ShortExactAndOverlongTexts) {
  Build({"ABC", "AB", "ABCDEFGHIJ"});
  EXPECT_TRUE(Find("AB"));  // filled to "AB" and eight blanks
  EXPECT_EQ(tb.RecNo(), 2);
  EXPECT_TRUE(Find("ABC       "));
  EXPECT_EQ(tb.RecNo(), 1);
  EXPECT_TRUE(Find("ABCDEFGHIJKL"));  // only the key size takes part
  EXPECT_EQ(tb.RecNo(), 3);
  EXPECT_FALSE(Find("ABCD"));
  EXPECT_EQ(tb.RecNo(), 3) << "a miss leaves the table where it was";
  EXPECT_FALSE(Find("abc")) << "no case folding";
}

TEST_F(TXQDBFNTXTest, DuplicatesLandOnTheLowestRecordNumber) {
  Build({"X", "Y", "X", "Z", "Q", "Q", "Q", "Q", "Z"});
  EXPECT_TRUE(Find("Z"));
  EXPECT_EQ(tb.RecNo(), 4);
  EXPECT_TRUE(Find("Q"));
  EXPECT_EQ(tb.RecNo(), 5);
  tb.Next();
  EXPECT_EQ(tb.RecNo(), 6) << "the walk goes on from the record found";
}

TEST_F(TXQDBFNTXTest, DeletedRecordsFollowSetDeleted) {
  Build({"A", "B", "B", "C"}, {2, 4});
  EXPECT_TRUE(Find("B"));
  EXPECT_EQ(tb.RecNo(), 2);
  EXPECT_TRUE(tb.Deleted());
  EXPECT_TRUE(Find("C"));
  tb.SetSetDeleted(true);
  EXPECT_TRUE(Find("B"));
  EXPECT_EQ(tb.RecNo(), 3);
  EXPECT_FALSE(Find("C"));
}

TEST_F(TXQDBFNTXTest, NoActiveIndexFindsNothing) {
  OpenTable(tb, WriteTickets(dir, {"A"}));
  EXPECT_FALSE(Find("A"));
  BuildIndex(tb, ntx);
  EXPECT_TRUE(Find("A"));
  tb.Indexes.Delete(0);
  EXPECT_EQ(tb.Indexes.ActiveObject(), nullptr);
  EXPECT_FALSE(Find("A"));
  tb.DBFIndexDefs.Delete(0);
  tb.Close();
  EXPECT_EQ(ReadBytes(ntx).size(), 2048u) << "the file stays";
}

TEST_F(TXQDBFNTXTest, ActivationKeepsTheCurrentRecord) {
  OpenTable(tb, WriteTickets(dir, {"M", "A", "M", "Z", "M"}));
  tb.Next();
  tb.Next();  // record 3, key M
  BuildIndex(tb, ntx);
  EXPECT_EQ(tb.RecNo(), 3);
  tb.Indexes.IndexType = 3;
  auto& plain = tb.Indexes.Add("outro");
  tb.Indexes.IndexType = TIndexes::kIndexTypeNTX;
  plain.SetActive(true);
  EXPECT_FALSE(tb.Indexes[0].Active());
  EXPECT_FALSE(Find("M"));
  tb.Indexes[0].SetActive(true);
  EXPECT_TRUE(Find("M"));
  EXPECT_EQ(tb.RecNo(), 1);
}

TEST_F(TXQDBFNTXTest, SeeksAgreeWithABruteForceModel) {
  std::mt19937 rng(11);
  const std::uint32_t n = 20000;
  std::vector<std::string> keys(n);
  std::set<std::uint32_t> deleted;
  std::multimap<std::string, std::uint32_t> model;  // equal keys in record order
  for (std::uint32_t r = 1; r <= n; ++r) {
    keys[r - 1] = Key10(rng() % 5000);
    if (rng() % 10 == 0) deleted.insert(r);
    model.emplace(keys[r - 1], r);
  }
  TXQNTXIndex& ind = Build(keys, deleted);
  for (bool setDeleted : {false, true}) {
    tb.SetSetDeleted(setDeleted);
    for (std::uint64_t k = 0; k < 5200; ++k) {
      const std::string key = Key10(k);
      std::uint32_t want = 0;
      for (auto [it, end] = model.equal_range(key); it != end; ++it)
        if (!setDeleted || !deleted.count(it->second)) {
          want = it->second;
          break;
        }
      ASSERT_EQ(Find(key), want != 0) << key;
      if (want) {
        ASSERT_EQ(tb.RecNo(), static_cast<int>(want)) << key;
      }
    }
    // Partial seeks: the first key beginning with the text.
    for (std::uint64_t p = 0; p < 60; ++p) {
      const std::string prefix = Key10(p * 100).substr(0, 8);
      auto it = model.lower_bound(prefix);
      std::uint32_t want = 0;
      for (; it != model.end() && it->first.compare(0, 8, prefix) == 0; ++it)
        if (!setDeleted || !deleted.count(it->second)) {
          want = it->second;
          break;
        }
      ASSERT_EQ(ind.Seek(prefix, true, false), want) << prefix;
    }
  }
}

TEST_F(TXQDBFNTXTest, ReopensAnExistingFile) {
  Build({"B", "A"});
  tb.Close();
  tb.Open();  // the index opens with the table
  auto& ind = dynamic_cast<TXQNTXIndex&>(tb.Indexes[0]);
  EXPECT_TRUE(ind.IsOpen());
  EXPECT_EQ(ind.KeyExpresion(), "bilhete");
  tb.Indexes[0].SetActive(true);
  EXPECT_TRUE(Find("A"));
  EXPECT_EQ(tb.RecNo(), 2);
  EXPECT_EQ(tb.DBFIndexDefs[0].Order()->Name, "bilhete")
      << "an empty order name gives the file name";

  tb.Close();
  std::string bytes = ReadBytes(ntx);
  bytes[0] = 7;
  WriteBytes(ntx, bytes);
  tb.Open();
  EXPECT_TRUE(ind.IsOpen()) << "signature 7 opens like 6";

  tb.Close();
  bytes[0] = 5;
  WriteBytes(ntx, bytes);
  EXPECT_THROW_MSG(tb.Open(), Exception, "TXQNTXIndex.Open: File \"" + ntx + "\" is not NTX file");
  EXPECT_FALSE(tb.Active());
  ::unlink(ntx.c_str());
  EXPECT_THROW_MSG(tb.Open(), Exception, "TXQNTXBag.Open: Open error \"" + ntx + "\"");
}

TEST_F(TXQDBFNTXTest, DamagedFilesGiveClearErrors) {
  std::vector<std::string> keys;
  for (int i = 0; i < 200; ++i) keys.push_back(Key10(static_cast<std::uint64_t>(i)));
  Build(keys);  // a root over several leaves
  const std::string bytes = ReadBytes(ntx);
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::uint32_t root = coding::Load32(coding::Bytes(p, 8), kHeadRoot);
  const std::uint16_t slot0 = coding::Load16(coding::Bytes(p + root, kBlockSize), kPageSlots);
  const std::string prefix = "TXQNTXIndex: File \"" + ntx + "\" is damaged: ";
  const std::string size = std::to_string(bytes.size());

  EXPECT_EQ(
      SeekAfterPatch(kHeadRoot, 999424, 4),
      prefix + "the root page offset 999424 is not a page inside the file (" + size + " bytes)");
  WriteBytes(ntx, bytes);
  EXPECT_EQ(SeekAfterPatch(root + slot0 + kEntryChild, 1000, 4),
            prefix + "page " + std::to_string(root) +
                " names the page offset 1000, which is not a page inside the file (" + size +
                " bytes)");
  WriteBytes(ntx, bytes);
  EXPECT_EQ(SeekAfterPatch(root, 51, 2), prefix + "page " + std::to_string(root) +
                                             " holds 51 entries, more than the page maximum 50");
  WriteBytes(ntx, bytes);
  EXPECT_EQ(SeekAfterPatch(root + kPageSlots, 1020, 2),
            prefix + "slot 0 of page " + std::to_string(root) +
                " points to offset 1020, where no entry of 18 bytes fits");
  WriteBytes(ntx, bytes);
  EXPECT_NE(SeekAfterPatch(root + slot0 + kEntryChild, root, 4).find("form a cycle"),
            std::string::npos);
  WriteBytes(ntx, bytes);
  EXPECT_EQ(SeekAfterPatch(kHeadMaxItems, 600, 2),
            prefix + "the page maximum 600 is outside 2..510");
  WriteBytes(ntx, bytes);
  EXPECT_EQ(SeekAfterPatch(kHeadKeySize, 10, 2), "") << "the untouched file seeks";
}

TEST_F(TXQDBFNTXTest, AnotherWritersCounterDropsTheCachedPages) {
  // Only a shared open expects other writers; an exclusive one trusts the
  // header it holds.
  tb.AccessMode = ShareDenyNone;
  Build({"AAA", "BBB"});
  tb.Close();  // ends the build's write phase
  tb.Open();
  EXPECT_TRUE(Find("AAA"));
  // Another program rewrites the key of the root leaf's first entry.
  std::string bytes = ReadBytes(ntx);
  const std::size_t key = bytes.find("AAA", 1024);
  ASSERT_NE(key, std::string::npos);
  bytes.replace(key, 3, "AAX");
  WriteBytes(ntx, bytes);
  EXPECT_TRUE(Find("AAA")) << "same update counter: the pages held are still trusted";
  bytes[2] = static_cast<char>(bytes[2] + 1);  // its write phase ends with a new counter
  WriteBytes(ntx, bytes);
  EXPECT_FALSE(Find("AAA"));
  EXPECT_TRUE(Find("AAX"));
}

TEST_F(TXQDBFNTXTest, SharedTablesLockTheIndexFileAndRetry) {
  const std::string table = WriteTickets(dir, {"A", "B"});
  tb.AccessMode = ShareDenyNone;
  tb.WaitBusyRes = 20;
  OpenTable(tb, table);
  BuildIndex(tb, ntx);
  EXPECT_TRUE(Find("B"));

  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int fd = ::open(ntx.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(kLockOffsetClipper);
    fl.l_len = 1;
    char c = ::fcntl(fd, F_SETLK, &fl) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(Find("B")) << "the byte is held elsewhere";
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(15))
      << "retried about 1 ms apart";
  (void)!::write(release[1], "x", 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(Find("B"));
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);

  // The build entered a write phase for the other programs' sake: closing
  // the index ends it with a new update counter.
  tb.Indexes.Delete(0);
  EXPECT_EQ(ReadBytes(ntx)[2], 2);
}

}  // namespace
}  // namespace tolk
