// Page allocation and key insertion with splits, on an in-memory file.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "dataset/Exceptions.h"
#include "ntx/ntx_checker.h"
#include "ntx/ntx_header.h"
#include "ntx/ntx_page_reader.h"
#include "ntx/ntx_tree.h"
#include "ntx/pre_sorter.h"
#include "ntx/split_build.h"
#include "test_support.h"

namespace tolk {
namespace {

using namespace ntx;

// The file a tree's cache and image stand for: the header, then every
// flushed page.
std::string FileBytes(TXQNTXBuffers& cache, const PageStore& store,
                      const std::array<std::uint8_t, kBlockSize>& header) {
  cache.Flush();
  const std::vector<std::uint8_t> image = store.Snapshot();
  std::string s(image.begin(), image.end());
  s.resize(std::max<std::size_t>(s.size(), kBlockSize));
  std::copy(header.begin(), header.end(), s.begin());
  return s;
}

class NtxTreeTest : public ::testing::Test {
 protected:
  void Start(std::size_t keySize = 10, TXQLimitIndexPages limits = {}) {
    HeaderFields f;
    f.prefix.root = kBlockSize;
    f.geometry = g = GeometryFor(keySize);
    WriteHeader(f, header);
    store.StartImage(kBlockSize);
    cache.Configure(limits, 0, g.halfPage);
    order.Configure({}, false);
    fileSize = kBlockSize;
    tree = std::make_unique<NtxTree>(cache, header, g, order, fileSize, name);
    TXQNTXBuffers::Page root;
    EXPECT_EQ(tree->NewPage(root), kBlockSize);
  }

  void Insert(const std::string& key, std::uint32_t recno) {
    ASSERT_EQ(key.size(), g.keySize);
    tree->Insert(reinterpret_cast<const std::uint8_t*>(key.data()), recno);
  }

  // The file as it stands: header plus flushed pages.
  std::string Bytes() { return FileBytes(cache, store, header); }

  // (key, recno) of the entries of one page, in slot order.
  std::vector<std::pair<std::string, std::uint32_t>> PageEntries(const std::string& file,
                                                                 std::uint32_t offset) {
    coding::Bytes page(reinterpret_cast<const std::uint8_t*>(file.data()) + offset, kBlockSize);
    PageReader r(page, g);
    std::vector<std::pair<std::string, std::uint32_t>> out;
    for (std::size_t i = 0; i < r.Count(); ++i) {
      const std::uint16_t e = r.Slot(i);
      out.emplace_back(std::string(reinterpret_cast<const char*>(r.Key(e)), g.keySize), r.RecNo(e));
    }
    return out;
  }
  std::uint32_t Root() const { return ReadHeaderPrefix(header).root; }

