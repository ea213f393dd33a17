// The page cache: sizing, hits, eviction and write-back.
#include <gtest/gtest.h>

#include <vector>

#include "dataset/Exceptions.h"
#include "dbf/file_io.h"
#include "ntx/TXQNTXBuffers.h"
#include "ntx/ntx_format.h"
#include "test_support.h"

namespace tolk {
namespace {

using ntx::kBlockSize;

// A cache over a file of a header and `pages` pages, page k filled with the
// byte k.
class TXQNTXBuffersTest : public ::testing::Test {
 protected:
  void Fill(int pages) {
    std::string bytes(kBlockSize, '\0');
    for (int k = 1; k <= pages; ++k) bytes += std::string(kBlockSize, static_cast<char>(k));
    ASSERT_TRUE(file.CreateBeside(dir.File("pages.ntx"), path));
    ASSERT_TRUE(file.WriteAt(0, bytes.data(), bytes.size()));
    store.Attach(&file, path);
  }
  void Limit(int groups, int pagesPerGroup) {
    TXQLimitIndexPages l{TXQLimitBuffersType::lbtLimited, groups, pagesPerGroup};
    cache.Configure(l, 0, 25);
  }
  std::uint8_t Stored(std::uint64_t offset) const {
    std::string bytes = testing::ReadBytes(path);
    return offset < bytes.size() ? static_cast<std::uint8_t>(bytes[offset]) : 0;
  }

