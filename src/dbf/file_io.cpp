#include "dbf/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tolk {

std::string ErrnoText(int err) { return std::strerror(err); }

PosixFile& PosixFile::operator=(PosixFile&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = o.fd_;
    o.fd_ = -1;
  }
  return *this;
}

bool PosixFile::OpenRead(const std::string& path, ShareMode share, std::string* reason) {
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
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  return true;
}

bool PosixFile::Create(const std::string& path, std::string* reason) {
  Close();
  // Not O_TRUNC: the name may lead, as itself or through a link, to a table
  // that this program or another one has open, or to no regular file at all
  // (a FIFO, a device). The file is emptied only once it is known to be a
  // regular file that nobody holds: an exclusive lock must be free.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) {
    if (reason) *reason = ErrnoText(errno);
    return false;
  }
  auto refuse = [&](std::string why) {
    if (reason) *reason = std::move(why);
    ::close(fd);
    return false;
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0) return refuse(ErrnoText(errno));
  if (!S_ISREG(st.st_mode)) return refuse("not a regular file");
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return refuse(errno == EWOULDBLOCK ? "in use by another program" : ErrnoText(errno));
  ::flock(fd, LOCK_UN);
  if (::ftruncate(fd, 0) != 0) return refuse(ErrnoText(errno));
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  return true;
}

void ReadWindow::Resize(std::size_t bytes) {
  data_.assign(bytes, 0);
  data_.shrink_to_fit();
  start_ = 0;
  size_ = 0;
}

std::int64_t ReadWindow::ReadAt(const PosixFile& file, std::uint64_t offset, void* buf, std::size_t n) {
  if (n == 0 || n > data_.size()) return file.ReadAt(offset, buf, n);
  if (offset < start_ || offset + n > start_ + size_) {
    // Not wholly held: the window moves to the read. Past a short window
    // (the end of the file) the file is asked again, as it would be.
    const std::int64_t got = file.ReadAt(offset, data_.data(), data_.size());
    if (got < 0) {
      size_ = 0;
      return file.ReadAt(offset, buf, n);
    }
    start_ = offset;
    size_ = static_cast<std::size_t>(got);
  }
  const std::size_t take = std::min<std::uint64_t>(n, start_ + size_ - offset);
  std::memcpy(buf, data_.data() + (offset - start_), take);
  return static_cast<std::int64_t>(take);
}

void PosixFile::Close() {
  if (fd_ >= 0) ::close(fd_);  // also releases the flock
  fd_ = -1;
}

std::int64_t PosixFile::ReadAt(std::uint64_t offset, void* buf, std::size_t n) const {
  std::size_t done = 0;
  auto* p = static_cast<char*>(buf);
  while (done < n) {
    ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return static_cast<std::int64_t>(done);
}

bool PosixFile::WriteAt(std::uint64_t offset, const void* buf, std::size_t n) const {
  std::size_t done = 0;
  auto* p = static_cast<const char*>(buf);
  while (done < n) {
    ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
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

std::int64_t PosixFile::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool PosixFile::Truncate(std::uint64_t size) const { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }

bool PosixFile::Sync() const { return ::fsync(fd_) == 0; }

bool PosixFile::LockByte(std::uint64_t offset) const {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = 1;
  return ::fcntl(fd_, F_SETLK, &fl) == 0;
}

void PosixFile::UnlockByte(std::uint64_t offset) const {
  struct flock fl {};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = 1;
  ::fcntl(fd_, F_SETLK, &fl);
}

}  // namespace tolk
