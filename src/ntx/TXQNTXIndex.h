// An NTX index over a TXQDBFNTX table: its settings, the build (CreateIndex,
// started by setting CreateNow; in index_build.cpp), opening an existing
// file, and the seek (in TXQNTXIndex.cpp).
//
// Life of an index: created closed by Indexes.Add; CreateIndex builds the
// file and leaves the index open (and active when asked); Open reads an
// existing file; the table's open and close open and close the index with
// it; Indexes.Delete closes it (the file stays unless Temp is set).
//
// While the index is open Unique, Desc and Order read and write the header
// it holds; while it is closed they are settings copied into the header
// when the file is built.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ntx/TIndex.h"
#include "ntx/TXQDBFExprParser.h"
#include "ntx/TXQNTXBuffers.h"
#include "ntx/file_lock.h"
#include "ntx/key_compare.h"
#include "ntx/ntx_format.h"
#include "ntx/page_store.h"
#include "ntx/split_build.h"
#include "platform/file.h"

namespace tolk {

class NtxTree;
class TXQNTXBag;
class TXQNTXOrder;

enum class TCLIPPER_VERSION { v500, v501, v520, v530 };

class TXQNTXIndex : public TIndex {
 public:
  TXQNTXIndex(TIndexes& owner, std::string name);
  ~TXQNTXIndex() override;

  // Setting the path also sets Name to its file name without folder and
  // without everything from its first ".".
  const std::string& NTXFileName() const { return ntxFileName_; }
  void SetNTXFileName(std::string path);
  // The file a build is writing, beside NTXFileName, until it is whole and
  // moved over that name; empty when no build is under way.
  const std::string& BuildFileName() const { return buildFile_; }

  // Texts holding a character below 32 are stored as empty. Parsed at once
  // when the table is open.
  const std::string& KeyExpresion() const { return keyExpr_; }
  void SetKeyExpresion(std::string_view text);
  const std::string& ForExpresion() const { return forExpr_; }
  void SetForExpresion(std::string_view text);
  bool Filtered() const { return !forExpr_.empty(); }

  bool KeyTranslate = true;  // keys are compared as stored while the table's OEM option is off
  bool Temp = false;         // the file is deleted when the index closes
  TCLIPPER_VERSION ClipperVer = TCLIPPER_VERSION::v500;

  bool Unique() const;
  void SetUnique(bool on);
  bool Desc() const;
  void SetDesc(bool on);
  std::string Order() const;
  void SetOrder(std::string_view name);

  // Called by a build with the number of records read so far, every 8192
  // records and once when the last block is read, so that a window can
  // repaint while a large table is indexed. May be empty.
  std::function<void(std::uint32_t records)> OnBuildProgress;

  // Reads false. Setting true builds the index now and activates it.
  bool CreateNow() const { return false; }
  void SetCreateNow(bool on);

  // Builds the file at NTXFileName over every record of the open table
  // (deleted ones too), replacing any file there. `sorterBlock` bytes of
  // pre-sorter: batches of sorterBlock div (key size + 8) entries.
  // A key longer than 330 bytes fails before anything is written; a write
  // that fails removes the file, so no half-written file looks complete.
  void CreateIndex(bool activate, std::size_t sorterBlock = 65536);

  // With the table open exclusively nobody else reads the file while it is
  // built, and seeks read the image of the tree held in memory: set this,
  // and the file is not written at the end of the build. The image is the
  // file itself where it can be mapped (see PageStore): the system's page
  // cache holds the tree and writes it out on its own, and the process's
  // memory does not grow with it. Elsewhere CreateIndex hands the writing of
  // the file to a thread of its own and returns as soon as the tree is
  // built. Either way the file keeps the build's own name until WaitWritten,
  // which waits for that write and moves the file over the index's name; so
  // an index closed before it (a caller that no longer needs the index)
  // leaves whatever file had the name as it was. When the write failed, the
  // file is removed, the index closed, and the write error that CreateIndex
  // would have raised is raised there. When pages of the mapped file were lost
  // since the build (another program cut the file short), WaitWritten closes
  // the index and raises a read error: seeks made since cannot be trusted.
  // Close, a new build and the destructor wait for the write as well, and
  // give up a file that has not taken the index's name. Off by default.
  bool WriteInBackground = false;
  void WaitWritten();

