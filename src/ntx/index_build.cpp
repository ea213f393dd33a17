// The build of a TXQNTXIndex: the keys of every record through the
// pre-sorter into a tree held in an image of the file, then the file written
// out (here or by a thread of its own) under a name of its own and moved over
// the index's name once whole. Opening, closing and seeking are in
// TXQNTXIndex.cpp.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

#include "ntx/TIndexes.h"
#include "ntx/TXQDBFNTX.h"
#include "ntx/TXQNTXBag.h"
#include "ntx/TXQNTXIndex.h"
#include "ntx/ntx_errors.h"
#include "ntx/ntx_header.h"
#include "ntx/ntx_tree.h"
#include "ntx/pre_sorter.h"
#include "platform/system.h"

namespace tolk {

using namespace ntx;

namespace {

// Fewer entries are not worth handing over.
constexpr std::size_t kMinSharedBatch = 64;

}  // namespace

// The table's build marks and record view, for the length of a build: field
// reads look at a block buffer of the table's BufferSize bytes, first all
// blanks (the key size comes from that record), then each record read.
class TXQNTXIndex::BuildScope {
 public:
  BuildScope(TXQDBFNTX& table, bool& indexBuilding)
      : table_(table),
        indexBuilding_(indexBuilding),
        block(static_cast<std::size_t>(std::max(table.BufferSize, 1)), ' ') {
    table_.building_ = true;
    indexBuilding_ = true;
    table_.SetRecordView(block.data());
  }
  ~BuildScope() {
    table_.RestoreRecordView();
    table_.building_ = false;
    indexBuilding_ = false;
  }

 private:
  TXQDBFNTX& table_;
  bool& indexBuilding_;

