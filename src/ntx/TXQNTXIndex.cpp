// A TXQNTXIndex's settings, opening an existing file, closing, and the
// seek under the file's lock. The build is in index_build.cpp.
#include "ntx/TXQNTXIndex.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>

#include "ntx/TIndexes.h"
#include "ntx/TXQDBFNTX.h"
#include "ntx/TXQNTXBag.h"
#include "ntx/ntx_errors.h"
#include "ntx/ntx_header.h"
#include "ntx/ntx_tree.h"
#include "platform/system.h"

namespace tolk {

using namespace ntx;

namespace {

bool HasControlCharacter(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
}

// The file name without folder and without everything from its first ".".
std::string IndexNameOf(std::string_view path) {
  std::size_t slash = LastSeparator(path);
  std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return std::string(file.substr(0, file.find('.')));
}

}  // namespace

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

// --- Opening and closing ------------------------------------------------------------

void TXQNTXIndex::OpenIndex() {
  if (!open_ && !ntxFileName_.empty()) Open();
}

void TXQNTXIndex::CloseIndex() { Close(); }

void TXQNTXIndex::Open() {
  if (open_) return;
  TXQDBFNTX& table = Table();
  if (!file_.OpenRead(ntxFileName_, ShareModeOf(table.AccessMode))) RaiseBagOpenError(ntxFileName_);
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
  bag_ = FindOrAddBag(bagName);
  orderObj_ = bag_->Order();
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
  if (!buildFile_.empty()) {
    // A build whose file has not taken the index's name yet (WaitWritten)
    // is given up: its own file goes, and a write that failed says so.
    if (const int err = JoinWriter()) FailWrite(err);
    Release();
    return;
  }
  WaitWritten();
  try {
    if (writePhase_)
      ExitWritePhase();
    else
      cache_.Flush();
  } catch (...) {
    FailWrite(0);
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

void TXQNTXIndex::FailWrite(int err) {
  Release();
  if (err != 0) RaiseWriteError(ntxFileName_, err);
  throw;
}

std::shared_ptr<TXQNTXBag> TXQNTXIndex::FindOrAddBag(const std::string& bagName) {
  TXQDBFNTX& table = Table();
  std::shared_ptr<TXQNTXBag> bag = table.DBFIndexDefs.Find(bagName);
  if (!bag) {
    table.DBFIndexDefs.Add(bagName, ntxFileName_, table.StorageType);
    bag = table.DBFIndexDefs.Find(bagName);
  }
  if (bag->OrderCount() == 0) bag->AddOrder();
  return bag;
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

// The index file's lock around seeks, as the table's open asks for it:
// taken unless it is held already (during a build, say), and given back at
// the end of the scope only by the seek that took it.
class TXQNTXIndex::SeekLock {
 public:
  explicit SeekLock(TXQNTXIndex& index) : index_(index), mine_(!index.lock_.Held()) {
    const TXQDBFNTX& table = index.Table();
    held_ = index.lock_.Lock(index.file_, table.Exclusive(), table.LockProtocol, table.WaitBusyRes);
  }
  ~SeekLock() {
    if (held_ && mine_) index_.lock_.Unlock(index_.file_);
  }
  SeekLock(const SeekLock&) = delete;
  SeekLock& operator=(const SeekLock&) = delete;
  bool Held() const { return held_; }

 private:
  TXQNTXIndex& index_;
  bool mine_;
  bool held_ = false;
};

std::uint32_t TXQNTXIndex::Seek(std::string_view key, bool partial, bool soft,
                                std::uint32_t recno) {
  TXQDBFNTX& table = Table();
  if (!table.Active() || !open_) return 0;
  if (!geometryProblem_.empty()) RaiseDamaged(ntxFileName_, geometryProblem_);
  const SeekLock lock(*this);
  if (!lock.Held()) return 0;
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

void TXQNTXIndex::FindEach(std::span<const Variant* const> values, std::span<std::uint32_t> found) {
  TXQDBFNTX& table = Table();
  // Another program may change a shared file between two seeks: each is
  // made on its own, as it would be.
  if (!open_ || !table.Active() || !table.Exclusive() || keyParser_.KeyFieldCount() != 1 ||
      !geometryProblem_.empty())
    return TIndex::FindEach(values, found);
  const std::size_t keySize = geometry_.keySize;
  keys_.resize(values.size() * keySize);
  texts_.clear();
  whole_.clear();
  // Room for every value at once: a list grown by doubling takes fresh
  // memory twice over, and fresh memory costs a fault a page.
  texts_.reserve(values.size());
  whole_.reserve(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    // The values may lie all over the caller's memory: each is asked for a
    // little ahead of its turn.
    if (i + 16 < values.size())
      PrefetchBytes(reinterpret_cast<const std::uint8_t*>(values[i + 16]), sizeof(Variant));
    const std::string& key =
        keyParser_.EvaluateKeyWith(std::span<const Variant>(values[i], 1), false);
    found[i] = 0;
    if (key.size() < keySize) continue;  // an exact seek needs a whole key
    std::uint8_t* at = keys_.data() + whole_.size() * keySize;
    std::memcpy(at, key.data(), keySize);
    texts_.push_back(at);
    whole_.push_back(i);
  }
  const SeekLock lock(*this);
  if (!lock.Held()) return;
  answers_.resize(texts_.size());
  SearchEachInTwo();
  for (std::size_t k = 0; k < whole_.size(); ++k) found[whole_[k]] = answers_[k];
}

// A tree read in place is read by two threads at once, each seeking half of
// a long list: the seeks wait on memory, and two of them wait together. The
// answers are the same; an error is the first half's, else the second's.
void TXQNTXIndex::SearchEachInTwo() {
  const std::span<const std::uint8_t* const> texts(texts_);
  const std::span<std::uint32_t> answers(answers_);
  constexpr std::size_t kHalfAtLeast = 4096;
  std::thread second;
  std::exception_ptr secondError;
  std::size_t half = texts.size();
  if (cache_.InPlace() && store_.MapsWhole(fileSize_) && texts.size() >= 2 * kHalfAtLeast) {
    half = texts.size() / 2;
    try {
      second = std::thread([&] {
        try {
          tree_->SearchEach(texts.subspan(half), accept_, answers.subspan(half));
        } catch (...) {
          secondError = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      half = texts.size();  // no second thread: one does it all
    }
  }
  std::exception_ptr firstError;
  try {
    tree_->SearchEach(texts.first(half), accept_, answers.first(half));
  } catch (...) {
    firstError = std::current_exception();
  }
  if (second.joinable()) second.join();
  if (firstError) std::rethrow_exception(firstError);
  if (secondError) std::rethrow_exception(secondError);
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
