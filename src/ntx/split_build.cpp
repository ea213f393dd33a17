// A batch of a build in two halves (split_build.h).
#include "ntx/split_build.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

#include "ntx/ntx_errors.h"
#include "ntx/ntx_header.h"
#include "ntx/ntx_page_reader.h"
#include "ntx/ntx_page_writer.h"

namespace tolk {

using namespace ntx;

namespace {

// When one thread would have made a page: by insertion, then bottom up (a
// split at level L before one at L + 1, a new root after the split below it).
std::uint64_t Stamp(std::uint64_t insertion, int level, bool newRoot) {
  return insertion << 7 | static_cast<std::uint64_t>(2 * level + (newRoot ? 1 : 0));
}

}  // namespace

NtxSplitBuild::NtxSplitBuild(const PageStore& store, const Geometry& geometry,
                             const KeyOrder& order, const std::string& fileName,
                             coding::MutableBytes header)
    : store_(store), g_(geometry), order_(order), fileName_(fileName), header_(header) {}

NtxSplitBuild::~NtxSplitBuild() = default;

std::size_t NtxSplitBuild::Prepare(NtxTree& tree, std::uint64_t fileSize,
                                   std::span<const Entry> batch, double share) {
  const int height = tree.Height();
  if (height < 2 || batch.size() < 2 || fileSize > kTempBase / 2) return batch.size();
  own_.Borrow(store_, fileSize);
  if (!cache_.InPlace()) cache_.UseImageInPlace();
  fileSize_ = kTempBase;
  copy_.clear();
  stamp_.clear();
  noted_.clear();
  touched_.clear();
  replaying_ = false;

  // The path of the entry that ends the first half down to the page above
  // the leaves, and S there: the entry at its place, or the page's last.
  const auto at0 = static_cast<std::size_t>(share * static_cast<double>(batch.size()));
  const Entry& middle = batch[std::min(at0, batch.size() - 1)];
  tree.FindPath(middle.key, middle.recno, 1, paths_, positions_);
  const std::uint32_t q = paths_.back();
  const std::uint8_t* qBytes = own_.Map(q, kBlockSize);
  const PageReader qr({qBytes, kBlockSize}, g_);
  const std::uint16_t qCount = qr.Count();
  if (qCount == 0) return batch.size();
  const std::size_t at = std::min<std::size_t>(positions_.back(), qCount - 1u);
  const std::uint16_t se = qr.Slot(at);
  if (!qr.SlotValid(se)) return batch.size();
  const std::uint8_t* sKey = qr.Key(se);
  const std::uint32_t sRecNo = qr.RecNo(se);
  const auto second = std::partition_point(batch.begin(), batch.end(), [&](const Entry& e) {
    return !tree.OrdersAfter(e.key, e.recno, sKey, sRecNo);
  });
  const auto split = static_cast<std::size_t>(second - batch.begin());
  if (split == 0 || split == batch.size()) return batch.size();

  // The copies of the path, each leading to the next.
  half_ = std::make_unique<NtxTree>(cache_, copyHeader_, g_, order_, fileSize_, fileName_);
  half_->SetHelper(this);
  std::vector<std::uint32_t> copies(paths_.size());
  for (std::size_t d = 0; d < paths_.size(); ++d) {
    TXQNTXBuffers::Page page;
    copies[d] = NewPage(0, 0, page);
    std::memcpy(page.Bytes().data(), own_.Map(paths_[d], kBlockSize), kBlockSize);
  }
  for (std::size_t d = 0; d + 1 < paths_.size(); ++d) {
    TXQNTXBuffers::Page page = cache_.Get(copies[d]);
    const PageReader r(page.Bytes(), g_);
    PageWriter(page.Bytes(), g_).SetChild(r.Slot(positions_[d]), copies[d + 1]);
  }
  std::copy_n(header_.data(), kBlockSize, copyHeader_.data());
  WriteRoot(copyHeader_, copies[0]);
  half_->Resume(height, tree.KeyWithNul(), true);
  return split;
}

void NtxSplitBuild::InsertSecondHalf(std::span<const Entry> entries) {
  for (const Entry& e : entries) half_->InsertQueued(e.key, e.recno);
  half_->FlushQueued();
}

std::uint32_t NtxSplitBuild::NewPage(std::uint32_t from, int level, TXQNTXBuffers::Page& out) {
  const std::size_t k = copy_.size();
  const auto offset = static_cast<std::uint32_t>(kTempBase + k * kBlockSize);
  if (offset < kTempBase) RaiseFileFull(fileName_);
  // Copies and their splits live only here; so do new roots above the copies.
  const bool copy = !replaying_ && (from == 0 || IsCopy(from));
  copy_.push_back(copy);
  stamp_.push_back(
      Stamp(replaying_ ? replayInsertion_ : (half_ ? half_->Insertions() : 0), level, from == 0));
  out = cache_.Get(offset);
  // A page appended to the file is zeros before it is formatted.
  std::fill(out.Bytes().begin(), out.Bytes().end(), std::uint8_t{0});
  PageWriter(out.Bytes(), g_).Format();
  out.MarkModified();
  fileSize_ = std::max<std::uint64_t>(fileSize_, std::uint64_t{offset} + kBlockSize);
  return offset;
}

void NtxSplitBuild::Promoted(const NtxTree& tree, std::uint32_t page, int level) {
  if (replaying_ || !IsCopy(page)) {
    touched_.push_back(page);
    return;
  }
  // Into a copy of the path: the real path takes it in Commit. An entry
  // that a copy's own split promoted has no counterpart there.
  if (IsCopy(tree.PendingChild())) return;
  const std::uint8_t* key = tree.PendingKey();
  noted_.push_back({std::vector<std::uint8_t>(key, key + g_.keySize), tree.PendingRecNo(),
                    tree.PendingChild(), tree.PendingRight(), level, tree.Insertions()});
}

void NtxSplitBuild::Commit(NtxTree& tree, TXQNTXBuffers& cache, std::uint64_t fileSize) {
  // The path as the first half left it: its pages, and the pages its
  // splits made since Prepare.
  own_.Borrow(store_, fileSize);
  const bool keyWithNul = tree.KeyWithNul() || half_->KeyWithNul();
  replay_ = std::make_unique<NtxTree>(cache_, header_, g_, order_, fileSize_, fileName_);
  replay_->SetHelper(this);
  replay_->Resume(tree.Height(), keyWithNul, false);
  replaying_ = true;
  for (const Noted& n : noted_) {
    replayInsertion_ = n.insertion;
    replay_->InsertPromoted(n.key.data(), n.recno, n.child, n.right, n.level);
  }
  replaying_ = false;

  // The second half's pages after the first half's, in the order one thread
  // would have made them.
  std::vector<std::uint32_t> order;
  for (std::uint32_t k = 0; k < copy_.size(); ++k)
    if (!copy_[k]) order.push_back(k);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return stamp_[a] < stamp_[b]; });
  std::vector<std::uint32_t> placed(copy_.size(), 0);
  for (const std::uint32_t k : order) {
    TXQNTXBuffers::Page page;
    placed[k] = tree.NewPage(page);
    std::memcpy(page.Bytes().data(),
                own_.Map(kTempBase + std::uint64_t{k} * kBlockSize, kBlockSize), kBlockSize);
    page.MarkModified();
  }
  auto place = [&](std::uint32_t offset) {
    const std::uint64_t k = (offset - std::uint64_t{kTempBase}) / kBlockSize;
    if (offset % kBlockSize != 0 || k >= placed.size() || placed[k] == 0)
      RaiseDamaged(fileName_, "page " + std::to_string(offset) +
                                  ", made beside the build, has no place in the file");
    return placed[k];
  };
  // Every child reference to them, in every entry of the page: those past
  // its count too, whose bytes reach the file as well.
  auto fix = [&](std::uint32_t offset) {
    TXQNTXBuffers::Page page = cache.Get(offset);
    const PageReader r(page.Bytes(), g_);
    PageWriter w(page.Bytes(), g_);
    for (std::size_t i = 0; i <= g_.maxItems; ++i) {
      const std::uint16_t e = r.Slot(i);
      if (!r.SlotValid(e)) continue;
      const std::uint32_t child = r.Child(e);
      if (child >= kTempBase) w.SetChild(e, place(child));
    }
    page.MarkModified();
  };
  for (const std::uint32_t k : order) fix(placed[k]);
  std::sort(touched_.begin(), touched_.end());
  touched_.erase(std::unique(touched_.begin(), touched_.end()), touched_.end());
  for (const std::uint32_t offset : touched_)
    if (offset < kTempBase) fix(offset);
  const std::uint32_t root = coding::Load32(header_, kHeadRoot);
  if (root >= kTempBase) WriteRoot(header_, place(root));

  tree.Resume(replay_->Height(), keyWithNul, tree.LooksAhead());
}

