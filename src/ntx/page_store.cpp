// The page store: the index file, or an image of it in chunks (anonymous
// memory, or stretches of the file itself mapped), and the thread that makes
// chunks ahead of a large build.
#include "ntx/page_store.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "ntx/ntx_errors.h"
#include "platform/file.h"
#include "platform/mapping.h"

namespace tolk {

namespace {

constexpr std::size_t kHugePage = mapping::kLargePage;

}  // namespace

void PageStore::Unmap::operator()(std::uint8_t* p) const {
  if (lent) return;
  if (inFile)
    mapping::UnmapFileStretch(p, length);
  else
    mapping::UnmapZeroed(p, length);
}

PageStore::ChunkPtr PageStore::NewChunk(std::size_t chunkBytes) {
  const std::size_t length = (chunkBytes + kHugePage - 1) / kHugePage * kHugePage;
  return ChunkPtr(mapping::MapZeroed(length), Unmap{length});
}

// A stretch of the file, reserved first: a page of a shared mapping that
// the disk has no room for would fault when it is written back, far from
// any call that could report it.
PageStore::ChunkPtr PageStore::NewFileChunk(std::size_t i) const {
  const std::uint64_t offset = std::uint64_t{i} * chunkBytes_;
  if (!file_->Reserve(offset, chunkBytes_)) ntx::RaiseWriteError(fileName_, errno);
  std::uint8_t* p = mapping::MapFileStretch(*file_, offset, chunkBytes_, &faults_);
  if (!p) throw std::bad_alloc();
  return ChunkPtr(p, Unmap{chunkBytes_, true});
}

// Keeps up to kAhead chunks made and touched, so that their pages are
// already there, cleared, when the build takes them. Chunks are made in
// order of their number from `first` on: a chunk of the file has its place
// there. Take never waits: with the asked chunk not ready the build makes
// its own. A chunk that cannot be made stops the maker; the build then meets
// the failure itself.
class PageStore::ChunkMaker {
 public:
  static constexpr std::size_t kAhead = 1;

  ChunkMaker(const PageStore& store, std::size_t first)
      : store_(store), next_(first), thread_([this] { Run(); }) {}
  ~ChunkMaker() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  ChunkPtr Take(std::size_t i) {
    ChunkPtr c;
    {
      std::lock_guard<std::mutex> lock(m_);
      // A chunk made for a number the build has passed is of no use.
      while (!ready_.empty() && ready_.front().first < i) ready_.pop_front();
      if (ready_.empty() || ready_.front().first != i) return c;
      c = std::move(ready_.front().second);
      ready_.pop_front();
    }
    wake_.notify_one();
    return c;
  }

 private:
  void Run() {
    try {
      Loop();
    } catch (...) {
      // Out of memory or out of disk, say: the maker stops, and the build
      // meets the shortage itself when it makes its next chunk.
    }
  }

  void Loop() {
    for (;;) {
      std::size_t i = 0;
      {
        std::unique_lock<std::mutex> lock(m_);
        wake_.wait(lock, [this] { return stop_ || ready_.size() < kAhead; });
        if (stop_) return;
        i = next_++;
      }
      ChunkPtr c = store_.inFile_ ? store_.NewFileChunk(i) : NewChunk(store_.chunkBytes_);
      // Every page in, writable: cleared memory, or the file's page in the
      // page cache.
      mapping::Populate(c.get(), store_.chunkBytes_);
      std::lock_guard<std::mutex> lock(m_);
      if (stop_) return;
      ready_.emplace_back(i, std::move(c));
    }
  }