 public:
  std::vector<std::uint8_t> block;
};

void TXQNTXIndex::CreateIndex(bool activate, std::size_t sorterBlock) {
  TXQDBFNTX& table = Table();
  if (!table.Active()) RaiseCreateOnClosedTable();
  // A rebuild starts from nothing; the index is active again only when asked.
  Close();
  if (Active()) {
    if (Owner().ActiveObject() == this) SetActive(false);
  }
  {
    BuildScope scope(table, building_);
    ParseExpressions();
    const std::size_t keySize = keyParser_.EvaluateKey().size();
    if (keySize == 0) RaiseEmptyKey(Name);
    if (keySize > kMaxKeySize) RaiseKeyTooLong(Name, keySize);
    Prepare(keySize, keyParser_.Field().decimals);
    try {
      LoadKeys(scope.block, sorterBlock);
    } catch (...) {
      // Pages lost under the build explain whatever the tree then met. A
      // build that failed is no index: its file goes with it.
      FailWrite(store_.LostPages() ? EIO : 0);
    }
    FinishBuild();
  }
  if (!table.Exclusive()) {
    // Another program may use the file from now on: take part in its
    // protocol, as a writer would.
    const bool mine = !lock_.Held();
    if (lock_.Lock(file_, false, table.LockProtocol, table.WaitBusyRes)) {
      try {
        EnterWritePhase();
      } catch (...) {
        if (mine) lock_.Unlock(file_);
        throw;
      }
      if (mine) lock_.Unlock(file_);
    }
  }
  const HeaderFields fields = ReadHeader(HeaderBytes());
  keyExpr_ = fields.keyExpr;
  forExpr_ = fields.forExpr;
  if (activate) SetActive(true);
}

void TXQNTXIndex::Prepare(std::size_t keySize, int keyDecimals) {
  TXQDBFNTX& table = Table();
  const std::string bagName = BagNameOf(ntxFileName_);
  std::shared_ptr<TXQNTXBag> bag = FindOrAddBag(bagName);
  bag->FileName = ntxFileName_;
  std::shared_ptr<TXQNTXOrder> order = bag->Order();
  order->Header.fill(0);
  order->Name = bagName;

  // The build writes a file of its own beside the index's name and moves it
  // there, in one step, only once it is whole (Publish): a link at that
  // name is replaced, never written through; a reader never finds half an
  // index there; a build that fails leaves the earlier file as it was; and
  // builds of other processes over the same name each write their own file.
  // A folder in the index's place would refuse that move: it is refused now.
  std::error_code ec;
  if (std::filesystem::is_directory(std::filesystem::symlink_status(PathOf(ntxFileName_), ec)))
    RaiseCreateError(Name, ErrnoText(EISDIR));
  std::string reason;
  if (!file_.CreateBeside(ntxFileName_, buildFile_, &reason)) RaiseCreateError(Name, reason);
  bag_ = bag;
  orderObj_ = order;
  open_ = true;

  HeaderFields f;
  f.prefix.signature =
      (ClipperVer == TCLIPPER_VERSION::v520 || ClipperVer == TCLIPPER_VERSION::v530)
          ? kSignatureLater
          : kSignature;
  f.prefix.version = 1;
  f.prefix.root = kBlockSize;
  f.prefix.freePage = 0;
  f.geometry = GeometryFor(keySize);
  f.keyDecimals = static_cast<std::uint16_t>(keyDecimals);
  f.keyExpr = keyExpr_;
  f.forExpr = forExpr_;
  f.unique = unique_;
  f.desc = desc_;
  f.orderName = order_;
  WriteHeader(f, HeaderBytes());
  geometry_ = f.geometry;
  geometryProblem_.clear();
  heldVersion_ = 1;

  const std::int64_t records = table.RecordCount();
  cache_.Configure(LimitPages, records, geometry_.halfPage);
  keyOrder_.Configure(collation_, desc_);

  // The pages are built in an image of the file and written out, header
  // last, when the build finishes: the file holds no header that a reader
  // would trust until every page is on disk. An image in the file itself
  // holds pages there from the start, under a header of zeros until then.
  store_.Attach(&file_, ntxFileName_);
  store_.StartImage(static_cast<std::size_t>(cache_.PagesPerBuffer()) * kBlockSize,
                    WriteInBackground && table.Exclusive());
  cache_.UseImageInPlace();
  fileSize_ = kBlockSize;
  tree_ = std::make_unique<NtxTree>(cache_, HeaderBytes(), geometry_, keyOrder_, fileSize_,
                                    ntxFileName_);
  TXQNTXBuffers::Page root;
  tree_->NewPage(root);
  tree_->StartsEmpty();
}

void TXQNTXIndex::LoadKeys(std::vector<std::uint8_t>& block, std::size_t sorterBlock) {
  TXQDBFNTX& table = Table();
  const std::size_t recordLength = table.RecordLength();
  const std::size_t perBlock = recordLength ? block.size() / recordLength : 0;
  if (perBlock < 1) RaiseRecordTooLarge();
  const std::size_t keySize = geometry_.keySize;
  // Two pre-sorters: while a helper inserts the second half of one batch,
  // the build reads the next into the other.
  const std::size_t capacity = sorterBlock / (keySize + kEntryOverhead);
  NtxPreSorter sorterA(capacity, keySize, keyOrder_), sorterB(capacity, keySize, keyOrder_);
  NtxPreSorter* sorter = &sorterA;
  const bool unique = Unique();
  const bool filtered = !forParser_.Empty();
  // Batches shared with a helper (split_build.h): only where insertions
  // leave the previous leaf, in a tree in place, and in batches worth a
  // hand-over.
  std::unique_ptr<NtxSplitBuild> split;
  std::array<std::vector<NtxSplitBuild::Entry>, 2> batches;
  // The build's share of each batch, moved towards the point where both
  // threads end together: the build also reads the records.
  double share = 0.5;
  bool pending = false;  // the helper has the second half of the last batch
  // Both halves of the batch handed over are in: its pages take their places.
  auto settle = [&] {
    if (!pending) return;
    pending = false;
    share = std::clamp(share + (help_.Done() ? -0.01 : 0.01), 0.2, 0.8);
    help_.Wait();
    split->Commit(*tree_, cache_, fileSize_);
  };
  auto flush = [&](bool last) {
    const bool shareable = !unique && cache_.InPlace() && tree_->LooksAhead() &&
                           sorter->Size() >= kMinSharedBatch &&
                           (SplitBatchesInTurn || help_.Present());
    if (!shareable) {
      settle();
      sorter->Drain([&](const std::uint8_t* key, std::uint32_t recno) {
        if (!unique)
          tree_->InsertQueued(key, recno);
        else if (!tree_->Contains(key))
          tree_->Insert(key, recno);
      });
      tree_->FlushQueued();
      return;
    }
    std::vector<NtxSplitBuild::Entry>& batch = batches[sorter == &sorterA ? 0 : 1];
    batch.clear();
    sorter->Drain([&](const std::uint8_t* key, std::uint32_t recno) {
      batch.push_back({key, recno});
    });
    settle();  // the tree whole again before this batch goes in
    if (!split)
      split = std::make_unique<NtxSplitBuild>(store_, geometry_, keyOrder_, ntxFileName_,
                                              HeaderBytes());
    const std::span<const NtxSplitBuild::Entry> all(batch);
    std::size_t half = split->Prepare(*tree_, fileSize_, all, share);
    const auto second = all.subspan(half);
    pending = half < all.size() && !SplitBatchesInTurn &&
              help_.Offer([&split, second] { split->InsertSecondHalf(second); });
    if (!pending && !SplitBatchesInTurn) half = all.size();
    for (const auto& e : all.first(half)) tree_->InsertQueued(e.key, e.recno);
    tree_->FlushQueued();
    if (pending) {
      // This sorter's keys are the helper's until the batch settles.
      sorter = sorter == &sorterA ? &sorterB : &sorterA;
      if (last) settle();
    } else if (half < all.size()) {
      split->InsertSecondHalf(second);
      split->Commit(*tree_, cache_, fileSize_);
    }
  };
  help_.Begin();
  // However the build ends, the helper is done with its half (and with the
  // sorter, batch and split it reads) before they go.
  struct Over {
    NtxBuildHelp& help;
    const bool& pending;
    ~Over() {
      if (pending) help.Wait(true);
      help.End();
    }
  } over{help_, pending};

  std::vector<std::uint8_t> entryKey(keySize);
  std::uint64_t offset = table.HeaderLength();
  std::uint32_t recno = 0;
  for (;;) {
    const std::int64_t got = table.ReadTableAt(offset, block.data(), perBlock * recordLength);
    if (got < 0) RaiseTableReadError(table.DBFFileName, errno);
    const std::size_t n = static_cast<std::size_t>(got) / recordLength;
    if (n == 0) break;
    for (std::size_t i = 0; i < n; ++i) {
      table.SetRecordView(block.data() + i * recordLength);
      ++recno;  // deleted records are indexed like the others
      if ((recno & 8191) == 0 && OnBuildProgress) OnBuildProgress(recno);
      const std::string& key = keyParser_.EvaluateKey();
      if (filtered && !forParser_.EvaluateCondition()) continue;
      // Exactly key-size bytes; a shorter text (a NUL ends a C value) is
      // filled with NULs.
      const std::size_t k = std::min(key.size(), keySize);
      std::memcpy(entryKey.data(), key.data(), k);
      std::fill(entryKey.begin() + static_cast<std::ptrdiff_t>(k), entryKey.end(), std::uint8_t{0});
      if (sorter->Full()) flush(false);
      sorter->Add(entryKey.data(), recno);
    }
    offset += n * recordLength;
  }
  flush(true);
  if (OnBuildProgress) OnBuildProgress(recno);
}

void TXQNTXIndex::FinishBuild() {
  try {
    cache_.Flush();
    // No group stays mapped onto the image once it is written: the file may
    // take the image's place.
    cache_.Clear();
    // Pages of the file lost under the build (another program cut it short):
    // what reached the file is not the tree.
    if (store_.LostPages()) RaiseWriteError(ntxFileName_, EIO);
    // An image in the file needs no writer: the system writes its pages.
    const bool inBackground =
        WriteInBackground && Table().Exclusive() && !store_.ImageInFile() && StartWriter();
    if (!inBackground) {
      store_.WriteImageToFile(kBlockSize);
      if (!file_.WriteAt(0, orderObj_->Header.data(), kBlockSize))
        RaiseWriteError(ntxFileName_, errno);
      // A build whose caller waits for its file takes the index's name there.
      if (!WriteInBackground) Publish();
    }
  } catch (...) {
    FailWrite(0);
  }
  cache_.Clear();
  store_.KeepImageAsCopy();
  // Nothing changes the tree after its build: the seeks read it in place.
  cache_.UseImageInPlace();
}

void TXQNTXIndex::Publish() {
  if (buildFile_.empty()) return;
  if (!ReplaceFile(buildFile_, ntxFileName_)) RaiseWriteError(ntxFileName_, errno);
  buildFile_.clear();
}

void TXQNTXIndex::RemoveOwnFile() {
  if (!buildFile_.empty()) {
    RemoveFile(buildFile_);
    buildFile_.clear();
  } else if (file_.IsAt(ntxFileName_)) {
    // The name may lead to another process's index by now: only this one's
    // own file goes.
    RemoveFile(ntxFileName_);
  }
}

// The pages go first and the header last, as in a build that writes the file
// itself. The writer has its own copy of the header and of the chunk
// addresses; the image is only read, by the writer and by the seeks, until
// the writer has been joined.
bool TXQNTXIndex::StartWriter() {
  std::array<std::uint8_t, kBlockSize> header;
  std::copy_n(orderObj_->Header.data(), kBlockSize, header.data());
  writerErrno_ = 0;
  try {
    writer_ = std::thread([this, view = store_.View(), header] {
      int err = 0;
      try {
        err = PageStore::WriteView(view, file_, kBlockSize);
        if (err == 0 && !file_.WriteAt(0, header.data(), header.size()))
          err = errno != 0 ? errno : EIO;
      } catch (const std::bad_alloc&) {
        err = ENOMEM;  // no memory for a block of zeros: the file is not whole
      } catch (...) {
        err = EIO;
      }
      writerErrno_ = err;
    });
  } catch (const std::system_error&) {
    return false;  // no thread to be had: the build writes the file itself
  }
  return true;
}

int TXQNTXIndex::JoinWriter() {
  if (!writer_.joinable()) return 0;
  writer_.join();
  return std::exchange(writerErrno_, 0);
}

void TXQNTXIndex::WaitWritten() {
  if (open_ && store_.LostPages()) {
    // The tree read since the build lost pages to zeros: no seek since can
    // be trusted. A file that has the index's name is someone else's doing
    // now, and stays; the build's own file never became the index, and goes.
    keepFile_ = buildFile_.empty();
    Release();
    RaiseReadError(ntxFileName_, EIO);
  }
  if (const int err = JoinWriter()) FailWrite(err);
  try {
    Publish();
  } catch (...) {
    FailWrite(0);
  }
}

}  // namespace tolk