  // Lends the calling thread to a build of this index running on another
  // thread, for up to `slice`: while it is here it inserts the second half
  // of each batch of keys beside the build (split_build.h), and the file is
  // the same. False once the build has no batch left to share, and from
  // then until the next build of the index begins.
  bool HelpBuild(std::chrono::milliseconds slice) { return help_.Help(slice); }
  // Tests: every batch that could be shared is split, and the build's own
  // thread inserts both halves in turn.
  bool SplitBatchesInTurn = false;

  // Opens the existing file at NTXFileName (the table must be open).
  void Open();
  // Ends a write phase, writes pending pages, closes the file.
  void Close();
  bool IsOpen() const override { return open_; }

  // The record number of the first entry, in index order, whose key matches
  // `key` over its length (cut to the key size) and whose record the table
  // accepts; 0 when there is none. An exact seek (neither partial nor soft)
  // needs a whole key. A soft seek returns the first acceptable entry at or
  // after the key. recno > 0 places equal keys by record number.
  std::uint32_t Seek(std::string_view key, bool partial, bool soft, std::uint32_t recno = 0);
  std::uint32_t FindByValues(std::span<const Variant> values, bool partial) override;
  // For a key of one field over a table open exclusively, the seeks overlap.
  void FindEach(std::span<const Variant* const> values, std::span<std::uint32_t> found) override;

  // What the open file says (0 while closed).
  std::uint16_t KeySize() const { return geometry_.keySize; }
  const ntx::Geometry& Geometry() const { return geometry_; }
  const TXQNTXBuffers& Buffers() const { return cache_; }

 protected:
  void OpenIndex() override;
  void CloseIndex() override;
  void PositionOnActivate() override;

 private:
  class BuildScope;
  class SeekLock;

  void ParseExpressions();
  void Prepare(std::size_t keySize, int keyDecimals);
  void LoadKeys(std::vector<std::uint8_t>& block, std::size_t sorterBlock);
  // Writes the tree out and moves the file over the index's name, or hands
  // the writing to a thread of its own (WriteInBackground).
  void FinishBuild();
  // Moves the whole file the build wrote over the index's name.
  void Publish();
  // Removes the file of this index: the one being built, or the one at the
  // index's name when that name still leads to it.
  void RemoveOwnFile();
  bool StartWriter();
  // Waits for a background write: 0, or the errno of its failed write.
  int JoinWriter();
  void RefreshHeader();
  void EnterWritePhase();
  void ExitWritePhase();
  void Release();
  // A build or write that failed leaves no index: the open state goes (and
  // with it the file, which is not whole; see Release), then the write error
  // `err` of the file is raised, or with 0 the exception being handled (call
  // it from a handler then).
  [[noreturn]] void FailWrite(int err);
  // The table's definition of this index's file, added when missing, with
  // its one order.
  std::shared_ptr<TXQNTXBag> FindOrAddBag(const std::string& bagName);
  std::span<std::uint8_t> HeaderBytes() const;

  std::string ntxFileName_;
  std::string buildFile_;  // see BuildFileName
  bool keepFile_ = false;  // the next Release leaves the file alone
  std::string keyExpr_;
  std::string forExpr_;
  bool unique_ = false;
  bool desc_ = false;
  std::string order_;

  TXQDBFExprParser keyParser_;
  TXQDBFExprParser forParser_;

  // Open state.
  bool open_ = false;
  bool building_ = false;
  bool writePhase_ = false;
  std::shared_ptr<TXQNTXBag> bag_;
  std::shared_ptr<TXQNTXOrder> orderObj_;
  SystemFile file_;
  PageStore store_;
  TXQNTXBuffers cache_{store_};
  KeyOrder keyOrder_;
  ntx::Geometry geometry_;
  std::string geometryProblem_;
  std::uint64_t fileSize_ = 0;
  std::uint16_t heldVersion_ = 0;
  std::unique_ptr<NtxTree> tree_;
  NtxFileLock lock_;
  std::function<bool(std::uint32_t)> accept_;
  void SearchEachInTwo();
  // FindEach's keys, one after another, the values they came from, and
  // the tree's answers; kept from one batch to the next.
  std::vector<std::uint8_t> keys_;
  std::vector<const std::uint8_t*> texts_;
  std::vector<std::size_t> whole_;  // the values whose key is whole, in order
  std::vector<std::uint32_t> answers_;
  // The background write of a build, and its outcome (set by the writer
  // before it ends, read after the join).
  std::thread writer_;
  int writerErrno_ = 0;
  NtxBuildHelp help_;
};

}  // namespace tolk
