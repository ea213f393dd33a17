#include "ntx/TXQNTXIndex.h"

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
#include "ntx/ntx_errors.h"
#include "ntx/ntx_header.h"
#include "ntx/ntx_tree.h"
#include "ntx/pre_sorter.h"

namespace tolk {

using namespace ntx;

namespace {

bool HasControlCharacter(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
}

// The file name without folder and without everything from its first ".".
std::string IndexNameOf(std::string_view path) {
  std::size_t slash = path.find_last_of('/');
  std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return std::string(file.substr(0, file.find('.')));
}

ShareMode ShareOf(int accessMode) {
  if (accessMode & ShareExclusive) return ShareMode::Exclusive;
  if (accessMode & ShareDenyWrite) return ShareMode::DenyWrite;
  return ShareMode::DenyNone;
}

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

TXQNTXIndex::TXQNTXIndex(TIndexes& owner, std::string name)
    : TIndex(owner, std::move(name)),
      keyParser_(owner.Table()),
      forParser_(owner.Table()),
      accept_([this](std::uint32_t recno) { return Table().AcceptRecord(recno); }) {}

TXQNTXIndex::~TXQNTXIndex() {
  try {
    Close();
  } catch (...) {
    Release();
  }
}

// --- Settings -------------------------------------------------------------------------

void TXQNTXIndex::SetNTXFileName(std::string path) {
  ntxFileName_ = std::move(path);
  Name = IndexNameOf(ntxFileName_);
}

void TXQNTXIndex::SetKeyExpresion(std::string_view text) {
  keyExpr_ = HasControlCharacter(text) ? std::string() : std::string(text);
  if (Table().Active()) keyParser_.Parse(keyExpr_);
}

void TXQNTXIndex::SetForExpresion(std::string_view text) {
  forExpr_ = HasControlCharacter(text) ? std::string() : std::string(text);
  if (Table().Active()) forParser_.Parse(forExpr_);
}

std::span<std::uint8_t> TXQNTXIndex::HeaderBytes() const {
  return {orderObj_->Header.data(), kBlockSize};
}

bool TXQNTXIndex::Unique() const {
  return open_ ? coding::Load8(HeaderBytes(), kHeadUnique) != 0 : unique_;
}
void TXQNTXIndex::SetUnique(bool on) {
  if (open_)
    WriteUniqueFlag(HeaderBytes(), on);
  else
    unique_ = on;
}

bool TXQNTXIndex::Desc() const {
  return open_ ? coding::Load8(HeaderBytes(), kHeadDesc) != 0 : desc_;
}
void TXQNTXIndex::SetDesc(bool on) {
  if (open_)
    WriteDescFlag(HeaderBytes(), on);
  else
    desc_ = on;
}

std::string TXQNTXIndex::Order() const { return open_ ? ReadOrderName(HeaderBytes()) : order_; }
void TXQNTXIndex::SetOrder(std::string_view name) {
  if (open_)
    WriteOrderName(HeaderBytes(), name);
  else
    order_ = std::string(name);
}

void TXQNTXIndex::SetCreateNow(bool on) {
  if (on) CreateIndex(true, 65536);
}

void TXQNTXIndex::ParseExpressions() {
  keyParser_.Parse(keyExpr_);
  forParser_.Parse(forExpr_);
}

// --- Building -------------------------------------------------------------------------

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
      // Pages lost under the build explain whatever the tree then met. The
      // file the build wrote goes with the index.
      const bool lost = store_.LostPages();
      if (lost || store_.ReservationFailed()) {
        Release();
        if (lost) RaiseWriteError(ntxFileName_, EIO);
        throw;
      }
      FinishBuild(true);
      throw;
    }
    FinishBuild(false);
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
  std::shared_ptr<TXQNTXBag> bag = table.DBFIndexDefs.Find(bagName);
  if (!bag) {
    table.DBFIndexDefs.Add(bagName, ntxFileName_, table.StorageType);
    bag = table.DBFIndexDefs.Find(bagName);
  }
  bag->FileName = ntxFileName_;
  if (bag->OrderCount() == 0) bag->AddOrder();
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
  if (std::filesystem::is_directory(std::filesystem::symlink_status(ntxFileName_, ec)))
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
  NtxPreSorter sorter(sorterBlock / (keySize + kEntryOverhead), keySize, keyOrder_);
  const bool unique = Unique();
  const bool filtered = !forParser_.Empty();
  auto flush = [&] {
    sorter.Drain([&](const std::uint8_t* key, std::uint32_t recno) {
      if (unique && tree_->Contains(key)) return;
      tree_->Insert(key, recno);
    });
  };

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
      if (sorter.Full()) flush();
      sorter.Add(entryKey.data(), recno);
    }
    offset += n * recordLength;
  }
  flush();
  if (OnBuildProgress) OnBuildProgress(recno);
}

