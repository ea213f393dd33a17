// Helpers of the fuzz targets: an input turned into a file without touching
// the disk, and a program folder with a fixed dictionary.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tolk::fuzz {

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

// A scratch folder of this process ("/"-terminated), removed at exit.
inline const std::string& ScratchFolder() {
  static const std::string dir = [] {
    const std::filesystem::path p =
        std::filesystem::temp_directory_path() / ("tolk-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(
          std::filesystem::temp_directory_path() / ("tolk-fuzz-" + std::to_string(::getpid())), ec);
    });
    return p.string() + "/";
  }();
  return dir;
}

}  // namespace tolk::fuzz
