// A file of the operating system with the few operations the dBASE and NTX
// layers use: read-only open that keeps others out, positioned reads and
// writes with 64-bit offsets, creation of a new file beside another, the
// one-byte lock of an index, and the stretch reserved on disk for a mapping.
// No buffering of its own. Names are UTF-8. A failure leaves errno set to the
// closest POSIX code, so that the layers above raise the same texts on every
// system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolk {

enum class ShareMode { Exclusive, DenyWrite, DenyNone };

class SystemFile {
 public:
  SystemFile() = default;
  ~SystemFile() { Close(); }
  SystemFile(SystemFile&& o) noexcept : handle_(o.handle_), writable_(o.writable_) {
    o.handle_ = kNone;
  }
  SystemFile& operator=(SystemFile&& o) noexcept;
  SystemFile(const SystemFile&) = delete;
  SystemFile& operator=(const SystemFile&) = delete;

  // Opens an existing regular file for reading. Exclusive keeps every other
  // open out, DenyWrite every open for writing: if another program (or
  // another open of the same file in this process) holds the file in a way
  // that conflicts, the open fails at once. Returns false with `reason` set.
  bool OpenRead(const std::string& path, ShareMode share, std::string* reason = nullptr);
  // Opens again the file `other` has open, through the same open (a
  // duplicate of its descriptor or handle): whatever lock or share mode that
  // open took holds for both, and lasts until both are closed. Reads of the
  // two may go on at once from two threads. False with `reason` set.
  bool OpenSame(const SystemFile& other, std::string* reason = nullptr);
  // Creates a new file for reading and writing beside `path`, in the same
  // folder, under a name of its own that no file had (".<name>.XXXXXX"):
  // never an existing file, never through a link. Its name goes to
  // `created`. Returns false with `reason` set when the folder refuses.
  bool CreateBeside(const std::string& path, std::string& created, std::string* reason = nullptr);
  // Whether `path` names, now, the file open here.
  bool IsAt(const std::string& path) const;
  void Close();
  bool IsOpen() const { return handle_ != kNone; }

  // Reads up to n bytes at offset; returns the bytes read (short at the end
  // of the file), or -1 on an error.
  std::int64_t ReadAt(std::uint64_t offset, void* buf, std::size_t n) const;
  // Writes all n bytes at offset; false (errno kept) on any failure.
  bool WriteAt(std::uint64_t offset, const void* buf, std::size_t n) const;
  std::int64_t Size() const;
  bool Truncate(std::uint64_t size) const;
  bool Sync() const;
  // Makes the disk hold bytes [offset, offset + n) of the file, lengthening
  // it where needed, so that writing them later through a mapping cannot
  // find the disk full. False with errno set (EOPNOTSUPP where the file's
  // system cannot reserve).
  bool Reserve(std::uint64_t offset, std::size_t n) const;

  // The one-byte lock of an index at `offset`; non-blocking. A file open for
  // reading only takes the kind of lock that still keeps writers out.
  bool LockByte(std::uint64_t offset) const;
  void UnlockByte(std::uint64_t offset) const;

  // The system's handle: a descriptor, or a HANDLE as an integer. For the
  // mappings of the same folder.
  std::intptr_t Native() const { return handle_; }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  bool writable_ = false;
};

// The text of errno for messages.
std::string ErrnoText(int err);

// Moves the file `from` over `to` in one step: a file, or a link of either
// kind, at `to` is replaced, never followed or written. False with errno set.
bool ReplaceFile(const std::string& from, const std::string& to);
// Removes the name `path`; whether it was there is not asked.
void RemoveFile(const std::string& path);

}  // namespace tolk
