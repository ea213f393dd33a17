#include "dbf/TXQSmartDBF.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "dataset/coding.h"
#include "dataset/text.h"
#include "dbf/dbf_errors.h"
#include "dbf/dbf_format.h"
#include "dbf/field_descriptors.h"
#include "platform/system.h"

namespace tolk {

namespace {

struct Dialects {
  xBaseVersion table;
  xBaseVersion memo;
  const char* memoExt;  // nullptr: no memo file opened
};

bool DialectsOf(std::uint8_t version, std::uint8_t flags, Dialects& d) {
  using enum xBaseVersion;
  switch (version) {
    case 0x03:
      d = {xBaseIII, xUnknown, nullptr};
      return true;
    case 0x83:
      d = {xBaseIII, xBaseIII, ".dbt"};
      return true;
    case 0x07:
      d = {xClipper, xUnknown, nullptr};
      return true;
    case 0x8B:
      d = {xBaseIV, xBaseIV, ".dbt"};
      return true;
    case 0x7B:
    case 0x8E:
      d = {xBaseIV, xBaseIV, nullptr};
      return true;
    case 0x04:
      d = {xBaseVII, xUnknown, nullptr};
      return true;
    case 0x8C:
      d = {xBaseVII, xBaseVII, ".dbt"};
      return true;
    case 0xF5:
      d = {xFoxPro, xFoxPro, ".fpt"};
      return true;
    case 0x30:
    case 0x31:
      if (flags & dbf::kFlagHasMemo)
        d = {xVisualFoxPro, xVisualFoxPro, ".fpt"};
      else
        d = {xVisualFoxPro, xUnknown, nullptr};
      return true;
    default:
      return false;
  }
}

}  // namespace

TXQSmartDBF::~TXQSmartDBF() { Close(); }

void TXQSmartDBF::InternalOpen() {
  namespace c = coding;
  // Steps 1-2: the file, read-only, others locked out. No retry, no wait.
  // A failure raised from here on leaves the files to Open, which closes
  // the table.
  const TXQSmartDBF* same = SameFileAs && SameFileAs->Active() ? SameFileAs : nullptr;
  if (!(same ? file_.OpenSame(same->file_) : file_.OpenRead(DBFFileName, ShareModeOf(AccessMode))))
    dbf::RaiseOpenError(DBFFileName);
  std::int64_t size = file_.Size();
  fileSize_ = size < 0 ? 0 : static_cast<std::uint64_t>(size);

  // Step 3: the 32-byte header.
  std::uint8_t head[dbf::kHeaderSize + dbf::kExtendedHeaderSize] = {};
  std::int64_t got = file_.ReadAt(0, head, dbf::kHeaderSize);
  if (got < 0) dbf::RaiseReadError(DBFFileName);
  if (got == 0) dbf::RaiseEmptyFile(DBFFileName);
  c::Bytes hb(head, sizeof head);
  version_ = c::Load8(hb, dbf::kHeaderVersion);

  // Step 4: the dialects.
  Dialects dia{};
  tableFlags_ = c::Load8(hb, dbf::kHeaderFlags);
  if (!DialectsOf(version_, tableFlags_, dia)) dbf::RaiseNotDbfFile(DBFFileName);
  if (got < static_cast<std::int64_t>(dbf::kHeaderSize)) dbf::RaiseHeaderCut(DBFFileName, got);
  DbfVersion = dia.table;
  memoVersion_ = dia.memo;

  // Step 5: dBASE V/VII extended header.
  const bool seven = dia.table == xBaseVersion::xBaseV || dia.table == xBaseVersion::xBaseVII;
  if (seven) {
    got = file_.ReadAt(dbf::kHeaderSize, head + dbf::kHeaderSize, dbf::kExtendedHeaderSize);
    if (got < static_cast<std::int64_t>(dbf::kExtendedHeaderSize))
      dbf::RaiseExtendedHeaderCut(DBFFileName);
  }

  // Step 6: record length and the read-ahead buffers.
  recordLength_ = c::Load16(hb, dbf::kHeaderRecordLength);
  headerLength_ = c::Load16(hb, dbf::kHeaderLength);
  if (recordLength_ == 0) dbf::RaiseRecordLengthZero(DBFFileName);
  if (BufferSize <= 0 || static_cast<std::uint32_t>(BufferSize) / recordLength_ == 0)
    dbf::RaiseBufferTooSmall();
  recordsPerBuffer_ = static_cast<int>(static_cast<std::uint32_t>(BufferSize) / recordLength_);

  // Step 7: the memo file; one that cannot be opened is not an error here.
  LobBlockSize = 512;
  if (dia.memoExt) OpenMemoFile();

  // Step 8: the descriptors, read from the header bytes only.
  if (headerLength_ > fileSize_) dbf::RaiseHeaderPastEnd(DBFFileName, headerLength_, fileSize_);
  std::vector<std::uint8_t> header(headerLength_);
  if (file_.ReadAt(0, header.data(), header.size()) != static_cast<std::int64_t>(header.size()))
    dbf::RaiseReadError(DBFFileName);
  InternalInitFieldDefs(header);

  // Step 10 (9 follows once the fields exist): buffers, before the first record.
  buffer_.assign(static_cast<std::size_t>(recordsPerBuffer_) * recordLength_, 0);
  recnos_.assign(static_cast<std::size_t>(recordsPerBuffer_), 0);
  cursor_.assign(recordLength_, ' ');
  // Nobody else writes a table opened exclusively or denying writes: its
  // walk may read ahead of the record blocks.
  window_.Resize(Exclusive() ? kReadWindow : 0);
  ClearCurrent();
  count_ = 0;
  index_ = -1;
  bot_ = eot_ = true;
  blockReads_ = 0;

  // Step 9: attached indexes.
  OpenIndexes();
}

void TXQSmartDBF::OpenMemoFile() {
  // The table's name with its extension replaced, in the case of the table's
  // own extension first (FOO.DBF looks for FOO.DBT before FOO.dbt).
  const std::string ext =
      memoVersion_ == xBaseVersion::xFoxPro || memoVersion_ == xBaseVersion::xVisualFoxPro ? ".fpt"
                                                                                           : ".dbt";
  std::string base = DBFFileName;
  std::size_t slash = LastSeparator(base);
  std::size_t dot = base.find_last_of('.');
  bool upper = false;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    upper = dot + 1 < base.size() && base[dot + 1] >= 'A' && base[dot + 1] <= 'Z';
    base.resize(dot);
  }
  const std::string candidates[2] = {base + (upper ? UpperCaseAscii(ext) : ext),
                                     base + (upper ? ext : UpperCaseAscii(ext))};
  if (SameFileAs && SameFileAs->Active() && SameFileAs->memo_.IsOpen())
    memo_.OpenSame(SameFileAs->memo_);
  else
    for (const auto& name : candidates)
      if (memo_.OpenRead(name, ShareModeOf(AccessMode))) break;
  if (!memo_.IsOpen()) return;
  if (version_ == 0x83) {
    LobBlockSize = static_cast<int>(dbf::kDbtDefaultBlockSize);
    return;
  }
  std::uint8_t mh[dbf::kMemoHeaderSize] = {};
  std::int64_t got = memo_.ReadAt(0, mh, sizeof mh);
  coding::Bytes b(mh, got > 0 ? static_cast<std::size_t>(got) : 0);
  std::uint32_t block = 0;
  if (ext == ".fpt") {
    if (coding::Fits(b.size(), dbf::kFptBlockSizeOffset, 2))
      block = coding::Load16BE(b, dbf::kFptBlockSizeOffset);
  } else if (coding::Fits(b.size(), dbf::kDbtBlockSizeOffset, 2)) {
    block = coding::Load16(b, dbf::kDbtBlockSizeOffset);
  }
  if (block > 0) LobBlockSize = static_cast<int>(block);
}

