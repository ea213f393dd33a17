// The one-byte lock an index takes on its file around reads, at the offset
// of the table's lock protocol. A table opened exclusively (or denying
// writes) takes no lock: nobody else can change the file. Otherwise a failed
// attempt waits 1 ms and retries, up to WaitBusyRes attempts.
#pragma once

#include <cstdint>

#include "dbf/TXQSmartDBF.h"

namespace tolk {

class SystemFile;

class NtxFileLock {
 public:
  // Takes the lock (or nothing, see above); false when it was not obtained.
  // A lock already held is not taken twice.
  bool Lock(const SystemFile& file, bool exclusiveTable, TLockProtocol protocol, int waitBusyRes);
  void Unlock(const SystemFile& file);
  bool Held() const { return held_; }

  // The byte of a protocol; false for lpNone.
  static bool LockOffset(TLockProtocol protocol, std::uint64_t& offset);

 private:
  bool held_ = false;
  bool taken_ = false;  // a byte is really locked (not an exclusive table)
  std::uint64_t offset_ = 0;
};

}  // namespace tolk
