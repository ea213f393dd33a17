#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "platform/file.h"
#include "platform/mapping.h"
#include "platform/mapping_guard.h"

namespace tolk::mapping {

namespace {

// `length` bytes (`prot`, `flags` as mmap takes them) starting on a
// large-page boundary: twice the length is mapped and both ends trimmed. Out
// of address space: bad_alloc.
std::uint8_t* MapAligned(std::size_t length, int prot, int flags) {
  void* raw = ::mmap(nullptr, length + kLargePage, prot, flags, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  auto* base = static_cast<std::uint8_t*>(raw);
  const std::size_t lead =
      (kLargePage - reinterpret_cast<std::uintptr_t>(base) % kLargePage) % kLargePage;
  if (lead) ::munmap(base, lead);
  if (kLargePage - lead) ::munmap(base + lead + length, kLargePage - lead);
  return base + lead;
}

// A hint; refused, the mapping still works. A build touches its pages in
// random order, and with small pages nearly every touch of a leaf would
// also miss the address translation cache.
void AdviseLargePages([[maybe_unused]] void* p, [[maybe_unused]] std::size_t n) {
#ifdef MADV_HUGEPAGE
  ::madvise(p, n, MADV_HUGEPAGE);
#endif
}

}  // namespace

// Anonymous memory reads as zeros without being written, so a chunk costs
// no clearing pass.
std::uint8_t* MapZeroed(std::size_t length) {
  std::uint8_t* p = MapAligned(length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS);
  AdviseLargePages(p, length);
  return p;
}

void UnmapZeroed(std::uint8_t* p, std::size_t length) { ::munmap(p, length); }

bool CanMapFile(const SystemFile& file, std::size_t chunkBytes) {
  struct stat st {};
  const long page = ::sysconf(_SC_PAGESIZE);
  return page > 0 && chunkBytes % static_cast<std::size_t>(page) == 0 &&
         ::fstat(static_cast<int>(file.Native()), &st) == 0 && S_ISREG(st.st_mode);
}

std::uint8_t* MapFileStretch(const SystemFile& file, std::uint64_t offset, std::size_t n,
                             std::atomic<int>* faults) {
  // On a large-page boundary, as its place in the file is: where the file's
  // system keeps large pages in the page cache, they can be mapped whole.
  // The file's pages replace a reserved stretch of address space.
  std::uint8_t* base = MapAligned(n, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE);
  void* p = ::mmap(base, n, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED,
                   static_cast<int>(file.Native()), static_cast<off_t>(offset));
  if (p == MAP_FAILED) {
    ::munmap(base, n);
    return nullptr;
  }
  AdviseLargePages(p, n);
  // Another program may cut the file short under the mapping: the guard
  // keeps the lost page from ending the process.
  if (!MappingGuard::Register(p, n, faults)) {
    ::munmap(p, n);
    return nullptr;
  }
  return static_cast<std::uint8_t*>(p);
}

void UnmapFileStretch(std::uint8_t* p, std::size_t n) {
  MappingGuard::Unregister(p);
  ::munmap(p, n);
}

bool CanCutMappedFile() { return true; }

// One write per small page does it where the system cannot be asked to;
// with large pages the first write of each does it all.
void Populate(std::uint8_t* p, std::size_t n) {
#ifdef MADV_POPULATE_WRITE
  if (::madvise(p, n, MADV_POPULATE_WRITE) == 0) return;
#endif
  volatile std::uint8_t* v = p;
  for (std::size_t i = 0; i < n; i += 4096) v[i] = 0;
}

}  // namespace tolk::mapping