  const PageStore& store_;  // its chunk size, mode and file stay put while the maker runs
  std::mutex m_;
  std::condition_variable wake_;
  std::deque<std::pair<std::size_t, ChunkPtr>> ready_;
  std::size_t next_;
  bool stop_ = false;
  std::thread thread_;  // last: it starts once the rest is in place
};

PageStore::PageStore() = default;
PageStore::~PageStore() { StopMaker(); }

void PageStore::StopMaker() {
  maker_.reset();
  makeAhead_ = false;
}

void PageStore::Attach(const SystemFile* file, std::string fileName) {
  file_ = file;
  fileName_ = std::move(fileName);
  DropImage();
}

void PageStore::Detach() {
  DropImage();
  file_ = nullptr;
}

void PageStore::StartImage(std::size_t groupBytes, bool inFile) {
  DropImage();
  faults_.store(0, std::memory_order_relaxed);
  groupBytes = std::max<std::size_t>(groupBytes, 1);
  chunkBytes_ = groupBytes * std::max<std::size_t>(1, kHugePage / groupBytes);
  chunkShift_ = std::has_single_bit(chunkBytes_) ? std::countr_zero(chunkBytes_) : -1;
  mode_ = Mode::ImageOnly;
  if (inFile && file_ && file_->IsOpen()) {
    // A mapping starts on a page boundary of the system; the first chunk's
    // reservation tells whether the file's system can reserve at all. When
    // it cannot, a later write would meet the same trouble and report it.
    const std::int64_t size = file_->Size();
    inFile_ =
        size >= 0 && mapping::CanMapFile(*file_, chunkBytes_) && file_->Reserve(0, chunkBytes_);
    if (inFile_) {
      // The first chunk's mapping tells whether the file can be mapped (some
      // file systems refuse shared mappings). If not, the file gets back the
      // size it had, and the image stays in memory.
      try {
        chunks_.push_back(NewFileChunk(0));
      } catch (const std::exception&) {
        chunks_.clear();
        inFile_ = false;
        if (!file_->Truncate(static_cast<std::uint64_t>(size)))
          ntx::RaiseWriteError(fileName_, errno);
      }
    }
  }
  makeAhead_ = true;
}

void PageStore::KeepImageAsCopy() {
  StopMaker();
  if (mode_ == Mode::ImageOnly) mode_ = Mode::ImageCopy;
}

void PageStore::Borrow(const PageStore& other, std::uint64_t end) {
  if (mode_ != Mode::ImageOnly || chunkBytes_ != other.chunkBytes_) {
    DropImage();
    chunkBytes_ = other.chunkBytes_;
    chunkShift_ = other.chunkShift_;
    mode_ = Mode::ImageOnly;
  }
  makeAhead_ = false;
  const std::size_t n = static_cast<std::size_t>((end + chunkBytes_ - 1) / chunkBytes_);
  if (chunks_.size() < n) chunks_.resize(n);
  for (std::size_t i = 0; i < n && i < other.chunks_.size(); ++i)
    if (!chunks_[i] || chunks_[i].get_deleter().lent)
      chunks_[i] = ChunkPtr(other.chunks_[i].get(), Unmap{0, false, true});
  imageSize_ = std::max(imageSize_, end);
}

void PageStore::DropImage() {
  StopMaker();
  chunks_.clear();
  chunks_.shrink_to_fit();
  imageSize_ = 0;
  mappedEnd_ = ~std::uint64_t{0};
  mode_ = Mode::FileOnly;
  inFile_ = false;
}

std::uint8_t* PageStore::Chunk(std::size_t i) {
  if (i >= chunks_.size()) chunks_.resize(i + 1);
  if (!chunks_[i] && makeAhead_ && i >= 1) {
    // A build that needs a second chunk is a large one: from here on the
    // chunks are made ahead. A small build never starts the thread.
    if (!maker_) {
      try {
        maker_ = std::make_unique<ChunkMaker>(*this, i + 1);
      } catch (const std::system_error&) {
        makeAhead_ = false;  // no second thread: the build makes every chunk itself
      }
    }
    if (maker_) chunks_[i] = maker_->Take(i);
  }
  if (!chunks_[i]) chunks_[i] = inFile_ ? NewFileChunk(i) : NewChunk(chunkBytes_);
  return chunks_[i].get();
}

std::uint8_t* PageStore::MapMaking(std::uint64_t offset, std::size_t n) {
  if (mode_ == Mode::FileOnly) return nullptr;
  const std::size_t within = static_cast<std::size_t>(offset % chunkBytes_);
  assert(within + n <= chunkBytes_);
  if (within + n > chunkBytes_) return nullptr;
  const std::size_t c = static_cast<std::size_t>(offset / chunkBytes_);
  if (inFile_ && mode_ == Mode::ImageCopy) {
    // After its build the file has its true size, and a mapped page wholly
    // past its end would fault: only what lies inside the file is mapped,
    // and no chunk is added (a reservation would lengthen the file).
    if (offset + n > std::min(imageSize_, mappedEnd_) || c >= chunks_.size() || !chunks_[c])
      return nullptr;
  }
  return Chunk(c) + within;
}

bool PageStore::MapsWhole(std::uint64_t end) const {
  if (mode_ == Mode::FileOnly || end > imageSize_ || end > mappedEnd_) return false;
  const std::uint64_t chunks = (end + chunkBytes_ - 1) / chunkBytes_;
  if (chunks > chunks_.size()) return false;
  for (std::uint64_t c = 0; c < chunks; ++c)
    if (!chunks_[static_cast<std::size_t>(c)]) return false;
  return true;
}

void PageStore::Read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const {
  std::size_t got = 0;
  if (mode_ == Mode::ImageOnly || (mode_ == Mode::ImageCopy && !inFile_)) {
    while (got < n && offset + got < imageSize_) {
      const std::uint64_t at = offset + got;
      const std::size_t within = static_cast<std::size_t>(at % chunkBytes_);
      const std::size_t take = static_cast<std::size_t>(
          std::min<std::uint64_t>({n - got, chunkBytes_ - within, imageSize_ - at}));
      const std::size_t c = static_cast<std::size_t>(at / chunkBytes_);
      if (c < chunks_.size() && chunks_[c])
        std::memcpy(dst + got, chunks_[c].get() + within, take);
      else
        std::memset(dst + got, 0, take);
      got += take;
    }
  } else {
    std::int64_t r = file_->ReadAt(offset, dst, n);
    if (r < 0) ntx::RaiseReadError(fileName_, errno);
    got = static_cast<std::size_t>(r);
  }
  if (got < n) std::memset(dst + got, 0, n - got);
}

void PageStore::Write(std::uint64_t offset, const std::uint8_t* src, std::size_t n) {
  if (mode_ != Mode::ImageOnly && !file_->WriteAt(offset, src, n))
    ntx::RaiseWriteError(fileName_, errno);
  if (mode_ == Mode::FileOnly) return;
  if (inFile_ && mode_ == Mode::ImageCopy) {
    // The file took the bytes, and its mapped pages are the same pages.
    imageSize_ = std::max<std::uint64_t>(imageSize_, offset + n);
    return;
  }
  for (std::size_t done = 0; done < n;) {
    const std::uint64_t at = offset + done;
    const std::size_t within = static_cast<std::size_t>(at % chunkBytes_);
    const std::size_t take = std::min(n - done, chunkBytes_ - within);
    std::uint8_t* dst = Chunk(static_cast<std::size_t>(at / chunkBytes_)) + within;
    if (dst != src + done) std::memcpy(dst, src + done, take);
    done += take;
  }
  imageSize_ = std::max<std::uint64_t>(imageSize_, offset + n);
}

void PageStore::WriteImageToFile(std::uint64_t from) {
  if (inFile_) {
    // No chunk may be reserved past the end once the file is cut there.
    StopMaker();
    if (mapping::CanCutMappedFile()) {
      // The chunks reserved whole stretches: the file ends where the image does.
      if (!file_->Truncate(imageSize_)) ntx::RaiseWriteError(fileName_, errno);
      return;
    }
    // A system that will not cut a mapped file gets its mappings back
    // first, and the file, cut, is mapped again up to its end for the seeks
    // that follow (no further than that: a mapping may not lengthen it).
    const std::size_t count = chunks_.size();
    chunks_.clear();
    if (!file_->Truncate(imageSize_)) ntx::RaiseWriteError(fileName_, errno);
    mappedEnd_ = 0;
    for (std::size_t i = 0; i < count && mappedEnd_ < imageSize_; ++i) {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes_, imageSize_ - mappedEnd_));
      std::uint8_t* p = mapping::MapFileStretch(*file_, mappedEnd_, n, &faults_);
      if (!p) break;  // what is not mapped is read from the file
      chunks_.push_back(ChunkPtr(p, Unmap{n, true}));
      mappedEnd_ += n;
    }
    return;
  }
  if (const int err = WriteView(View(), *file_, from)) ntx::RaiseWriteError(fileName_, err);
}