namespace {

// A short wait in a loop that polls memory another thread will change;
// now and then the processor goes to any other thread that wants it (the
// system's own, bringing the index's file into memory).
inline void Pause(unsigned spins) {
  if (spins % 16 == 15) {
    std::this_thread::yield();
    return;
  }
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  __builtin_ia32_pause();
#endif
}

}  // namespace

void NtxBuildHelp::Begin() { over_.store(false, std::memory_order_release); }

void NtxBuildHelp::End() {
  {
    std::lock_guard<std::mutex> lock(m_);
    over_.store(true, std::memory_order_release);
  }
  wake_.notify_all();
}

bool NtxBuildHelp::Offer(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(m_);
    if (!present_.load(std::memory_order_relaxed) || busy_.load(std::memory_order_relaxed))
      return false;
    job_ = std::move(job);
    error_ = nullptr;
    busy_.store(true, std::memory_order_relaxed);
    posted_.store(true, std::memory_order_release);
  }
  wake_.notify_one();
  return true;
}

void NtxBuildHelp::Wait(bool quiet) {
  // A half batch takes about as long on either thread, so the other one is
  // usually nearly done: poll a little. A longer wait means the helper lost
  // its processor to another thread; sleep, and leave this one to them.
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
  for (unsigned spins = 0; busy_.load(std::memory_order_acquire); ++spins) {
    if (spins % 64 == 63 && std::chrono::steady_clock::now() >= until) {
      std::unique_lock<std::mutex> lock(m_);
      wake_.wait(lock, [this] { return !busy_.load(std::memory_order_relaxed); });
      break;
    }
    Pause(spins);
  }
  std::exception_ptr error = std::exchange(error_, nullptr);
  if (error && !quiet) std::rethrow_exception(error);
}

