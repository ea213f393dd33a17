#include <windows.h>

#include <new>

#include "platform/file.h"
#include "platform/mapping.h"

namespace tolk::mapping {

// Committed memory reads as zeros without being written. The system places
// it on its own 64 KiB boundary; the larger alignment is only a hint here.
std::uint8_t* MapZeroed(std::size_t length) {
  void* p = ::VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!p) throw std::bad_alloc();
  return static_cast<std::uint8_t*>(p);
}

void UnmapZeroed(std::uint8_t* p, std::size_t) { ::VirtualFree(p, 0, MEM_RELEASE); }

bool CanMapFile(const SystemFile& file, std::size_t chunkBytes) {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  HANDLE h = reinterpret_cast<HANDLE>(file.Native());
  return info.dwAllocationGranularity > 0 && chunkBytes % info.dwAllocationGranularity == 0 &&
         ::GetFileType(h) == FILE_TYPE_DISK;
}

// The view keeps its section alive: the section's handle goes at once. The
// system will not cut the file while a view of it exists, so no page of
// the view can be lost under it.
std::uint8_t* MapFileStretch(const SystemFile& file, std::uint64_t offset, std::size_t n,
                             std::atomic<int>*) {
  const std::uint64_t end = offset + n;
  HANDLE section =
      ::CreateFileMappingW(reinterpret_cast<HANDLE>(file.Native()), nullptr, PAGE_READWRITE,
                           static_cast<DWORD>(end >> 32), static_cast<DWORD>(end), nullptr);
  if (!section) return nullptr;
  void* p = ::MapViewOfFile(section, FILE_MAP_READ | FILE_MAP_WRITE,
                            static_cast<DWORD>(offset >> 32), static_cast<DWORD>(offset), n);
  ::CloseHandle(section);
  return static_cast<std::uint8_t*>(p);
}

void UnmapFileStretch(std::uint8_t* p, std::size_t) { ::UnmapViewOfFile(p); }

bool CanCutMappedFile() { return false; }

void Populate(std::uint8_t* p, std::size_t n) {
  volatile std::uint8_t* v = p;
  for (std::size_t i = 0; i < n; i += 4096) v[i] = 0;
}

}  // namespace tolk::mapping
