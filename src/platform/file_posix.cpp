#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/file.h"
#include "platform/name_beside.h"

namespace tolk {

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

std::string ErrnoText(int err) { return std::strerror(err); }

SystemFile& SystemFile::operator=(SystemFile&& o) noexcept {
  if (this != &o) {
    Close();
    handle_ = o.handle_;
    writable_ = o.writable_;
    o.handle_ = kNone;
  }
  return *this;
}

bool SystemFile::OpenRead(const std::string& path, ShareMode share, std::string* reason) {
  Close();
  // O_NONBLOCK: a FIFO given as a table must not block the open.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (reason) *reason = ErrnoText(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (reason) *reason = S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file";
    ::close(fd);
    return false;
  }
  if (share != ShareMode::DenyNone) {
    int op = (share == ShareMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (::flock(fd, op) != 0) {
      if (reason) *reason = errno == EWOULDBLOCK ? "in use by another program" : ErrnoText(errno);
      ::close(fd);
      return false;
    }
    // Many programs lock with fcntl, which flock does not see. A read lock
    // over the whole file conflicts with their write locks, at once; it
    // goes with the descriptor, so opens of this process do not meet it as
    // they would a lock of the process. A system without such locks (EINVAL)
    // leaves the flock alone to keep others out.
    struct flock whole {};
    whole.l_type = F_RDLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &whole) != 0 && errno != EINVAL) {
      if (reason)
        *reason =
            errno == EAGAIN || errno == EACCES ? "in use by another program" : ErrnoText(errno);
      ::close(fd);
      return false;
    }
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = fd;
  writable_ = false;
  return true;
}

bool SystemFile::OpenSame(const SystemFile& other, std::string* reason) {
  Close();
  const int fd = other.IsOpen() ? ::fcntl(Fd(other.handle_), F_DUPFD_CLOEXEC, 0) : -1;
  if (fd < 0) {
    if (reason) *reason = ErrnoText(other.IsOpen() ? errno : EBADF);
    return false;
  }
  handle_ = fd;
  writable_ = other.writable_;
  return true;
}

bool SystemFile::CreateBeside(const std::string& path, std::string& created, std::string* reason) {
  Close();
  NameBeside names(path, static_cast<std::uint64_t>(::getpid()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = names.Next();
    // O_EXCL with O_CREAT: a name that exists, a link included, is refused.
    int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd >= 0) {
      handle_ = fd;
      writable_ = true;
      created = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) {
      if (reason) *reason = ErrnoText(errno);
      return false;
    }
  }
  if (reason) *reason = ErrnoText(EEXIST);
  return false;
}

bool SystemFile::IsAt(const std::string& path) const {
  struct stat mine {
  }, named{};
  return IsOpen() && ::fstat(Fd(handle_), &mine) == 0 && ::stat(path.c_str(), &named) == 0 &&
         mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

void SystemFile::Close() {
  if (IsOpen()) ::close(Fd(handle_));  // also releases the flock
  handle_ = kNone;
}

std::int64_t SystemFile::ReadAt(std::uint64_t offset, void* buf, std::size_t n) const {
  std::size_t done = 0;
  auto* p = static_cast<char*>(buf);
  while (done < n) {
    ssize_t r = ::pread(Fd(handle_), p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return static_cast<std::int64_t>(done);
}

bool SystemFile::WriteAt(std::uint64_t offset, const void* buf, std::size_t n) const {
  std::size_t done = 0;
  auto* p = static_cast<const char*>(buf);
  while (done < n) {
    ssize_t r = ::pwrite(Fd(handle_), p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(r);
  }
  return true;
}

std::int64_t SystemFile::Size() const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return -1;
  return st.st_size;
}

bool SystemFile::Truncate(std::uint64_t size) const {
  return ::ftruncate(Fd(handle_), static_cast<off_t>(size)) == 0;
}

bool SystemFile::Sync() const { return ::fsync(Fd(handle_)) == 0; }

namespace {

// A process's record lock of `type` on the byte at `offset`; non-blocking.
bool ByteLock(int fd, short type, std::uint64_t offset) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = 1;
  return ::fcntl(fd, F_SETLK, &fl) == 0;
}

}  // namespace

// A write lock needs a file open for writing; a file open for reading
// only takes a read lock, which still keeps writers out.
bool SystemFile::LockByte(std::uint64_t offset) const {
  return ByteLock(Fd(handle_), writable_ ? F_WRLCK : F_RDLCK, offset);
}

void SystemFile::UnlockByte(std::uint64_t offset) const { ByteLock(Fd(handle_), F_UNLCK, offset); }

bool SystemFile::Reserve(std::uint64_t offset, std::size_t n) const {
  for (;;) {
    if (::fallocate(Fd(handle_), 0, static_cast<off_t>(offset), static_cast<off_t>(n)) == 0)
      return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace tolk
