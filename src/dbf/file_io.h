// A POSIX file handle with the few operations the dBASE and NTX layers use:
// exclusive read-only open, positioned reads and writes with 64-bit offsets,
// creation of a new file, byte-range locks. No buffering of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tolk {

enum class ShareMode { Exclusive, DenyWrite, DenyNone };

class PosixFile {
 public:
  PosixFile() = default;
  ~PosixFile() { Close(); }
  PosixFile(PosixFile&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  PosixFile& operator=(PosixFile&& o) noexcept;
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  // Opens an existing regular file for reading. Exclusive takes a
  // non-blocking exclusive flock, DenyWrite a shared one: if anyone holds a
  // conflicting lock (another process, or another open of the same file in
  // this process) the open fails at once. Both also take a read lock over
  // the whole file of the kind fcntl gives (on the open file description),
  // so a program that locks the file for writing that way is seen too, and
  // cannot take such a lock while the file is open here. Returns false with
  // `reason` set.
  bool OpenRead(const std::string& path, ShareMode share, std::string* reason = nullptr);
  // Creates a new file for reading and writing beside `path`, in the same
  // folder, under a name of its own that no file had (".<name>.XXXXXX"):
  // never an existing file, never through a link. Its name goes to
  // `created`. Returns false with `reason` set when the folder refuses.
  bool CreateBeside(const std::string& path, std::string& created, std::string* reason = nullptr);
  // Whether `path` names, now, the file open here.
  bool IsAt(const std::string& path) const;
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Reads up to n bytes at offset; returns the bytes read (short at the end
  // of the file), or -1 on an error.
  std::int64_t ReadAt(std::uint64_t offset, void* buf, std::size_t n) const;
  // Writes all n bytes at offset; false (errno kept) on any failure.
  bool WriteAt(std::uint64_t offset, const void* buf, std::size_t n) const;
  std::int64_t Size() const;
  bool Truncate(std::uint64_t size) const;
  bool Sync() const;

  // One-byte advisory record lock at offset; non-blocking.
  bool LockByte(std::uint64_t offset) const;
  void UnlockByte(std::uint64_t offset) const;

  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// Reads a file that nobody writes meanwhile from front to back in large
// blocks, and hands its caller's smaller reads out of the last block: one
// system call per window instead of one per record block. A read is
// answered exactly as the file would answer it (short at its end). A read
// that does not lie in the window moves the window to it; a window that
// cannot be read leaves the read to the file itself, so that an error
// shows where it would have shown without the window.
class ReadWindow {
 public:
  // 0 turns the window off: every read goes to the file.
  void Resize(std::size_t bytes);
  std::int64_t ReadAt(const PosixFile& file, std::uint64_t offset, void* buf, std::size_t n);

 private:
  std::vector<std::uint8_t> data_;
  std::uint64_t start_ = 0;
  std::size_t size_ = 0;  // bytes of the file held from start_
};

// The text of errno for messages.
std::string ErrnoText(int err);

// Moves the file `from` over `to` in one step: a file, or a link of either
// kind, at `to` is replaced, never followed or written. False with errno set.
bool ReplaceFile(const std::string& from, const std::string& to);
// Removes the name `path`; whether it was there is not asked.
void RemoveFile(const std::string& path);

}  // namespace tolk
