#include "ntx/file_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "dbf/file_io.h"
#include "ntx/ntx_format.h"

namespace tolk {

namespace {

// A write lock needs a file open for writing; a file open for reading
// only takes a read lock, which still keeps writers out.
bool TryLockByte(int fd, std::uint64_t offset) {
  const int mode = ::fcntl(fd, F_GETFL);
  struct flock fl {};
  fl.l_type = (mode >= 0 && (mode & O_ACCMODE) == O_RDONLY) ? F_RDLCK : F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = 1;
  return ::fcntl(fd, F_SETLK, &fl) == 0;
}

}  // namespace

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

bool NtxFileLock::Lock(const PosixFile& file, bool exclusiveTable, TLockProtocol protocol,
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
    if (TryLockByte(file.fd(), offset)) {
      held_ = taken_ = true;
      offset_ = offset;
      return true;
    }
  }
  return false;
}

void NtxFileLock::Unlock(const PosixFile& file) {
  if (!held_) return;
  if (taken_ && file.IsOpen()) file.UnlockByte(offset_);
  held_ = taken_ = false;
}

}  // namespace tolk
