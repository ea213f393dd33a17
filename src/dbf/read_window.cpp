#include <algorithm>
#include <cstring>

#include "dbf/file_io.h"

namespace tolk {

void ReadWindow::Resize(std::size_t bytes) {
  data_.assign(bytes, 0);
  data_.shrink_to_fit();
  start_ = 0;
  size_ = 0;
}

std::int64_t ReadWindow::ReadAt(const SystemFile& file, std::uint64_t offset, void* buf,
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

}  // namespace tolk
