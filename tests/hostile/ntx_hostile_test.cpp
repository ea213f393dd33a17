// Hostile NTX files at the index layer, beyond the single patches of the
// seek suite: every cut of a built file, cycles that run through a leaf or
// through a page's rightmost child, slots at the edge of a page, and a header
// whose key does not fit the table. A seek either gives the right answer or
// fails naming the file; the table is never left half open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <set>

#include "dataset/Exceptions.h"
#include "dataset/coding.h"
#include "dbf/file_io.h"
#include "ntx/ntx_fixtures.h"
#include "ntx/ntx_format.h"

namespace tolk {
namespace {

using namespace testing;
using namespace ntx;

class HostileNtxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 200; ++i) keys.push_back(Key10(static_cast<std::uint64_t>(i)));
    table = WriteTickets(dir, keys);
    TXQDBFNTX t("tbRiscos");
    OpenTable(t, table);
    BuildIndex(t, ntx);  // a root over several leaves
    t.Close();
    built = ReadBytes(ntx);
    ASSERT_EQ(built.size() % kBlockSize, 0u);
    root = Load32(kHeadRoot);
    ASSERT_GT(Load16(root + kPageSlots), 0u);
    firstLeaf = Load32(root + Load16(root + kPageSlots) + kEntryChild);
    ASSERT_NE(firstLeaf, 0u) << "the root is an inner page";
  }

  std::uint32_t Load32(std::size_t at) const {
    return coding::Load32(
        coding::Bytes(reinterpret_cast<const std::uint8_t*>(built.data()), built.size()), at);
  }
  std::uint16_t Load16(std::size_t at) const {
    return coding::Load16(
        coding::Bytes(reinterpret_cast<const std::uint8_t*>(built.data()), built.size()), at);
  }
  static void Store(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
    coding::MutableBytes b(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    width == 2 ? coding::Store16(b, at, static_cast<std::uint16_t>(value))
               : coding::Store32(b, at, value);
  }

  // Opens the table, attaches the index file to it and seeks `key`: the
  // record found (0 when none), or the error's text in `error`.
  std::uint32_t Seek(const std::string& key, std::string& error) {
    error.clear();
    TXQDBFNTX t("tbRiscos");
    try {
      OpenTable(t, table);
      auto& ind = dynamic_cast<TXQNTXIndex&>(t.Indexes.Add("bilhete"));
      ind.SetNTXFileName(ntx);
      ind.Open();
      ind.SetActive(true);
      return t.FindKey({Variant(key)}) ? static_cast<std::uint32_t>(t.RecNo()) : 0;
    } catch (const Exception& e) {
      error = e.what();
      return 0;
    }
  }

  std::string Damaged() const { return "TXQNTXIndex: File \"" + ntx + "\" is damaged: "; }
  // Both files are free again: nothing stayed open after an error.
  void ExpectReleased() const {
    PosixFile probe;
    EXPECT_TRUE(probe.OpenRead(table, ShareMode::Exclusive));
    probe.Close();
    EXPECT_TRUE(probe.OpenRead(ntx, ShareMode::Exclusive));
  }

  TempDir dir;
  std::vector<std::string> keys;
  std::string table, built;
  std::string ntx = dir.File("bilhete.ntx");
  std::uint32_t root = 0, firstLeaf = 0;
};

TEST_F(HostileNtxTest, EveryCutOfAFileAnswersRightOrNamesTheDamage) {
  const std::string notNtx = "TXQNTXIndex.Open: File \"" + ntx + "\" is not NTX file";
  // Every length through the header's fixed fields and into its key
  // expression (a cut expression names a field the table lacks), every page
  // boundary and the bytes around it, and lengths in between.
  std::set<std::size_t> lengths;
  for (std::size_t n = 0; n <= 48; ++n) lengths.insert(n);
  for (std::size_t n = 0; n <= built.size(); n += 97) lengths.insert(n);
  for (std::size_t page = kBlockSize; page <= built.size(); page += kBlockSize)
    for (std::size_t n : {page - 1, page, page + 1}) lengths.insert(std::min(n, built.size()));
  int errors = 0;
  for (const std::size_t n : lengths) {
    SCOPED_TRACE("first " + std::to_string(n) + " bytes");
    WriteBytes(ntx, built.substr(0, n));
    for (std::uint32_t recno : {1u, 138u, 200u, 0u}) {
      std::string error;
      const std::uint32_t found = Seek(recno ? keys[recno - 1] : "K999999999", error);
      if (error.empty()) {
        EXPECT_EQ(found, recno) << "a wrong answer from a cut file";
        continue;
      }
      ++errors;
      const bool clear =
          error.rfind(Damaged(), 0) == 0 || error == notNtx ||
          (error.rfind("tbRiscos: Field '", 0) == 0 && error.ends_with("' not found"));
      EXPECT_TRUE(clear) << error;
      EXPECT_EQ(found, 0u);
    }
  }
  EXPECT_GT(errors, 0);
  std::string error;
  EXPECT_EQ(Seek(keys[137], error), 138u) << "the whole file: " << error;
  ExpectReleased();
}