  std::array<std::uint8_t, kBlockSize> header{};
  Geometry g;
  PageStore store;
  TXQNTXBuffers cache{store};
  KeyOrder order;
  std::uint64_t fileSize = 0;
  std::string name = "test.ntx";
  std::unique_ptr<NtxTree> tree;
};

std::string K(int n) {
  std::string s = std::to_string(n);
  return std::string(10 - s.size(), '0') + s;
}

TEST_F(NtxTreeTest, FirstKeyGoesIntoSlotZeroOfTheRootLeaf) {
  Start();
  Insert(K(7), 1);
  const std::string file = Bytes();
  coding::Bytes root(reinterpret_cast<const std::uint8_t*>(file.data()) + kBlockSize, kBlockSize);
  PageReader r(root, g);
  EXPECT_EQ(r.Count(), 1);
  // The free entry of slot 1 took the key; the entry of slot 0, whose child
  // a formatted page clears, moved up to be the rightmost one.
  EXPECT_EQ(r.Slot(0), FormattedSlot(g, 1));
  EXPECT_EQ(r.Slot(1), FormattedSlot(g, 0));
  EXPECT_EQ(r.RecNo(r.Slot(0)), 1u);
  EXPECT_EQ(r.Child(r.Slot(0)), 0u);
  EXPECT_EQ(r.Child(r.Slot(1)), 0u);
  EXPECT_EQ(file.size(), 2 * kBlockSize);
}

TEST_F(NtxTreeTest, FiftyFirstKeySplitsTheRootLeafAroundTheTwentySixthKey) {
  // Wherever the new key falls, the 26th key in order goes up.
  for (int newKey : {0, 26, 51, 100}) {
    SCOPED_TRACE(newKey);
    Start();
    std::vector<int> keys;
    for (int i = 1; i <= 50; ++i) keys.push_back(i * 2);  // 2, 4, ..., 100
    std::shuffle(keys.begin(), keys.end(), std::mt19937(newKey));
    for (std::size_t i = 0; i < keys.size(); ++i)
      Insert(K(keys[i]), static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(Root(), kBlockSize);
    Insert(K(newKey + 1), 99);  // odd: never equal to an earlier key

    std::vector<int> all{newKey + 1};
    for (int i = 1; i <= 50; ++i) all.push_back(i * 2);
    std::sort(all.begin(), all.end());

    const std::string file = Bytes();
    ASSERT_EQ(file.size(), 4 * kBlockSize) << "header, old root, new leaf, new root";
    EXPECT_EQ(Root(), 3 * kBlockSize);
    auto root = PageEntries(file, Root());
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(root[0].first, K(all[25]));
    auto left = PageEntries(file, kBlockSize);
    auto right = PageEntries(file, 2 * kBlockSize);
    ASSERT_EQ(left.size(), 25u);
    ASSERT_EQ(right.size(), 25u);
    EXPECT_EQ(left.front().first, K(all[0]));
    EXPECT_EQ(right.front().first, K(all[26]));
    auto check = testing::CheckNtxBytes(file);
    EXPECT_EQ(check.error, "");
    EXPECT_EQ(check.depth, 2);
  }
}

TEST_F(NtxTreeTest, EqualKeysAscendByRecordNumber) {
  Start();
  for (std::uint32_t r : {7u, 3u, 5u}) Insert(K(1), r);
  auto e = PageEntries(Bytes(), kBlockSize);
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].second, 3u);
  EXPECT_EQ(e[1].second, 5u);
  EXPECT_EQ(e[2].second, 7u);
}

TEST_F(NtxTreeTest, ManyKeysKeepEveryInvariantUnderASmallCache) {
  // One-byte keys (90 a page), four groups of one page: a leaf split pins
  // the whole path of a three-level tree and the new page.
  Start(1, {TXQLimitBuffersType::lbtLimited, 4, 1});
  std::mt19937 rng(3);
  std::multimap<std::string, std::uint32_t> model;
  for (std::uint32_t r = 1; r <= 20000; ++r) {
    std::string k(1, static_cast<char>('A' + rng() % 20));
    Insert(k, r);
    model.emplace(k, r);
  }
  auto check = testing::CheckNtxBytes(Bytes());
  ASSERT_EQ(check.error, "");
  ASSERT_EQ(check.entries.size(), model.size());
  std::size_t i = 0;
  for (const auto& [k, r] : model) {  // a multimap keeps insertion (record) order among equal keys
    ASSERT_EQ(check.entries[i].first, k);
    ASSERT_EQ(check.entries[i].second, r);
    ++i;
  }
}

TEST_F(NtxTreeTest, NewPagesComeFromTheFreeListFirst) {
  Start();
  TXQNTXBuffers::Page a, b;
  const std::uint32_t second = tree->NewPage(a);
  const std::uint32_t third = tree->NewPage(b);
  EXPECT_EQ(second, 2 * kBlockSize);
  EXPECT_EQ(third, 3 * kBlockSize);
  // Chain 3072 -> 2048 onto the free list by hand.
  PageReader rb(b.Bytes(), g);
  coding::Store32(b.Bytes(), rb.Slot(0) + kEntryChild, second);
  coding::Store16(b.Bytes(), kPageCount, 5);
  b.MarkModified();
  WriteFreePage(header, third);
  a.Release();
  b.Release();

  TXQNTXBuffers::Page c;
  EXPECT_EQ(tree->NewPage(c), third);
  EXPECT_EQ(ReadHeaderPrefix(header).freePage, second);
  PageReader rc(c.Bytes(), g);
  EXPECT_EQ(rc.Count(), 0);
  EXPECT_EQ(rc.Child(rc.Slot(0)), 0u);
  c.Release();
  TXQNTXBuffers::Page d;
  EXPECT_EQ(tree->NewPage(d), second);
  TXQNTXBuffers::Page e;
  EXPECT_EQ(tree->NewPage(e), 4 * kBlockSize) << "an empty list appends";
}

TEST_F(NtxTreeTest, SearchFindsTheLowestAcceptedRecordAndStopsPastTheKey) {
  Start();
  for (std::uint32_t r = 1; r <= 300; ++r) Insert(K(static_cast<int>(r % 50)), r);  // 6 of each key
  auto s = [&](const std::string& text, std::size_t len, bool soft, std::uint32_t recno,
               const NtxTree::Accept& a) {
    return tree->Search(reinterpret_cast<const std::uint8_t*>(text.data()), len, soft, recno, a);
  };
  NtxTree::Accept all = [](std::uint32_t) { return true; };
  EXPECT_EQ(s(K(7), 10, false, 0, all), 7u);
  std::vector<std::uint32_t> asked;
  NtxTree::Accept noLow = [&](std::uint32_t r) {
    asked.push_back(r);
    return r > 100;
  };
  EXPECT_EQ(s(K(7), 10, false, 0, noLow), 107u);
  EXPECT_EQ(asked, (std::vector<std::uint32_t>{7, 57, 107}));
  EXPECT_EQ(s(K(7), 10, false, 0, [](std::uint32_t) { return false; }), 0u);
  EXPECT_EQ(s("0000000099", 10, false, 0, all), 0u);
  EXPECT_EQ(s("0000000099", 10, true, 0, all), 0u) << "nothing at or after it";
  EXPECT_EQ(s("0000000006x", 10, false, 0, all), 6u);
  EXPECT_EQ(s("00000000", 8, false, 0, all), 50u)
      << "partial: the first key beginning with the text";
  EXPECT_EQ(s("0000000006", 10, true, 60, all), 106u)
      << "soft with a record number: at or after (key, 60)";
  EXPECT_TRUE(tree->Contains(reinterpret_cast<const std::uint8_t*>(K(49).data())));
  EXPECT_FALSE(tree->Contains(reinterpret_cast<const std::uint8_t*>(K(50).data())));
}

TEST(NtxPreSorterTest, DrainsInIndexOrderWhateverTheKeysLookLike) {
  TXQCollation weighted;
  weighted.CollationType = TXQCollationTypes::cltCustom;
  weighted.CustomCollatingSequence.clear();
  for (int i = 0; i < 256; ++i) weighted.CustomCollatingSequence += std::to_string(255 - i) + ";";
  std::mt19937 rng(4);
  auto digits = [](std::uint64_t n) {
    std::string s = std::to_string(n);
    return std::string(10 - std::min<std::size_t>(10, s.size()), '0') + s;
  };
  const std::size_t n = 3000;
  std::vector<std::pair<const char*, std::vector<std::string>>> inputs(6);
  for (std::size_t i = 0; i < n; ++i) {
    inputs[0].second.push_back(digits(i));           // already in order
    inputs[1].second.push_back(digits(n - i));       // reversed
    inputs[2].second.push_back(digits(rng() % 50));  // many equal
    inputs[3].second.push_back(i == n - 1 ? digits(0)
                                          : digits(i + 1));  // in order but for the last
    std::string nul = digits(rng() % 500);
    nul[2 + rng() % 3] = '\0';  // a NUL among the first eight bytes
    inputs[4].second.push_back(nul);
    inputs[5].second.push_back(digits(rng() % 10000000));  // five of eight prefix bytes vary
  }
  inputs[0].first = "ascending";
  inputs[1].first = "descending";
  inputs[2].first = "random";
  inputs[3].first = "one out of place";
  inputs[4].first = "NULs";
  inputs[5].first = "seven random digits";
  for (const auto& [what, keys] : inputs) {
    for (int variant = 0; variant < 3; ++variant) {
      SCOPED_TRACE(std::string(what) + " " + std::to_string(variant));
      KeyOrder order;
      order.Configure(variant == 2 ? weighted : TXQCollation{}, variant == 1);
      NtxPreSorter sorter(n, 10, order);
      for (std::size_t i = 0; i < n; ++i)
        sorter.Add(reinterpret_cast<const std::uint8_t*>(keys[i].data()),
                   static_cast<std::uint32_t>(i + 1));
      ASSERT_TRUE(sorter.Full());
      std::vector<std::pair<std::string, std::uint32_t>> got, want;
      sorter.Drain([&](const std::uint8_t* k, std::uint32_t r) {
        got.emplace_back(std::string(reinterpret_cast<const char*>(k), 10), r);
      });
      for (std::size_t i = 0; i < n; ++i)
        want.emplace_back(keys[i], static_cast<std::uint32_t>(i + 1));
      std::stable_sort(want.begin(), want.end(), [&](const auto& a, const auto& b) {
        return order.Compare(reinterpret_cast<const std::uint8_t*>(a.first.data()),
                             reinterpret_cast<const std::uint8_t*>(b.first.data()), 10) < 0;
      });
      ASSERT_EQ(got, want);
      EXPECT_EQ(sorter.Size(), 0u);
    }
  }
}

// A build's feed: batches of entries, each batch in index order, as the
// pre-sorter hands them over.
std::vector<std::pair<std::string, std::uint32_t>> SortedBatches(std::vector<std::string> keys,
                                                                 std::size_t batch,
                                                                 const KeyOrder& order) {
  std::vector<std::pair<std::string, std::uint32_t>> feed;
  for (std::size_t i = 0; i < keys.size(); ++i)
    feed.emplace_back(keys[i], static_cast<std::uint32_t>(i + 1));
  auto before = [&](const auto& a, const auto& b) {
    const int c =
        order.Compare(reinterpret_cast<const std::uint8_t*>(a.first.data()),
                      reinterpret_cast<const std::uint8_t*>(b.first.data()), a.first.size());
    return c != 0 ? c < 0 : a.second < b.second;
  };
  for (std::size_t from = 0; from < feed.size(); from += batch)
    std::sort(feed.begin() + static_cast<std::ptrdiff_t>(from),
              feed.begin() + static_cast<std::ptrdiff_t>(std::min(feed.size(), from + batch)),
              before);
  return feed;
}

// How a tree takes its feed: every page searched whole; from the previous
// insertion's path; queued, the paths found ahead over pages in place;
// queued, each batch in two halves, the second beside the tree.
enum class Feed { kWhole, kFollowing, kQueued, kSplit };

// The file a tree that started empty holds after the feed.
std::string BuildFrom(const std::vector<std::pair<std::string, std::uint32_t>>& feed,
                      const TXQCollation& collation, bool desc, Feed how, std::size_t batch = 0,
                      std::size_t* splits = nullptr) {
  const Geometry g = GeometryFor(feed.front().first.size());
  std::array<std::uint8_t, kBlockSize> header{};
  HeaderFields f;
  f.prefix.root = kBlockSize;
  f.geometry = g;
  f.desc = desc;
  WriteHeader(f, header);
  PageStore store;
  store.StartImage(4 * kBlockSize);
  TXQNTXBuffers cache(store);
  TXQLimitIndexPages limits;
  cache.Configure(limits, static_cast<std::int64_t>(feed.size()), g.halfPage);
  if (how == Feed::kQueued || how == Feed::kSplit) {
    EXPECT_TRUE(cache.UseImageInPlace());  // as a build: before its first page
  }
  KeyOrder order;
  order.Configure(collation, desc);
  std::uint64_t fileSize = kBlockSize;
  const std::string name = "test.ntx";
  NtxTree tree(cache, header, g, order, fileSize, name);
  TXQNTXBuffers::Page root;
  tree.NewPage(root);
  root.Release();
  tree.StartsEmpty();
  tree.SetFollowPreviousPath(how != Feed::kWhole);
  if (how == Feed::kSplit) {
    // Each batch split where the halves' shares say, anywhere from a fifth to four fifths.
    NtxSplitBuild split(store, g, order, name, header);
    std::mt19937 rng(5);
    std::vector<NtxSplitBuild::Entry> entries;
    for (std::size_t from = 0; from < feed.size(); from += batch) {
      entries.clear();
      for (std::size_t i = from; i < std::min(feed.size(), from + batch); ++i)
        entries.push_back(
            {reinterpret_cast<const std::uint8_t*>(feed[i].first.data()), feed[i].second});
      const std::span<const NtxSplitBuild::Entry> all(entries);
      const std::size_t half =
          split.Prepare(tree, fileSize, all, 0.2 + 0.006 * static_cast<int>(rng() % 100));
      for (const auto& e : all.first(half)) tree.InsertQueued(e.key, e.recno);
      tree.FlushQueued();
      if (half == all.size()) continue;
      split.InsertSecondHalf(all.subspan(half));
      split.Commit(tree, cache, fileSize);
      ++*splits;
    }
    return FileBytes(cache, store, header);
  }
  std::size_t fed = 0;
  for (const auto& [k, r] : feed) {
    const auto* key = reinterpret_cast<const std::uint8_t*>(k.data());
    if (how != Feed::kQueued) {
      tree.Insert(key, r);
    } else {
      tree.InsertQueued(key, r);
      if (++fed % 1000 == 0) tree.FlushQueued();  // as a build does after each batch
    }
  }
  tree.FlushQueued();
  return FileBytes(cache, store, header);
}

TEST(NtxTreeFeedTest, PathsFromThePreviousOneFoundAheadOrInHalvesBuildTheSameFile) {
  std::mt19937 rng(11);
  auto digits = [](std::uint64_t n, std::size_t width) {
    std::string s = std::to_string(n);
    return std::string(width - std::min(width, s.size()), '0') + s.substr(0, width);
  };
  TXQCollation weighted;
  weighted.CollationType = TXQCollationTypes::cltCustom;
  weighted.CustomCollatingSequence.clear();
  for (int i = 0; i < 256; ++i)
    weighted.CustomCollatingSequence += std::to_string(i % 7) + ";";  // many ties
  struct Case {
    const char* what;
    std::vector<std::string> keys;
    TXQCollation collation;
    bool desc;
  };
  std::vector<Case> cases;
  std::vector<std::string> k;
  for (std::uint64_t i = 0; i < 20000; ++i) k.push_back(digits(i * 7, 10));
  cases.push_back({"ascending tickets", k, {}, false});
  cases.push_back({"ascending tickets, descending order", k, {}, true});
  k.clear();
  for (std::uint64_t i = 0; i < 20000; ++i) k.push_back(digits((i * 7919 + 104729) % 3000000, 10));
  cases.push_back({"ascending runs that interleave", k, {}, false});
  k.clear();
  for (int i = 0; i < 20000; ++i) k.push_back(digits(rng() % 3000, 10));
  cases.push_back({"random keys, many equal", k, {}, false});
  cases.push_back({"random keys under weights with ties", k, weighted, false});
  for (std::size_t width : {4u, 13u, 20u}) {
    k.clear();
    for (int i = 0; i < 20000; ++i) k.push_back(digits(i / 3 + rng() % 50, width));
    cases.push_back({"nearly ascending keys of another size", k, {}, false});
  }
  k.clear();
  for (int i = 0; i < 20000; ++i) {
    // Keys compare only up to a NUL: these all compare equal and follow
    // their record numbers, whatever comes after the NUL.
    if (i > 9000 && i % 97 == 0)
      k.push_back(std::string("000") + '\0' + digits(static_cast<std::uint64_t>(99999 - i), 6));
    else
      k.push_back(digits(static_cast<std::uint64_t>(i), 10));
  }
  cases.push_back({"keys with NULs", k, {}, false});

  std::size_t splits = 0;  // batches built in halves
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeyOrder order;
    order.Configure(c.collation, c.desc);
    for (std::size_t batch : {1u, 364u, 3640u}) {
      const auto feed = SortedBatches(c.keys, batch, order);
      const std::string followed = BuildFrom(feed, c.collation, c.desc, Feed::kFollowing);
      ASSERT_EQ(followed, BuildFrom(feed, c.collation, c.desc, Feed::kWhole)) << "batch " << batch;
      ASSERT_EQ(followed, BuildFrom(feed, c.collation, c.desc, Feed::kQueued)) << "batch " << batch;
      if (batch > 1) {
        ASSERT_EQ(followed, BuildFrom(feed, c.collation, c.desc, Feed::kSplit, batch, &splits))
            << "batch " << batch;
      }
      if (c.collation.CollationType ==
          TXQCollationTypes::cltNone) {  // the checker orders plain bytes
        ASSERT_EQ(testing::CheckNtxBytes(followed).error, "") << "batch " << batch;
      }
    }
  }
  EXPECT_GT(splits, 200u);
}

}  // namespace
}  // namespace tolk
