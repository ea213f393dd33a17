#include "ntx/file_lock.h"

#include <chrono>
#include <thread>

#include "ntx/ntx_format.h"
#include "platform/file.h"

namespace tolk {

bool NtxFileLock::LockOffset(TLockProtocol protocol, std::uint64_t& offset) {
  switch (protocol) {
    case TLockProtocol::lpNone:
      return false;
    case TLockProtocol::lpDB4Lock:
      offset = ntx::kLockOffsetDB4;
      return true;
    case TLockProtocol::lpClipperLock:
      offset = ntx::kLockOffsetClipper;
      return true;
    case TLockProtocol::lpFoxLock:
      offset = ntx::kLockOffsetFox;
      return true;
    case TLockProtocol::lpClipperForFoxLob:
      offset = ntx::kLockOffsetClipperForFoxLob;
      return true;
  }
  return false;
}

bool NtxFileLock::Lock(const SystemFile& file, bool exclusiveTable, TLockProtocol protocol,
                       int waitBusyRes) {
  if (held_) return true;
  std::uint64_t offset = 0;
  if (exclusiveTable || !LockOffset(protocol, offset)) {
    held_ = true;
    taken_ = false;
    return true;
  }
  const int attempts = waitBusyRes > 0 ? waitBusyRes : 1;
  for (int i = 0; i < attempts; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (file.LockByte(offset)) {
      held_ = taken_ = true;
      offset_ = offset;
      return true;
    }
  }
  return false;
}

void NtxFileLock::Unlock(const SystemFile& file) {
  if (!held_) return;
  if (taken_ && file.IsOpen()) file.UnlockByte(offset_);
  held_ = taken_ = false;
}

}  // namespace tolk