void TXQSmartDBF::InternalInitFieldDefs(std::span<const std::uint8_t> header) {
  defs_ = dbf::ReadFieldDescriptors(header, DbfVersion, recordLength_, DBFFileName);
  auto& fields = MutableFields();
  fields.Clear();
  for (std::size_t i = 0; i < defs_.size(); ++i)
    fields.Add(
        std::make_unique<DbfField>(*this, defs_[i], static_cast<int>(i), &view_, &TrimCType));
}

void TXQSmartDBF::InternalClose() {
  CloseIndexes();
  file_.Close();
  memo_.Close();
  defs_.clear();
  MutableFields().Clear();
  buffer_.clear();
  buffer_.shrink_to_fit();
  window_.Resize(0);
  recnos_.clear();
  cursor_.clear();
  ClearCurrent();
  count_ = 0;
  index_ = -1;
}

int TXQSmartDBF::RecordCount() {
  if (!Active() || recordLength_ == 0 || fileSize_ < headerLength_) return 0;
  std::uint64_t n = (fileSize_ - headerLength_) / recordLength_;
  return n > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

int TXQSmartDBF::RecNo() { return currentRecNo_ ? static_cast<int>(currentRecNo_) : -1; }

bool TXQSmartDBF::Deleted() {
  EnsureLoaded();
  return currentRecNo_ != 0 && cursor_[0] == dbf::kDeletedFlag;
}

std::span<const std::uint8_t> TXQSmartDBF::RecordBytes() const {
  EnsureLoaded();
  if (!currentRecNo_) return {};
  return {cursor_.data(), cursor_.size()};
}

void TXQSmartDBF::SetCursorView() {
  pending_ = false;
  view_ = {currentRecNo_ ? cursor_.data() : nullptr, nullptr, nullptr};
}

void TXQSmartDBF::ClearCurrent() {
  currentRecNo_ = 0;
  SetCursorView();
}

void TXQSmartDBF::RestoreRecordView() {
  if (pending_)
    view_ = {cursor_.data(), &TXQSmartDBF::LoadPending, this};
  else
    SetCursorView();
}

void TXQSmartDBF::LoadPending(void* self) {
  auto& t = *static_cast<TXQSmartDBF*>(self);
  const std::int64_t got = t.file_.ReadAt(
      t.headerLength_ + static_cast<std::uint64_t>(t.currentRecNo_ - 1) * t.recordLength_,
      t.cursor_.data(), t.recordLength_);
  ++t.blockReads_;
  t.pending_ = false;
  // A record that can no longer be read (the file shrank under us) reads as
  // no record: its fields are null.
  t.view_ = {got == static_cast<std::int64_t>(t.recordLength_) ? t.cursor_.data() : nullptr,
             nullptr, nullptr};
  if (!t.view_.bytes) t.cursor_.assign(t.recordLength_, ' ');
}

// --- The read-ahead walk ----------------------------------------------------

void TXQSmartDBF::GoStart() {
  bot_ = true;
  eot_ = false;
  index_ = -1;
  std::int64_t got = window_.ReadAt(file_, headerLength_, buffer_.data(), buffer_.size());
  ++blockReads_;
  count_ = got > 0 ? static_cast<int>(static_cast<std::uint64_t>(got) / recordLength_) : 0;
  for (int i = 0; i < count_; ++i)
    recnos_[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i + 1);
  if (count_ == 0) bot_ = eot_ = true;
}

bool TXQSmartDBF::StepForward() {
  bot_ = false;
  ++index_;
  if (index_ < count_) return true;
  if (count_ == 0) {
    eot_ = true;
    return false;
  }
  // Refill after the last buffered record; a short read ends the table.
  const std::uint32_t last = recnos_[static_cast<std::size_t>(count_ - 1)];
  std::int64_t got =
      window_.ReadAt(file_, headerLength_ + static_cast<std::uint64_t>(last) * recordLength_,
                     buffer_.data(), buffer_.size());
  ++blockReads_;
  int n = got > 0 ? static_cast<int>(static_cast<std::uint64_t>(got) / recordLength_) : 0;
  if (n == 0 || last == UINT32_MAX) {
    index_ = count_;
    eot_ = true;
    return false;
  }
  count_ = n;
  index_ = 0;
  for (int i = 0; i < n; ++i) {
    std::uint64_t r = static_cast<std::uint64_t>(last) + 1 + static_cast<std::uint64_t>(i);
    if (r > UINT32_MAX) {  // record numbers are 32-bit, as the formats store them
      count_ = i;
      break;
    }
    recnos_[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(r);
  }
  return count_ > 0;
}

bool TXQSmartDBF::FetchNext() {
  for (;;) {
    if (!StepForward()) return false;
    const std::uint8_t* rec = buffer_.data() + static_cast<std::size_t>(index_) * recordLength_;
    if (setDeleted_ && rec[0] == dbf::kDeletedFlag) continue;
    std::memcpy(cursor_.data(), rec, recordLength_);
    currentRecNo_ = recnos_[static_cast<std::size_t>(index_)];
    SetCursorView();
    return true;
  }
}

bool TXQSmartDBF::InternalFirst() {
  ClearCurrent();
  GoStart();
  return FetchNext();
}

bool TXQSmartDBF::InternalNext() { return FetchNext(); }

bool TXQSmartDBF::GoToRecord(std::uint32_t recno) {
  CheckActive();
  if (recno == 0 || recno > static_cast<std::uint32_t>(RecordCount())) return false;
  // Load the block that starts at the record, as a refill would.
  std::int64_t got =
      file_.ReadAt(headerLength_ + static_cast<std::uint64_t>(recno - 1) * recordLength_,
                   buffer_.data(), buffer_.size());
  ++blockReads_;
  int n = got > 0 ? static_cast<int>(static_cast<std::uint64_t>(got) / recordLength_) : 0;
  if (n == 0) {  // the file shrank under us: the walk ends here
    count_ = 0;
    index_ = -1;
    ClearCurrent();
    SetEof(true);
    return false;
  }
  count_ = static_cast<int>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(n), UINT32_MAX - recno + 1ULL));
  for (int i = 0; i < count_; ++i)
    recnos_[static_cast<std::size_t>(i)] = recno + static_cast<std::uint32_t>(i);
  index_ = 0;
  bot_ = eot_ = false;
  std::memcpy(cursor_.data(), buffer_.data(), recordLength_);
  currentRecNo_ = recno;
  SetCursorView();
  SetEof(false);
  SetBof(false);
  return true;
}

