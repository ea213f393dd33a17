// Memory from the system for the image of an index: zeroed anonymous chunks,
// and stretches of a file mapped so that the system's page cache holds them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tolk {

class SystemFile;

namespace mapping {

// Chunks start on this boundary and their lengths are multiples of it: the
// size of a large page of the processor, and a multiple of every system's
// mapping granularity.
inline constexpr std::size_t kLargePage = std::size_t{2} << 20;

// `length` bytes (a multiple of kLargePage) of fresh memory reading as zeros,
// aligned to kLargePage and offered large pages. Out of address space:
// bad_alloc.
std::uint8_t* MapZeroed(std::size_t length);
void UnmapZeroed(std::uint8_t* p, std::size_t length);

// Whether stretches of `file` can be mapped in chunks of `chunkBytes`: an
// ordinary file, and a chunk that is a whole number of the system's pages.
bool CanMapFile(const SystemFile& file, std::size_t chunkBytes);
// Bytes [offset, offset + n) of `file`, reserved on disk by the caller,
// mapped for reading and writing and shared with the file; null when the
// system refuses. Where another program can cut the file short under the
// mapping, a page lost that way reads as zeros and adds one to *faults
// (which must outlive the mapping) instead of ending the process.
std::uint8_t* MapFileStretch(const SystemFile& file, std::uint64_t offset, std::size_t n,
                             std::atomic<int>* faults);
void UnmapFileStretch(std::uint8_t* p, std::size_t n);
// Whether the system lets a file be cut short while stretches of it are
// mapped. Where it does not, the mappings go before the file is cut.
bool CanCutMappedFile();

// Brings every page of [p, p + n) in, writable, so that the first real write
// of each finds it there.
void Populate(std::uint8_t* p, std::size_t n);

}  // namespace mapping
}  // namespace tolk
