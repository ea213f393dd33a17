// A dBASE table on disk as a read-only record cursor: exclusive open, header
// and descriptors checked, forward walk through a read-ahead buffer, deleted
// records hidden or shown, field bytes converted on demand.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dataset/TDataSet.h"
#include "dbf/field_conversion.h"
#include "dbf/file_io.h"

namespace tolk {

enum class xBaseVersion {
  xUnknown = 0,
  xClipper,
  xBaseIII,
  xBaseIV,
  xBaseV,
  xBaseVII,
  xFoxPro,
  xVisualFoxPro
};
enum class TXQStorageType { pstFile, pstInnerStream, pstOuterStream };
enum class TLockProtocol { lpNone, lpDB4Lock, lpClipperLock, lpFoxLock, lpClipperForFoxLob };

// AccessMode bits.
constexpr int OpenRead = 0;
constexpr int OpenWrite = 1;
constexpr int OpenReadWrite = 2;
constexpr int ShareExclusive = 16;
constexpr int ShareDenyWrite = 32;
constexpr int ShareDenyNone = 64;

// The lock an open of the table's files takes for AccessMode: the first of
// ShareExclusive and ShareDenyWrite that is set, else none against others.
constexpr ShareMode ShareModeOf(int accessMode) {
  if (accessMode & ShareExclusive) return ShareMode::Exclusive;
  if (accessMode & ShareDenyWrite) return ShareMode::DenyWrite;
  return ShareMode::DenyNone;
}

struct TXQCrypt {
  bool Active = false;
};

class TXQSmartDBF : public TDataSet {
 public:
  explicit TXQSmartDBF(std::string name = {}) : TDataSet(std::move(name)) {}
  ~TXQSmartDBF() override;

  // Configuration, set before Open. The values are those every table uses.
  std::string DBFFileName;
  int AccessMode = ShareExclusive;  // read, others denied reading and writing
  TXQStorageType StorageType = TXQStorageType::pstFile;
  int BufferSize = 4096;
  bool TrimCType = false;
  bool TrimInLocate = false;
  int WaitBusyRes = 3000;
  xBaseVersion DbfVersion = xBaseVersion::xBaseIII;  // replaced at open
  int LobBlockSize = 512;                            // set again at open
  TLockProtocol LockProtocol = TLockProtocol::lpClipperLock;
  TLockProtocol LobLockProtocol = TLockProtocol::lpClipperLock;
  bool OEM = false;
  TXQCrypt Crypt;
  // When set to a table open on the same DBFFileName: Open opens that
  // table's files again through its own opens, so that the two may read
  // them at once (from two threads, say) under the lock the other took,
  // which lasts until both are closed. AccessMode still says what this
  // table was opened for.
  const TXQSmartDBF* SameFileAs = nullptr;

  // The walk's reads from front to back come out of a window of this many
  // bytes when nobody else writes the table: a cut or a change by a program
  // that ignores the lock shows up to this far behind.
  static constexpr std::size_t kReadWindow = 128 * 1024;

  bool SetDeleted() const { return setDeleted_; }
  // Hides records marked deleted; on an open table the current position is
  // re-read so that the setting applies at once.
  void SetSetDeleted(bool on);

  int RecordCount() override;
  int RecNo() override;
  bool Deleted() override;

  // What the open found.
  xBaseVersion MemoVersion() const { return memoVersion_; }
  bool HasMemoFile() const { return memo_.IsOpen(); }
  std::uint8_t VersionByte() const { return version_; }
  std::uint8_t TableFlags() const { return tableFlags_; }
  std::uint32_t HeaderLength() const { return headerLength_; }
  std::uint32_t RecordLength() const { return recordLength_; }
  int RecordsPerBuffer() const { return recordsPerBuffer_; }
  const DbfFieldDef& FieldDef(int i) const { return defs_[static_cast<std::size_t>(i)]; }
  // The current record's bytes (deletion flag first); empty when there is none.
  std::span<const std::uint8_t> RecordBytes() const;
  // Block reads issued since the open (each fills the read-ahead buffer once).
  std::uint64_t BlockReads() const { return blockReads_; }

  // Positions on physical record `recno` (1-based); a later Next continues
  // after it. False, leaving the position alone, when there is no such record.
  bool GoToRecord(std::uint32_t recno);
  // The same for a random move (a key seek): the record itself is read only
  // when something asks for its bytes (a field, Deleted, RecordBytes), and
  // not the block of records after it; a later Next refills from the record
  // after it.
  bool MoveToRecord(std::uint32_t recno);

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  bool InternalFirst() override;
  bool InternalNext() override;
  bool FieldIsNull(const TField& f) override;
  bool FieldGetValue(const TField& f, Variant& out) override;

  // Step 8 of the open: the descriptors into field definitions and fields.
  void InternalInitFieldDefs(std::span<const std::uint8_t> header);
  // Step 9: attached indexes open here (tables with indexes override it).
  virtual void OpenIndexes() {}
  virtual void CloseIndexes() {}

  // For an index build: field reads look at `record` (record-length bytes)
  // until RestoreRecordView.
  void SetRecordView(const std::uint8_t* record) { view_ = {record, nullptr, nullptr}; }
  void RestoreRecordView();
  // Positioned read of the table file, for a walk from front to back.
  std::int64_t ReadTableAt(std::uint64_t offset, void* buf, std::size_t n) const {
    return window_.ReadAt(file_, offset, buf, n);
  }
  // Whether the table shows record `recno` (read from the file): with
  // SetDeleted on a record marked deleted is refused.
  bool AcceptRecord(std::uint32_t recno);
  bool Exclusive() const { return ShareModeOf(AccessMode) != ShareMode::DenyNone; }

 private:
  void OpenMemoFile();
  void GoStart();
  bool StepForward();
  bool FetchNext();
  // The record view on the cursor's copy (or on no record), nothing deferred.
  void SetCursorView();
  void ClearCurrent();
  // Reads the record a seek moved to, when something first asks for it.
  static void LoadPending(void* self);
  void EnsureLoaded() const { view_.Get(); }

  SystemFile file_;
  mutable ReadWindow window_;
  SystemFile memo_;
  bool setDeleted_ = false;
  std::uint8_t version_ = 0;
  std::uint8_t tableFlags_ = 0;
  xBaseVersion memoVersion_ = xBaseVersion::xUnknown;
  std::uint32_t headerLength_ = 0;
  std::uint32_t recordLength_ = 0;
  std::uint64_t fileSize_ = 0;
  int recordsPerBuffer_ = 0;
  std::vector<DbfFieldDef> defs_;

  // Read-ahead state.
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint32_t> recnos_;
  int count_ = 0;
  int index_ = -1;
  bool bot_ = true, eot_ = true;
  std::uint64_t blockReads_ = 0;

  // The cursor's copy of the current record, and where field reads look
  // (nullptr while there is no current record).
  std::vector<std::uint8_t> cursor_;
  DbfRecordView view_;
  std::uint32_t currentRecNo_ = 0;  // 0: no current record
  bool pending_ = false;            // cursor_ not yet read for currentRecNo_
};

}  // namespace tolk