bool TXQSmartDBF::MoveToRecord(std::uint32_t recno) {
  CheckActive();
  if (recno == 0 || recno > static_cast<std::uint32_t>(RecordCount())) return false;
  // A run of seeks mostly asks whether a key is there, not what its record
  // holds: one read per seek would cost more than the seek itself.
  count_ = 1;
  recnos_[0] = recno;
  index_ = 0;
  bot_ = eot_ = false;
  currentRecNo_ = recno;
  pending_ = true;
  RestoreRecordView();
  SetEof(false);
  SetBof(false);
  return true;
}

bool TXQSmartDBF::AcceptRecord(std::uint32_t recno) {
  if (!Active() || recno == 0) return false;
  if (!setDeleted_) return true;
  std::uint8_t flag = 0;
  if (file_.ReadAt(headerLength_ + static_cast<std::uint64_t>(recno - 1) * recordLength_, &flag,
                   1) != 1)
    return false;
  return flag != dbf::kDeletedFlag;
}

void TXQSmartDBF::SetSetDeleted(bool on) {
  if (setDeleted_ == on) return;
  setDeleted_ = on;
  if (!Active()) return;
  EnsureLoaded();
  if (!currentRecNo_ || !on || cursor_[0] != dbf::kDeletedFlag) return;
  // The current record is now hidden: move on to the next visible one.
  if (!FetchNext()) {
    ClearCurrent();
    SetEof(true);
  }
}

// --- Field values -------------------------------------------------------------

// The table's own fields answer these themselves; a field of another kind
// asks here, and the answer comes from the field's definition and the record
// view, never from the field again (whose default asks the table).

bool TXQSmartDBF::FieldIsNull(const TField& f) {
  const std::uint8_t* rec = view_.Get();
  const auto i = static_cast<std::size_t>(f.Index());
  return !rec || i >= defs_.size() || !DbfFieldHasValue(defs_[i], rec, TrimCType);
}

bool TXQSmartDBF::FieldGetValue(const TField& f, Variant& out) {
  const std::uint8_t* rec = view_.Get();
  const auto i = static_cast<std::size_t>(f.Index());
  if (rec && i < defs_.size() && DbfReadValue(defs_[i], rec, TrimCType, out)) return true;
  out.SetNull();
  return false;
}

}  // namespace tolk
