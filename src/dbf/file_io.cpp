#include "dbf/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
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
  fd_ = fd;
  return true;
}

bool PosixFile::CreateBeside(const std::string& path, std::string& created, std::string* reason) {
  Close();
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::mt19937_64 random(
      device() ^ static_cast<std::uint64_t>(::getpid()) << 32 ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = folder + "." + name + ".";
    for (int i = 0; i < 6; ++i) candidate += kLetters[random() % (sizeof kLetters - 1)];
    // O_EXCL with O_CREAT: a name that exists, a link included, is refused.
    int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd >= 0) {
      fd_ = fd;
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

bool PosixFile::IsAt(const std::string& path) const {
  struct stat mine {
  }, named{};
  return fd_ >= 0 && ::fstat(fd_, &mine) == 0 && ::stat(path.c_str(), &named) == 0 &&
         mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

void ReadWindow::Resize(std::size_t bytes) {
  data_.assign(bytes, 0);
  data_.shrink_to_fit();
  start_ = 0;
  size_ = 0;
}

std::int64_t ReadWindow::ReadAt(const PosixFile& file, std::uint64_t offset, void* buf,
                                std::size_t n) {
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

bool PosixFile::Truncate(std::uint64_t size) const {
  return ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

bool PosixFile::Sync() const { return ::fsync(fd_) == 0; }

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

bool PosixFile::LockByte(std::uint64_t offset) const { return ByteLock(fd_, F_WRLCK, offset); }

void PosixFile::UnlockByte(std::uint64_t offset) const { ByteLock(fd_, F_UNLCK, offset); }

}  // namespace tolk