PageStore::ImageView PageStore::View() const {
  ImageView v;
  v.chunks.reserve(chunks_.size());
  for (const ChunkPtr& c : chunks_) v.chunks.push_back(c.get());
  v.chunkBytes = chunkBytes_;
  v.size = imageSize_;
  return v;
}

int PageStore::WriteView(const ImageView& view, const SystemFile& file, std::uint64_t from) {
  std::vector<std::uint8_t> zeros;
  for (std::uint64_t pos = from; pos < view.size;) {
    const std::size_t within = static_cast<std::size_t>(pos % view.chunkBytes);
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(view.chunkBytes - within, view.size - pos));
    const std::size_t c = static_cast<std::size_t>(pos / view.chunkBytes);
    const std::uint8_t* src = c < view.chunks.size() ? view.chunks[c] : nullptr;
    if (src) {
      src += within;
    } else {
      zeros.assign(n, 0);
      src = zeros.data();
    }
    if (!file.WriteAt(pos, src, n)) return errno != 0 ? errno : EIO;
    pos += n;
  }
  return 0;
}

std::vector<std::uint8_t> PageStore::Snapshot() const {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(imageSize_));
  if (mode_ != Mode::FileOnly) Read(0, out.data(), out.size());
  return out;
}

}  // namespace tolk
