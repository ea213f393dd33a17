// Helpers of the fuzz targets: an input turned into a file without touching
// the disk, and a program folder with a fixed dictionary.
#pragma once

#ifdef _WIN32
#include <process.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tolk::fuzz {

inline int ProcessId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return static_cast<int>(::getpid());
#endif
}

// A scratch folder of this process ("/"-terminated), removed at exit.
inline const std::string& ScratchFolder() {
  static const std::string dir = [] {
    const std::filesystem::path p =
        std::filesystem::temp_directory_path() / ("tolk-fuzz-" + std::to_string(ProcessId()));
    std::filesystem::create_directories(p);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(
          std::filesystem::temp_directory_path() / ("tolk-fuzz-" + std::to_string(ProcessId())),
          ec);
    });
    return p.generic_string() + "/";
  }();
  return dir;
}

#ifdef _WIN32
// The input in a file of the scratch folder, removed with the object: the
// system gives no name to a file held in memory.
class MemFile {
 public:
  MemFile(const std::uint8_t* data, std::size_t size)
      : path_(ScratchFolder() + "entrada-" + std::to_string(next_++)) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush()) std::abort();
  }
  ~MemFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  static inline unsigned next_ = 0;
  std::string path_;
};
#else
// A memory-backed file holding the input; Path() names it for open().
class MemFile {
 public:
  MemFile(const std::uint8_t* data, std::size_t size) {
    fd_ = ::memfd_create("tolk-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
  }
  ~MemFile() { ::close(fd_); }
  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_ = -1;
};
#endif

}  // namespace tolk::fuzz
