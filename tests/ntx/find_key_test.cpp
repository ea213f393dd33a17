// FindKey through the active index, opening existing files, the file lock,
// and damaged files: an index built here, then cut short or patched at the
// offsets of ntx_format.h. A seek gives the right record or names the damage.
#include <fcntl.h>
#include <gtest/gtest.h>
#ifdef _WIN32
#include <io.h>
#include <sys/locking.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <tuple>
#include <vector>

#include "dataset/Exceptions.h"
#include "dataset/coding.h"
#include "dbf/file_io.h"
#include "ntx/ntx_fixtures.h"
#include "ntx/ntx_format.h"

namespace tolk {
namespace {

using namespace testing;
using namespace ntx;

// The byte at `offset` of the file `path` locked for writing from outside
// the index until the object goes: by a child process, whose record locks
// are its own; on Windows, by another open of the file, since a byte-range
// lock there belongs to the handle that took it.
class ByteHeldElsewhere {
 public:
#ifdef _WIN32
  ByteHeldElsewhere(const std::string& path, std::uint64_t offset) : offset_(offset) {
    fd_ = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
    held_ = fd_ >= 0 && Seek() && ::_locking(fd_, _LK_NBLCK, 1) == 0;
  }
  ~ByteHeldElsewhere() {
    if (held_ && Seek()) ::_locking(fd_, _LK_UNLCK, 1);
    if (fd_ >= 0) ::_close(fd_);
  }
#else
  ByteHeldElsewhere(const std::string& path, std::uint64_t offset) {
    if (::pipe(ready_) != 0 || ::pipe(release_) != 0) return;
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      int fd = ::open(path.c_str(), O_RDWR);
      struct flock fl {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      fl.l_start = static_cast<off_t>(offset);
      fl.l_len = 1;
      char c = ::fcntl(fd, F_SETLK, &fl) == 0 ? 'y' : 'n';
      (void)!::write(ready_[1], &c, 1);
      (void)!::read(release_[0], &c, 1);
      ::_exit(0);
    }
    char c = 0;
    held_ = pid_ > 0 && ::read(ready_[0], &c, 1) == 1 && c == 'y';
  }
  ~ByteHeldElsewhere() {
    if (pid_ > 0) {
      (void)!::write(release_[1], "x", 1);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    for (int fd : {ready_[0], ready_[1], release_[0], release_[1]})
      if (fd >= 0) ::close(fd);
  }
#endif
  ByteHeldElsewhere(const ByteHeldElsewhere&) = delete;
  ByteHeldElsewhere& operator=(const ByteHeldElsewhere&) = delete;
  bool Held() const { return held_; }

 private:
  bool held_ = false;
#ifdef _WIN32
  bool Seek() const {
    const auto at = static_cast<__int64>(offset_);
    return ::_lseeki64(fd_, at, SEEK_SET) == at;
  }
  int fd_ = -1;
  std::uint64_t offset_;
#else
  int ready_[2] = {-1, -1}, release_[2] = {-1, -1};
  pid_t pid_ = -1;
#endif
};

class TXQDBFNTXTest : public ::testing::Test {
 protected:
  TXQNTXIndex& Build(const std::vector<std::string>& keys,
                     const std::set<std::uint32_t>& deleted = {}) {
    OpenTable(tb, WriteTickets(dir, keys, deleted));
    return BuildIndex(tb, ntx);
  }
  bool Find(const std::string& text) { return tb.FindKey({Variant(text)}); }

