// The file under a dBASE table, and the read-ahead window of a walk over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/file.h"

namespace tolk {

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
  std::int64_t ReadAt(const SystemFile& file, std::uint64_t offset, void* buf, std::size_t n);

 private:
  std::vector<std::uint8_t> data_;
  std::uint64_t start_ = 0;
  std::size_t size_ = 0;  // bytes of the file held from start_
};

}  // namespace tolk
