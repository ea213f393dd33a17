#include <windows.h>
// The system names its own ReplaceFile; this file defines the project's.
#undef ReplaceFile

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/file.h"
#include "platform/name_beside.h"
#include "platform/system.h"

namespace tolk {

namespace {

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The POSIX code closest to a system error, so that messages read the same
// as on other systems.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_CANT_RESOLVE_FILENAME:  // a loop of symbolic links
      return ELOOP;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_COMMITMENT_LIMIT:
    case ERROR_NO_SYSTEM_RESOURCES:
      return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILE_TOO_LARGE:
      return EFBIG;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return EOPNOTSUPP;
    default:
      return EIO;
  }
}

void SetErrno() { errno = ErrnoOf(::GetLastError()); }

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

bool SetEnd(HANDLE h, std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end) != 0;
}

}  // namespace

// The texts of a POSIX system for the codes the file layer reports: the C
// runtime here has none for some (EOPNOTSUPP, ELOOP) and words others its
// own way, and a message must read the same on every system.
std::string ErrnoText(int err) {
  static constexpr struct {
    int code;
    const char* text;
  } kTexts[] = {
      {ENOENT, "No such file or directory"},
      {EIO, "Input/output error"},
      {EBADF, "Bad file descriptor"},
      {ENOMEM, "Cannot allocate memory"},
      {EACCES, "Permission denied"},
      {EBUSY, "Device or resource busy"},
      {EEXIST, "File exists"},
      {EXDEV, "Invalid cross-device link"},
      {ENOTDIR, "Not a directory"},
      {EISDIR, "Is a directory"},
      {EINVAL, "Invalid argument"},
      {EMFILE, "Too many open files"},
      {EFBIG, "File too large"},
      {ENOSPC, "No space left on device"},
      {EROFS, "Read-only file system"},
      {ENAMETOOLONG, "File name too long"},
      {ELOOP, "Too many levels of symbolic links"},
      {EOPNOTSUPP, "Operation not supported"},
  };
  for (const auto& t : kTexts)
    if (t.code == err) return t.text;
  return std::strerror(err);
}

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
  const std::wstring name = Utf16(path);
  // The share mode is the lock: an open that conflicts with one already
  // held, here or by another program, fails at once.
  const DWORD mode = share == ShareMode::Exclusive ? 0
                     : share == ShareMode::DenyWrite
                         ? FILE_SHARE_READ
                         : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ, mode, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (reason) {
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        *reason = "is a directory";
      else if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        *reason = "in use by another program";
      else
        *reason = ErrnoText(ErrnoOf(error));
    }
    errno = ErrnoOf(error);
    return false;
  }
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    if (reason) *reason = "not a regular file";
    ::CloseHandle(h);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  writable_ = false;
  return true;
}

bool SystemFile::OpenSame(const SystemFile& other, std::string* reason) {
  Close();
  HANDLE h = nullptr;
  if (!other.IsOpen() ||
      !::DuplicateHandle(::GetCurrentProcess(), H(other.handle_), ::GetCurrentProcess(), &h, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
    const DWORD error = other.IsOpen() ? ::GetLastError() : ERROR_INVALID_HANDLE;
    if (reason) *reason = ErrnoText(ErrnoOf(error));
    errno = ErrnoOf(error);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  writable_ = other.writable_;
  return true;
}

bool SystemFile::CreateBeside(const std::string& path, std::string& created, std::string* reason) {
  Close();
  NameBeside names(path, ::GetCurrentProcessId());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = names.Next();
    // CREATE_NEW: a name that exists is refused. Shared for deletion, so
    // that the file can be moved over its final name while it is open.
    HANDLE h = ::CreateFileW(Utf16(candidate).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<std::intptr_t>(h);
      writable_ = true;
      created = std::move(candidate);
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      errno = ErrnoOf(error);
      if (reason) *reason = ErrnoText(errno);
      return false;
    }
  }
  if (reason) *reason = ErrnoText(EEXIST);
  return false;
}

bool SystemFile::IsAt(const std::string& path) const {
  if (!IsOpen()) return false;
  HANDLE named =
      ::CreateFileW(Utf16(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION mine{}, other{};
  const bool same = ::GetFileInformationByHandle(H(handle_), &mine) &&
                    ::GetFileInformationByHandle(named, &other) &&
                    mine.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
                    mine.nFileIndexHigh == other.nFileIndexHigh &&
                    mine.nFileIndexLow == other.nFileIndexLow;
  ::CloseHandle(named);
  return same;
}

void SystemFile::Close() {
  if (IsOpen()) ::CloseHandle(H(handle_));
  handle_ = kNone;
}

std::int64_t SystemFile::ReadAt(std::uint64_t offset, void* buf, std::size_t n) const {
  std::size_t done = 0;
  auto* p = static_cast<char*>(buf);
  while (done < n) {
    OVERLAPPED ov = At(offset + done);
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(H(handle_), p + done, ask, &got, &ov)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      SetErrno();
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<std::int64_t>(done);
}

bool SystemFile::WriteAt(std::uint64_t offset, const void* buf, std::size_t n) const {
  std::size_t done = 0;
  auto* p = static_cast<const char*>(buf);
  while (done < n) {
    OVERLAPPED ov = At(offset + done);
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(H(handle_), p + done, ask, &put, &ov)) {
      SetErrno();
      return false;
    }
    if (put == 0) {
      errno = ENOSPC;
      return false;
    }
    done += put;
  }
  return true;
}

std::int64_t SystemFile::Size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(H(handle_), &size)) {
    SetErrno();
    return -1;
  }
  return size.QuadPart;
}

bool SystemFile::Truncate(std::uint64_t size) const {
  if (SetEnd(H(handle_), size)) return true;
  SetErrno();
  return false;
}

bool SystemFile::Sync() const { return ::FlushFileBuffers(H(handle_)) != 0; }

// Lengthening a file that is not sparse gives it the disk's clusters for
// the new bytes at once: a full disk is this call's error, not a fault of a
// mapped page later.
bool SystemFile::Reserve(std::uint64_t offset, std::size_t n) const {
  const std::uint64_t end = offset + n;
  const std::int64_t size = Size();
  if (size < 0) return false;
  if (static_cast<std::uint64_t>(size) >= end) return true;
  if (SetEnd(H(handle_), end)) return true;
  SetErrno();
  return false;
}

// A file open for reading only takes a shared lock, which still keeps
// writers out.
bool SystemFile::LockByte(std::uint64_t offset) const {
  OVERLAPPED ov = At(offset);
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (writable_ ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  return ::LockFileEx(H(handle_), flags, 0, 1, 0, &ov) != 0;
}

void SystemFile::UnlockByte(std::uint64_t offset) const {
  OVERLAPPED ov = At(offset);
  ::UnlockFileEx(H(handle_), 0, 1, 0, &ov);
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  if (::MoveFileExW(Utf16(from).c_str(), Utf16(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  SetErrno();
  return false;
}

void RemoveFile(const std::string& path) { ::DeleteFileW(Utf16(path).c_str()); }

}  // namespace tolk
