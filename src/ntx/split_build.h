// A batch of a build in two halves, one per thread, into the very tree the
// batch would make on one thread.
//
// A batch goes into the tree in ascending order. Take an entry S of a page Q
// just above the leaves, near the batch's middle key: every entry of the
// batch that orders before S (the first half) goes into pages left of the
// path from the root to Q, or into that path's own pages; every later entry
// (the second half) into pages right of it, or into the path. Below the
// path the halves share no page. On one thread the first half comes first,
// whole, then the second, so:
//
//   - the first half goes in as always, on the build's thread, into the tree
//     itself: its pages and its splits are those of one thread, in order;
//   - the second half goes in at the same time on the helper's thread,
//     through copies of the path's pages taken before the batch (each
//     leading to the next copy): the pages right of the path it changes in
//     place, since nobody else reads them, and the pages it makes are its
//     own, numbered above every page of the file. The first half's entries
//     are all left of the path and would change nothing of where the second
//     half's entries go;
//   - an entry promoted from a page right of the path into a copy is noted,
//     in order. When both halves are in, each noted entry goes into the
//     path's real page at its level, as the insertion that promoted it would
//     have put it, splitting pages on the path as that insertion would have;
//   - then the pages the second half made, those of its noted entries'
//     splits included, take their places after the first half's, in the
//     order one thread would have made them (by insertion, and bottom up
//     within one), and every child reference to them is changed to match.
//
// The file is the same, byte for byte, as the one a build on one thread
// makes, page numbers included.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "ntx/TXQNTXBuffers.h"
#include "ntx/key_compare.h"
#include "ntx/ntx_format.h"
#include "ntx/ntx_tree.h"
#include "ntx/page_store.h"

namespace tolk {

class NtxSplitBuild : private NtxTree::Helper {
 public:
  // The pages the second half makes are numbered from here on; a tree whose
  // file reaches beyond kTempBase / 2 is not split.
  static constexpr std::uint32_t kTempBase = 0xC0000000u;

  struct Entry {
    const std::uint8_t* key;
    std::uint32_t recno;
  };

  // Over the build's store and the order's header; the tree's own objects.
  NtxSplitBuild(const PageStore& store, const ntx::Geometry& geometry, const KeyOrder& order,
                const std::string& fileName, coding::MutableBytes header);
  ~NtxSplitBuild() override;

  // On the build's thread, the tree idle and its queue empty: where the
  // batch (ascending) splits, near `share` of its entries, and the copies
  // of the path taken. The second half starts there; batch.size() when the
  // batch does not split.
  std::size_t Prepare(NtxTree& tree, std::uint64_t fileSize, std::span<const Entry> batch,
                      double share = 0.5);
  // On any thread, while the first half goes in: the second half.
  void InsertSecondHalf(std::span<const Entry> entries);
  // On the build's thread, both halves in: the noted entries into the
  // path, then the second half's pages into the file.
  // `cache` and `fileSize` are the build's.
  void Commit(NtxTree& tree, TXQNTXBuffers& cache, std::uint64_t fileSize);

 private:
  std::uint32_t NewPage(std::uint32_t from, int level, TXQNTXBuffers::Page& out) override;
  void Promoted(const NtxTree& tree, std::uint32_t page, int level) override;
  bool IsCopy(std::uint32_t offset) const {
    const std::size_t k = offset >= kTempBase ? (offset - kTempBase) / ntx::kBlockSize : ~0u;
    return k < copy_.size() && copy_[k];
  }

  struct Noted {
    std::vector<std::uint8_t> key;
    std::uint32_t recno, child, right;
    int level;
    std::uint64_t insertion;
  };

  const PageStore& store_;
  const ntx::Geometry& g_;
  const KeyOrder& order_;
  const std::string& fileName_;
  coding::MutableBytes header_;
  PageStore own_;  // the build's pages, lent, and the second half's own
  TXQNTXBuffers cache_{own_};
  std::uint64_t fileSize_ = kTempBase;
  std::array<std::uint8_t, ntx::kBlockSize> copyHeader_{};
  std::unique_ptr<NtxTree> half_;    // the second half, through the copies
  std::unique_ptr<NtxTree> replay_;  // the noted entries, into the tree itself
  bool replaying_ = false;
  std::uint64_t replayInsertion_ = 0;
  // Per page of its own: whether it is a copy of the path (or made by a
  // copy's split: the real path splits in Commit), and when one thread
  // would have made it.
  std::vector<bool> copy_;
  std::vector<std::uint64_t> stamp_;
  std::vector<Noted> noted_;
  std::vector<std::uint32_t> touched_;  // pages of the tree that took a promoted entry
  std::vector<std::uint32_t> paths_;
  std::vector<std::size_t> positions_;
};

// The hand-over of second halves to a thread that lends itself to a build
// running on another (TXQNTXIndex::HelpBuild).
class NtxBuildHelp {
 public:
  // The build's side. Begin and End bracket the batches.
  void Begin();
  void End();
  // Whether a helper waits now (a hint: Offer decides).
  bool Present() const { return present_.load(std::memory_order_relaxed); }
  // Hands `job` to the waiting helper; false when none waits.
  bool Offer(std::function<void()> job);
  // Whether the job handed over has ended.
  bool Done() const { return !busy_.load(std::memory_order_acquire); }
  // Waits for the job handed over; raises what it raised, unless `quiet`.
  void Wait(bool quiet = false);

  // The helper's side: takes jobs for up to `slice`. False between End and
  // the next Begin: the build has no batch left.
  bool Help(std::chrono::milliseconds slice);

 private:
  // The job is handed over under the lock; its end is told by busy_ alone.
  std::mutex m_;
  std::condition_variable wake_;
  std::atomic<bool> present_{false};  // a helper is in Help
  std::atomic<bool> posted_{false};   // job_ waits for it
  std::atomic<bool> busy_{false};     // a job handed over has not ended
  std::atomic<bool> over_{false};
  std::function<void()> job_;
  std::exception_ptr error_;
};

}  // namespace tolk