  // For the damaged files: `built`, an index of 200 tickets whose root is
  // an inner page over several leaves, and the table closed again.
  void BuildTwoLevels() {
    for (int i = 0; i < 200; ++i) tickets.push_back(Key10(static_cast<std::uint64_t>(i)));
    Build(tickets);
    tb.Close();
    built = ReadBytes(ntx);
    root = Load(kHeadRoot, 4);
    firstLeaf = Load(root + Load(root + kPageSlots, 2) + kEntryChild, 4);
    ASSERT_NE(firstLeaf, 0u) << "the root is an inner page";
  }
  std::uint32_t Load(std::size_t at, int width) const {
    coding::Bytes b(reinterpret_cast<const std::uint8_t*>(built.data()), built.size());
    return width == 2 ? coding::Load16(b, at) : coding::Load32(b, at);
  }
  static std::string Patch(std::string bytes, std::size_t at, std::size_t value, int width) {
    coding::MutableBytes b(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    width == 2 ? coding::Store16(b, at, static_cast<std::uint16_t>(value))
               : coding::Store32(b, at, static_cast<std::uint32_t>(value));
    return bytes;
  }
  // `bytes` as the index file: opens the table anew, opens and activates
  // the index, and seeks `key`. The record found (0 when none), and the
  // error's text.
  struct Answer {
    std::uint32_t recno;
    std::string error;
  };
  Answer SeekIn(const std::string& bytes, const std::string& key) {
    WriteBytes(ntx, bytes);
    TXQDBFNTX t("tbRiscos");
    try {
      OpenTable(t, tb.DBFFileName);
      auto& ind = dynamic_cast<TXQNTXIndex&>(t.Indexes.Add("bilhete"));
      ind.SetNTXFileName(ntx);
      ind.Open();
      ind.SetActive(true);
      return {t.FindKey({Variant(key)}) ? static_cast<std::uint32_t>(t.RecNo()) : 0u, ""};
    } catch (const Exception& e) {
      return {0, e.what()};
    }
  }
  std::string Damaged() const { return "TXQNTXIndex: File \"" + ntx + "\" is damaged: "; }
  // Nothing stayed open after an error: both files can be had exclusively.
  void ExpectReleased() const {
    for (const std::string& path : {tb.DBFFileName, ntx}) {
      SystemFile probe;
      EXPECT_TRUE(probe.OpenRead(path, ShareMode::Exclusive)) << path;
    }
  }

  TempDir dir;
  std::string ntx = dir.File("bilhete.ntx");
  TXQDBFNTX tb{"tbRiscos"};
  std::vector<std::string> tickets;  // of BuildTwoLevels
  std::string built;
  std::uint32_t root = 0, firstLeaf = 0;
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
    // The same seeks made together (enough for two threads), with short and
    // overlong texts and the texts past either end among them, give the
    // same records.
    std::vector<Variant> values{Variant(""), Variant("0"), Variant(Key10(4999) + "x")};
    for (std::uint64_t k = 0; k < 2 * 5200; ++k) values.emplace_back(Key10(k % 5200));
    values.emplace_back(Key10(12) + "x");
    values.emplace_back(std::string(10, '\xFF'));
    std::vector<const Variant*> each;
    for (const Variant& v : values) each.push_back(&v);
    std::vector<std::uint32_t> found(each.size());
    ind.FindEach(each, found);
    std::unique_ptr<bool[]> foundKey(new bool[each.size()]);
    tb.FindEachKey(each, std::span(foundKey.get(), each.size()));
    for (std::size_t i = 0; i < each.size(); ++i) {
      const std::uint32_t want = ind.FindByValues(std::span(each[i], 1), false);
      ASSERT_EQ(found[i], want) << values[i].Str();
      ASSERT_EQ(foundKey[i], want != 0) << values[i].Str();
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
  const std::string notNtx = "TXQNTXIndex.Open: File \"" + ntx + "\" is not NTX file";
  bytes[0] = 5;
  WriteBytes(ntx, bytes);
  EXPECT_THROW_MSG(tb.Open(), Exception, notNtx);
  EXPECT_FALSE(tb.Active());
  WriteBytes(ntx, "");
  EXPECT_THROW_MSG(tb.Open(), Exception, notNtx);

  // No file, a folder, a FIFO (the open does not wait for a writer).
  const std::string openError = "TXQNTXBag.Open: Open error \"" + ntx + "\"";
  std::filesystem::remove(ntx);
  EXPECT_THROW_MSG(tb.Open(), Exception, openError);
  std::filesystem::create_directory(ntx);
  EXPECT_THROW_MSG(tb.Open(), Exception, openError);
  std::filesystem::remove(ntx);
#ifndef _WIN32  // no FIFOs on Windows
  ASSERT_EQ(::mkfifo(ntx.c_str(), 0600), 0);
  EXPECT_THROW_MSG(tb.Open(), Exception, openError);
#endif
}

// Every length through the header's fixed fields and into its key
// expression (a cut expression names a field the table lacks), every page
// boundary and the bytes around it, and lengths in between.
TEST_F(TXQDBFNTXTest, EveryCutOfAFileAnswersRightOrNamesTheDamage) {
  BuildTwoLevels();
  std::set<std::size_t> lengths;
  for (std::size_t n = 0; n <= 48; ++n) lengths.insert(n);
  for (std::size_t n = 0; n <= built.size(); n += 97) lengths.insert(n);
  for (std::size_t page = kBlockSize; page <= built.size(); page += kBlockSize)
    for (std::size_t n : {page - 1, page, page + 1}) lengths.insert(std::min(n, built.size()));
  int errors = 0;
  for (const std::size_t n : lengths) {
    SCOPED_TRACE("first " + std::to_string(n) + " bytes");
    for (std::uint32_t recno : {1u, 138u, 200u, 0u}) {
      const Answer a = SeekIn(built.substr(0, n), recno ? tickets[recno - 1] : "K999999999");
      if (a.error.empty()) {
        EXPECT_EQ(a.recno, recno) << "a wrong answer from a cut file";
        continue;
      }
      ++errors;
      EXPECT_TRUE(a.error.starts_with(Damaged()) ||
                  a.error == "TXQNTXIndex.Open: File \"" + ntx + "\" is not NTX file" ||
                  (a.error.starts_with("tbRiscos: Field '") && a.error.ends_with("' not found")))
          << a.error;
    }
  }
  EXPECT_GT(errors, 0);
  EXPECT_EQ(SeekIn(built, tickets[137]).recno, 138u) << "the whole file";
  ExpectReleased();
}

TEST_F(TXQDBFNTXTest, DamagedPagesGiveClearErrors) {
  BuildTwoLevels();
  const Geometry g = GeometryFor(10);
  const std::string size =
      " is not a page inside the file (" + std::to_string(built.size()) + " bytes)";
  const std::string r = std::to_string(root), leaf = std::to_string(firstLeaf);
  const std::size_t rootFirst = root + Load(root + kPageSlots, 2);  // its first entry
  const std::size_t leafFirst = firstLeaf + Load(firstLeaf + kPageSlots, 2);
  const std::uint32_t leafCount = Load(firstLeaf + kPageCount, 2);
  const std::size_t lastSlot = firstLeaf + kPageSlots + kSlotSize * (leafCount - 1);
  const std::string lastKey = tickets[leafCount - 1];  // found through lastSlot
  auto badSlot = [&](std::uint32_t slot, const std::string& page, std::size_t entry) {
    return "slot " + std::to_string(slot) + " of page " + page + " points to offset " +
           std::to_string(entry) + ", where no entry of 18 bytes fits";
  };
  const std::string cycle = "form a cycle";  // found in the message
  const std::vector<std::tuple<std::string, std::string, std::string>> cases{
      {Patch(built, kHeadRoot, 999424, 4), tickets[1], "the root page offset 999424" + size},
      {built.substr(0, kBlockSize), tickets[0],
       "the root page offset " + r + " is not a page inside the file (1024 bytes)"},
      {Patch(built, rootFirst + kEntryChild, 1000, 4), tickets[1],
       "page " + r + " names the page offset 1000, which" + size},
      {Patch(built, kHeadMaxItems, 600, 2), tickets[1], "the page maximum 600 is outside 2..510"},
      // Counts one above the page maximum, and at the top of their field.
      {Patch(built, root + kPageCount, 51, 2), tickets[1],
       "page " + r + " holds 51 entries, more than the page maximum 50"},
      {Patch(built, firstLeaf + kPageCount, 0xFFFF, 2), tickets[0],
       "page " + leaf + " holds 65535 entries, more than the page maximum 50"},
      // An entry ending exactly at the page's end is read; one byte further
      // is refused, and one inside the slot table.
      {Patch(built, root + kPageSlots, 1020, 2), tickets[1], badSlot(0, r, 1020)},
      {Patch(built, lastSlot, kBlockSize - g.entrySize, 2), lastKey, ""},
      {Patch(built, lastSlot, kBlockSize - g.entrySize + 1, 2), lastKey,
       badSlot(leafCount - 1, leaf, kBlockSize - g.entrySize + 1)},
      {Patch(built, lastSlot, FirstEntryOffset(g) - 1, 2), lastKey,
       badSlot(leafCount - 1, leaf, FirstEntryOffset(g) - 1)},
      // A child leading back to the root from the root, from a leaf, and as
      // the rightmost child of the root emptied.
      {Patch(built, rootFirst + kEntryChild, root, 4), tickets[1], cycle},
      {Patch(built, leafFirst + kEntryChild, root, 4), tickets[0], cycle},
      {Patch(Patch(built, root + kPageCount, 0, 2), rootFirst + kEntryChild, root, 4), tickets[0],
       cycle},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    const auto& [bytes, key, error] = cases[i];
    const Answer a = SeekIn(bytes, key);
    if (error == cycle) {
      EXPECT_TRUE(a.error.starts_with(Damaged()) && a.error.ends_with(cycle)) << a.error;
    } else {
      EXPECT_EQ(a.error, error.empty() ? "" : Damaged() + error);
    }
  }
  ExpectReleased();
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

  {
    ByteHeldElsewhere other(ntx, kLockOffsetClipper);
    ASSERT_TRUE(other.Held());
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(Find("B")) << "the byte is held elsewhere";
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(15))
        << "retried about 1 ms apart";
  }
  EXPECT_TRUE(Find("B"));

  // The build entered a write phase for the other programs' sake: closing
  // the index ends it with a new update counter.
  tb.Indexes.Delete(0);
  EXPECT_EQ(ReadBytes(ntx)[2], 2);
}

}  // namespace
}  // namespace tolk