TEST_F(HostileNtxTest, CyclesThroughALeafOrARightmostChildAreErrors) {
  std::string error;
  // The first leaf's first entry leads back to the root: root, leaf, root ...
  std::string bytes = built;
  Store(bytes, firstLeaf + Load16(firstLeaf + kPageSlots) + kEntryChild, root, 4);
  WriteBytes(ntx, bytes);
  EXPECT_EQ(Seek(keys[0], error), 0u);
  EXPECT_EQ(error.rfind(Damaged(), 0), 0u) << error;
  EXPECT_NE(error.find("form a cycle"), std::string::npos) << error;

  // The root emptied, its rightmost child the root itself.
  bytes = built;
  Store(bytes, root + kPageCount, 0, 2);
  Store(bytes, root + Load16(root + kPageSlots) + kEntryChild, root, 4);
  WriteBytes(ntx, bytes);
  EXPECT_EQ(Seek(keys[0], error), 0u);
  EXPECT_NE(error.find("form a cycle"), std::string::npos) << error;
  ExpectReleased();
}

TEST_F(HostileNtxTest, CountsAndSlotsAtTheEdgeOfAPage) {
  const std::size_t leafCount = Load16(firstLeaf + kPageCount);
  const Geometry g = GeometryFor(10);
  std::string error;
  // A leaf's count at the page maximum is possible, one above is not.
  std::string bytes = built;
  Store(bytes, firstLeaf + kPageCount, 0xFFFF, 2);
  WriteBytes(ntx, bytes);
  Seek(keys[0], error);
  EXPECT_EQ(error, Damaged() + "page " + std::to_string(firstLeaf) +
                       " holds 65535 entries, more than the page maximum " +
                       std::to_string(g.maxItems));
  // The last slot in use: an entry ending exactly at the page's end is
  // read; one byte further is refused; one inside the slot table too.
  const std::size_t lastSlot = firstLeaf + kPageSlots + kSlotSize * (leafCount - 1);
  for (const auto& [entry, ok] : std::vector<std::pair<std::uint32_t, bool>>{
           {static_cast<std::uint32_t>(kBlockSize - g.entrySize), true},
           {static_cast<std::uint32_t>(kBlockSize - g.entrySize + 1), false},
           {static_cast<std::uint32_t>(FirstEntryOffset(g) - 1), false}}) {
    bytes = built;
    Store(bytes, lastSlot, entry, 2);
    WriteBytes(ntx, bytes);
    Seek(keys[leafCount - 1], error);
    if (ok) {
      EXPECT_EQ(error, "") << entry;
    } else {
      EXPECT_EQ(error, Damaged() + "slot " + std::to_string(leafCount - 1) + " of page " +
                           std::to_string(firstLeaf) + " points to offset " +
                           std::to_string(entry) + ", where no entry of 18 bytes fits");
    }
  }
  ExpectReleased();
}

TEST_F(HostileNtxTest, HeadersThatDoNotFitTheTableOrNoFile) {
  std::string error;
  // A key over a field the table lacks fails the open, and the table is
  // closed again.
  std::string bytes = built;
  std::memcpy(bytes.data() + kHeadKeyExpr, "APOLICE\0", 8);
  WriteBytes(ntx, bytes);
  EXPECT_EQ(Seek(keys[0], error), 0u);
  EXPECT_NE(error.find("APOLICE"), std::string::npos) << error;
  ExpectReleased();

  // Only an NTX header: the root page it names is not in the file.
  WriteBytes(ntx, built.substr(0, kBlockSize));
  Seek(keys[0], error);
  EXPECT_EQ(error, Damaged() + "the root page offset " + std::to_string(root) +
                       " is not a page inside the file (1024 bytes)");

  // Things that are no index file at all.
  const std::string openError = "TXQNTXBag.Open: Open error \"" + ntx + "\"";
  std::filesystem::remove(ntx);
  std::filesystem::create_directory(ntx);
  Seek(keys[0], error);
  EXPECT_EQ(error, openError);
  std::filesystem::remove(ntx);
  ASSERT_EQ(::mkfifo(ntx.c_str(), 0600), 0);
  Seek(keys[0], error);  // and does not block
  EXPECT_EQ(error, openError);
  std::filesystem::remove(ntx);
  WriteBytes(ntx, "");
  Seek(keys[0], error);
  EXPECT_EQ(error, "TXQNTXIndex.Open: File \"" + ntx + "\" is not NTX file");
}

}  // namespace
}  // namespace tolk