void TXQNTXIndex::FinishBuild(bool failed) {
  try {
    cache_.Flush();
    // Pages of the file lost under the build (another program cut it short):
    // what reached the file is not the tree.
    if (store_.LostPages()) RaiseWriteError(ntxFileName_, EIO);
    // An image in the file needs no writer: the system writes its pages.
    if (!failed && WriteInBackground && Table().Exclusive() && !store_.ImageInFile() &&
        StartWriter()) {
      cache_.Clear();
      store_.KeepImageAsCopy();
      return;
    }
    store_.WriteImageToFile(kBlockSize);
    if (!file_.WriteAt(0, orderObj_->Header.data(), kBlockSize))
      RaiseWriteError(ntxFileName_, errno);
    if (!failed) Publish();
  } catch (...) {
    // A file that could not be written whole goes with the index.
    Release();
    if (!failed) throw;
    return;
  }
  cache_.Clear();
  store_.KeepImageAsCopy();
  // A build that failed otherwise is not an index: its file goes too.
  if (failed) Release();
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
    // be trusted. The file is someone else's doing now; it stays.
    keepFile_ = true;
    Release();
    RaiseReadError(ntxFileName_, EIO);
  }
  const int err = JoinWriter();
  if (err == 0) {
    try {
      Publish();
    } catch (...) {
      Release();
      throw;
    }
    return;
  }
  Release();
  RaiseWriteError(ntxFileName_, err);
}

// --- Opening and closing ------------------------------------------------------------

void TXQNTXIndex::OpenIndex() {
  if (!open_ && !ntxFileName_.empty()) Open();
}

void TXQNTXIndex::CloseIndex() { Close(); }

void TXQNTXIndex::Open() {
  if (open_) return;
  TXQDBFNTX& table = Table();
  if (!file_.OpenRead(ntxFileName_, ShareOf(table.AccessMode))) RaiseBagOpenError(ntxFileName_);
  std::array<std::uint8_t, kBlockSize> header{};
  const std::int64_t got = file_.ReadAt(0, header.data(), header.size());
  if (got < 0) {
    const int err = errno;
    file_.Close();
    RaiseReadError(ntxFileName_, err);
  }
  const HeaderFields fields = ReadHeader(header);
  if (!IsNtxSignature(fields.prefix.signature)) {
    file_.Close();
    RaiseNotNtxFile(ntxFileName_);
  }
  try {
    keyExpr_ = fields.keyExpr;
    forExpr_ = fields.forExpr;
    // The table's fields exist from the step of its open that attaches its
    // indexes, before the table counts as active: an index attached to the
    // closed table is opened there and must read its key then, or every
    // seek would find nothing.
    if (table.Active() || table.FieldCount() > 0) ParseExpressions();
  } catch (...) {
    file_.Close();
    throw;
  }
  const std::string bagName = BagNameOf(ntxFileName_);
  std::shared_ptr<TXQNTXBag> bag = table.DBFIndexDefs.Find(bagName);
  if (!bag) {
    table.DBFIndexDefs.Add(bagName, ntxFileName_, table.StorageType);
    bag = table.DBFIndexDefs.Find(bagName);
  }
  if (bag->OrderCount() == 0) bag->AddOrder();
  bag_ = bag;
  orderObj_ = bag->Order();
  orderObj_->Header = header;
  orderObj_->Name = fields.orderName.empty() ? bagName : fields.orderName;

  geometry_ = fields.geometry;
  geometryProblem_ = GeometryProblem(geometry_);
  const std::int64_t size = file_.Size();
  fileSize_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  heldVersion_ = fields.prefix.version;
  store_.Attach(&file_, ntxFileName_);
  cache_.Configure(LimitPages, table.RecordCount(),
                   geometryProblem_.empty() ? geometry_.halfPage : 1);
  keyOrder_.Configure(collation_, fields.desc);
  tree_ = std::make_unique<NtxTree>(cache_, HeaderBytes(), geometry_, keyOrder_, fileSize_,
                                    ntxFileName_);
  open_ = true;
}

void TXQNTXIndex::Close() {
  if (!open_) return;
  WaitWritten();
  try {
    if (writePhase_)
      ExitWritePhase();
    else
      cache_.Flush();
  } catch (...) {
    Release();
    throw;
  }
  Release();
}

