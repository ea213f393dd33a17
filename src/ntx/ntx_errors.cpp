#include "ntx/ntx_errors.h"

#include "dataset/Exceptions.h"
#include "platform/file.h"

namespace tolk::ntx {

namespace {
std::string Quoted(const std::string& s) {
  std::string r;
  r.reserve(s.size() + 2);
  r.push_back('"');
  r.append(s);
  r.push_back('"');
  return r;
}
}  // namespace

void RaiseBagOpenError(const std::string& fileName) {
  RaiseError("TXQNTXBag.Open: Open error " + Quoted(fileName));
}

void RaiseNotNtxFile(const std::string& fileName) {
  RaiseError("TXQNTXIndex.Open: File " + Quoted(fileName) + " is not NTX file");
}

void RaiseSecondOrder() {
  RaiseError("TXQNTXOrder.Create: NTX bag can not content more then one order!");
}

void RaiseCreateOnClosedTable() {
  RaiseError("TXQNTXIndex.CreateIndex: Create index only on active DataSet");
}

void RaiseRecordTooLarge() { RaiseError("TXQNTXIndex.CreateIndex: Record size too lage"); }

void RaiseCreateError(const std::string& indexName, const std::string& reason) {
  RaiseError("TXQNTXIndex.CreateIndex: Create error " + Quoted(indexName), reason);
}

void RaiseEmptyKey(const std::string& indexName) {
  RaiseError("TXQNTXIndex.CreateIndex: Index " + Quoted(indexName) +
             " has an empty key expression");
}

void RaiseKeyTooLong(const std::string& indexName, std::size_t keySize) {
  RaiseError("TXQNTXIndex.CreateIndex: Key of index " + Quoted(indexName) + " is " +
             std::to_string(keySize) + " bytes long; an NTX key holds at most 330 bytes");
}

void RaiseTableReadError(const std::string& tableFile, int err) {
  RaiseError("TXQNTXIndex.CreateIndex: Read error " + Quoted(tableFile) + ": " + ErrnoText(err));
}

void RaiseWriteError(const std::string& fileName, int err) {
  RaiseError("TXQNTXIndex: Write error " + Quoted(fileName) + ": " + ErrnoText(err));
}

void RaiseReadError(const std::string& fileName, int err) {
  RaiseError("TXQNTXIndex: Read error " + Quoted(fileName) + ": " + ErrnoText(err));
}

void RaiseDamaged(const std::string& fileName, const std::string& what) {
  RaiseError("TXQNTXIndex: File " + Quoted(fileName) + " is damaged: " + what);
}

void RaiseFileFull(const std::string& fileName) {
  RaiseError("TXQNTXIndex: File " + Quoted(fileName) +
             " is full: page offsets do not reach past 4 GB");
}

void RaiseNoFreeBuffers() {
  RaiseError(
      "TXQNTXBuffers.GetNTXBuffer: There is no enough free NTX page buffers! Increase LimitPages "
      "property.");
}

void RaiseFlushInternal() { RaiseError("TXQNTXBuffers.Flash: Internal Error!"); }

void RaiseIndexTypeUndefined() { RaiseError("TIndex: IndexType not defined."); }

void RaiseCollationWhileOpen() {
  RaiseError("TIndex.SetCollationType: You can set collation type only when index is not open!");
}

}  // namespace tolk::ntx