  testing::TempDir dir;
  std::string path = dir.File("pages.ntx");
  SystemFile file;
  PageStore store;
  TXQNTXBuffers cache{store};
};

TEST_F(TXQNTXBuffersTest, AutoSizingFollowsTheRecordCount) {
  TXQLimitIndexPages l;
  cache.Configure(l, 5000, 25);  // 3 * round(log26(105000) = 3.55)
  EXPECT_EQ(cache.GroupLimit(), 12);
  EXPECT_EQ(l.LimitBuffers, 12) << "the computed limit is stored back";
  cache.Configure(l, 1000000, 25);  // log26(1100000) = 4.27
  EXPECT_EQ(l.LimitBuffers, 12);
  cache.Configure(l, 0, 45);  // log46(100000) = 3.007
  EXPECT_EQ(l.LimitBuffers, 9);
  l.LimitPagesType = TXQLimitBuffersType::lbtUnlimited;
  cache.Configure(l, 0, 25);
  EXPECT_EQ(cache.GroupLimit(), -1);
}

TEST_F(TXQNTXBuffersTest, OneGroupOfFourReloadsAndWritesBack) {
  Fill(8);
  Limit(1, 4);
  {
    auto p = cache.Get(1024);  // group 0..4095: pages 1..3 of the file
    EXPECT_EQ(p.Bytes()[0], 1);
    p.Bytes()[0] = 0xA1;
    p.MarkModified();
    auto q = cache.Get(3072);  // same group: a hit
    q.Bytes()[0] = 0xA3;
    q.MarkModified();
  }
  EXPECT_EQ(cache.Statistics().loads, 1u);
  EXPECT_EQ(Stored(1024), 1) << "nothing is written before the group leaves";

  {
    auto p = cache.Get(5120);  // group 4096..8191: the single group is reloaded
    EXPECT_EQ(p.Bytes()[0], 5);
  }
  EXPECT_EQ(cache.Statistics().loads, 2u);
  EXPECT_EQ(cache.Statistics().writeBacks, 1u);
  EXPECT_EQ(cache.Statistics().pagesWritten, 3u)
      << "one run from page 1 to page 3, page 2 included";
  EXPECT_EQ(Stored(1024), 0xA1);
  EXPECT_EQ(Stored(2048), 2);
  EXPECT_EQ(Stored(3072), 0xA3);

  {
    auto p = cache.Get(1024);  // and back: the changes were kept
    EXPECT_EQ(p.Bytes()[0], 0xA1);
  }
  EXPECT_EQ(cache.Statistics().loads, 3u);
  EXPECT_EQ(cache.Statistics().writeBacks, 1u) << "an unmodified group is not written";
}

TEST_F(TXQNTXBuffersTest, EvictsTheLeastUsedUnpinnedGroup) {
  Fill(16);
  Limit(2, 1);
  cache.Get(1024);
  cache.Get(1024);
  cache.Get(1024);  // page 1 used most
  cache.Get(2048);
  cache.Get(3072);  // evicts page 2, the least used
  EXPECT_EQ(cache.Statistics().loads, 3u);
  cache.Get(1024);
  EXPECT_EQ(cache.Statistics().loads, 3u) << "page 1 stayed";

  auto pinned = cache.Get(1024);
  auto other = cache.Get(3072);
  EXPECT_THROW_MSG(
      cache.Get(4096), Exception,
      "TXQNTXBuffers.GetNTXBuffer: There is no enough free NTX page buffers! Increase LimitPages "
      "property.");
  other.Release();
  EXPECT_EQ(cache.Get(4096).Bytes()[0], 4);
}

TEST_F(TXQNTXBuffersTest, PagesPastTheEndReadAsZerosAndFlushWritesThem) {
  Fill(1);
  Limit(4, 4);
  {
    auto p = cache.Get(2048);
    EXPECT_EQ(p.Bytes()[0], 0);
    p.Bytes()[7] = 9;
    p.MarkModified();
  }
  cache.Flush();
  ASSERT_EQ(testing::ReadBytes(path).size(), 3 * kBlockSize);
  EXPECT_EQ(Stored(2048 + 7), 9);
  cache.Clear();
  EXPECT_EQ(cache.GroupCount(), 0);
}

TEST_F(TXQNTXBuffersTest, OverAnImageGroupsAreMappedNotCopied) {
  store.StartImage(4 * kBlockSize);
  Limit(1, 4);
  std::uint8_t* first = nullptr;
  {
    auto p = cache.Get(1024);
    first = p.Bytes().data();
    p.Bytes()[0] = 5;
    p.MarkModified();
  }
  EXPECT_EQ(store.ImageSize(), 0u) << "the image reaches only as far as written runs";
  cache.Get(8192);  // evicts: the run is recorded, nothing copied
  EXPECT_EQ(store.ImageSize(), 2 * kBlockSize);
  EXPECT_EQ(cache.Get(1024).Bytes().data(), first) << "the same bytes come back";
  EXPECT_EQ(store.Snapshot()[1024], 5);

  // In place: no group at all, whatever is pinned, under a limit a build
  // cannot reach; a limit set by hand keeps the groups that it limits.
  cache.Clear();
  EXPECT_FALSE(cache.UseImageInPlace());
  TXQLimitIndexPages automatic;
  cache.Configure(automatic, 0, 25);
  ASSERT_TRUE(cache.UseImageInPlace());
  std::vector<TXQNTXBuffers::Page> pinned;
  for (std::uint64_t offset = 1024; offset <= 64 * kBlockSize; offset += kBlockSize)
    pinned.push_back(cache.Get(offset));
  EXPECT_EQ(pinned.front().Bytes().data(), first);
  EXPECT_EQ(pinned.front().Bytes()[0], 5);
  pinned[40].MarkModified();
  EXPECT_EQ(store.ImageSize(), 42 * kBlockSize) << "a page written in place extends the image";
  EXPECT_EQ(cache.GroupCount(), 0);
  pinned.clear();
  cache.Clear();
  EXPECT_EQ(cache.Get(1024).Bytes().data(), first) << "groups again after a clear";
  EXPECT_EQ(cache.GroupCount(), 1);
}

// An image in the file itself: the cache's groups are the file's own pages.
// Its writes reach the file without a copy, the file is cut to the image's
// size at the end (though whole stretches were reserved), and afterwards no
// group is mapped past that end, where a page would fault.
TEST_F(TXQNTXBuffersTest, AnImageInTheFileIsTheFile) {
  ASSERT_TRUE(file.CreateBeside(dir.File("pages.ntx"), path));
  store.Attach(&file, path);
  store.StartImage(4 * kBlockSize, true);
  ASSERT_TRUE(store.ImageInFile());
  Limit(2, 4);
  const std::uint64_t far =
      (std::uint64_t{5} << 20) + 3 * kBlockSize;  // in the third 2 MiB stretch
  for (std::uint64_t offset : {std::uint64_t{1024}, std::uint64_t{3} << 20, far}) {
    auto p = cache.Get(offset);
    p.Bytes()[0] = static_cast<std::uint8_t>(offset >> 20) + 1;
    p.MarkModified();
  }
  cache.Flush();
  EXPECT_EQ(Stored(far), 6) << "the file holds the page before any write of the image";
  store.WriteImageToFile(kBlockSize);
  EXPECT_EQ(testing::ReadBytes(path).size(), far + kBlockSize);
  EXPECT_EQ(Stored(1024), 1);
  EXPECT_EQ(Stored(std::uint64_t{3} << 20), 4);

  cache.Clear();
  store.KeepImageAsCopy();
  EXPECT_NE(store.Map(1024, 4 * kBlockSize), nullptr);
  EXPECT_EQ(store.Map(far + kBlockSize, 4 * kBlockSize), nullptr) << "past the end of the file";
  EXPECT_EQ(cache.Get(far).Bytes()[0], 6);
  EXPECT_FALSE(store.LostPages());

  // Seeks read the copy in place; past the end of the file, a group reads
  // zeros from the file instead of touching a page that would fault.
  TXQLimitIndexPages automatic;
  cache.Configure(automatic, 0, 25);
  ASSERT_TRUE(cache.UseImageInPlace());
  EXPECT_EQ(cache.Get(far).Bytes().data(), store.Map(far, kBlockSize));
  EXPECT_EQ(cache.GroupCount(), 0);
  EXPECT_EQ(cache.Get(far + kBlockSize).Bytes()[0], 0);
  EXPECT_EQ(cache.GroupCount(), 1);
}

}  // namespace
}  // namespace tolk