// Drops the open state without writing anything.
void TXQNTXIndex::Release() {
  // A background write uses the file and the image: it ends first, and a
  // file that it could not write whole goes.
  // A file still being built is no index: it goes, whatever reached it.
  const bool unwritten = JoinWriter() != 0;
  const bool wasOpen = open_;
  cache_.Clear();
  tree_.reset();
  store_.Detach();
  if (!std::exchange(keepFile_, false) && (!buildFile_.empty() || (wasOpen && (Temp || unwritten))))
    RemoveOwnFile();
  buildFile_.clear();
  if (file_.IsOpen()) lock_.Unlock(file_);
  file_.Close();
  open_ = writePhase_ = false;
  geometry_ = {};
  bag_.reset();
  orderObj_.reset();
}

// --- Reading ----------------------------------------------------------------------------

// The first 12 header bytes again: another writer shows itself by a new
// update counter, and then nothing cached may be trusted.
void TXQNTXIndex::RefreshHeader() {
  std::uint8_t prefix[kHeadRefreshSize];
  const std::int64_t got = file_.ReadAt(0, prefix, sizeof prefix);
  if (got < 0) RaiseReadError(ntxFileName_, errno);
  if (got < static_cast<std::int64_t>(sizeof prefix))
    RaiseDamaged(ntxFileName_, "the header is cut short");
  const HeaderPrefix p = ReadHeaderPrefix(coding::Bytes(prefix, sizeof prefix));
  if (p.version != heldVersion_) {
    cache_.Clear();
    store_.DropImage();
    const std::int64_t size = file_.Size();
    fileSize_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    heldVersion_ = p.version;
  }
  std::copy_n(prefix, sizeof prefix, orderObj_->Header.begin());
}

void TXQNTXIndex::EnterWritePhase() {
  const std::int64_t size = file_.Size();
  fileSize_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  RefreshHeader();
  writePhase_ = true;
}

void TXQNTXIndex::ExitWritePhase() {
  cache_.Flush();
  HeaderPrefix p = ReadHeaderPrefix(HeaderBytes());
  p.version = p.version >= kVersionWrap ? 0 : static_cast<std::uint16_t>(p.version + 1);
  WriteHeaderPrefix(p, HeaderBytes());
  if (!file_.WriteAt(0, orderObj_->Header.data(), kHeadRefreshSize))
    RaiseWriteError(ntxFileName_, errno);
  heldVersion_ = p.version;
  writePhase_ = false;
}

std::uint32_t TXQNTXIndex::Seek(std::string_view key, bool partial, bool soft,
                                std::uint32_t recno) {
  TXQDBFNTX& table = Table();
  if (!table.Active() || !open_) return 0;
  if (!geometryProblem_.empty()) RaiseDamaged(ntxFileName_, geometryProblem_);
  const bool mine = !lock_.Held();
  if (!lock_.Lock(file_, table.Exclusive(), table.LockProtocol, table.WaitBusyRes)) return 0;
  struct Unlock {
    TXQNTXIndex& self;
    bool mine;
    ~Unlock() {
      if (mine) self.lock_.Unlock(self.file_);
    }
  } unlock{*this, mine};
  // Under an exclusive open no other program writes the index file, so the
  // header held is the file's; otherwise another writer may have changed it.
  if (!building_ && !writePhase_ && !table.Exclusive()) RefreshHeader();
  const std::size_t len = std::min<std::size_t>(key.size(), geometry_.keySize);
  if (!partial && !soft && len < geometry_.keySize) return 0;
  return tree_->Search(reinterpret_cast<const std::uint8_t*>(key.data()), len, soft, recno,
                       accept_);
}

std::uint32_t TXQNTXIndex::FindByValues(std::span<const Variant> values, bool partial) {
  if (!open_) return 0;
  const int fields = keyParser_.KeyFieldCount();
  if (fields == 0) return 0;
  partial = partial || values.size() < static_cast<std::size_t>(fields);
  const std::string& key = keyParser_.EvaluateKeyWith(values, partial);
  return Seek(key, partial, false, 0);
}

void TXQNTXIndex::PositionOnActivate() {
  TXQDBFNTX& table = Table();
  const int current = table.RecNo();
  const std::string key = keyParser_.Empty() ? std::string() : keyParser_.EvaluateKey();
  const std::uint32_t found =
      Seek(key, false, true, current > 0 ? static_cast<std::uint32_t>(current) : 0);
  if (found == 0 || !table.MoveToRecord(found)) table.First();
}

}  // namespace tolk