bool NtxBuildHelp::Help(std::chrono::milliseconds slice) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + slice;
  {
    std::lock_guard<std::mutex> lock(m_);
    if (over_.load(std::memory_order_relaxed)) return false;
    present_.store(true, std::memory_order_relaxed);
  }
  auto lastJob = Clock::now();
  for (;;) {
    // Batches come every fraction of a millisecond: poll for the next one
    // for a while after each, and sleep only when they stop coming.
    bool posted = false;
    for (unsigned spins = 0;; ++spins) {
      if ((posted = posted_.load(std::memory_order_acquire))) break;
      if (over_.load(std::memory_order_acquire)) break;
      if (spins % 256 == 255) {
        const auto now = Clock::now();
        if (now >= until || now - lastJob > std::chrono::milliseconds(2)) break;
      }
      Pause(spins);
    }
    if (!posted) {
      std::unique_lock<std::mutex> lock(m_);
      wake_.wait_until(lock, until, [this] {
        return posted_.load(std::memory_order_relaxed) || over_.load(std::memory_order_relaxed);
      });
      if (!posted_.load(std::memory_order_relaxed)) {
        present_.store(false, std::memory_order_relaxed);
        return !over_.load(std::memory_order_relaxed);
      }
    }
    posted_.store(false, std::memory_order_relaxed);
    std::function<void()> job = std::move(job_);
    job_ = nullptr;
    std::exception_ptr error;
    try {
      job();
    } catch (...) {
      error = std::current_exception();
    }
    error_ = error;
    lastJob = Clock::now();
    {
      std::lock_guard<std::mutex> lock(m_);
      busy_.store(false, std::memory_order_release);
    }
    wake_.notify_all();
  }
}

}  // namespace tolk
