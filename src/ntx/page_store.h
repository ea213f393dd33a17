// What sits under the page cache: the index file, or an in-memory image of
// it. The cache loads whole groups from here and writes runs of pages back.
// With an image a group is not copied at all: it is mapped onto the image's
// bytes, and writing a run back only records how far the image reaches. The
// bytes that reach the file are the same either way.
//
//   FileOnly   reads and writes go to the file.
//   ImageOnly  (a build) the image takes every write; the file gets the
//              image in large blocks at the end (WriteImageToFile).
//   ImageCopy  (after a build) the image is a copy of the file: groups map
//              onto it, written runs go to the file as well. The owner drops
//              it as soon as the file may have changed under it.
//
// The image lives in chunks that are a whole number of cache groups, so a
// mapped group never moves and never straddles two chunks. A chunk is fresh
// zeroed memory from the system, aligned to 2 MiB and offered huge pages: a
// build touches its pages in random order, and with 4 KiB pages nearly every
// touch of a leaf would also miss the address translation cache. The system
// clears such memory when it is first touched; during a build a second
// thread makes and touches the next chunk ahead, so that the clearing
// is done off the build's own thread (a build that outruns it makes its
// chunks itself).
//
// An image may also live in the file itself (StartImage with inFile): each
// chunk is then a shared mapping of its stretch of the file, reserved on
// the disk before it is mapped. The system's page cache holds the pages and
// writes them out on its own; the process's own memory does not grow with
// the index, and a full disk shows as the reservation's error, never as a
// fault on a page. Only a regular file on which the reservation works
// qualifies: otherwise the image stays in anonymous memory. A page that
// faults all the same (another program cut the file short) is replaced by
// zeros and counted (LostPages), instead of ending the process.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolk {

class SystemFile;

class PageStore {
 public:
  enum class Mode { FileOnly, ImageOnly, ImageCopy };

  PageStore();
  ~PageStore();
  PageStore(const PageStore&) = delete;
  PageStore& operator=(const PageStore&) = delete;

  // The file (owned elsewhere, open while the store is used) and its name
  // for messages. Starts in FileOnly mode.
  void Attach(const SystemFile* file, std::string fileName);
  void Detach();

  // An empty image in chunks of about 2 MiB, a multiple of `groupBytes`.
  // With inFile, in the file when it qualifies (ImageInFile tells).
  void StartImage(std::size_t groupBytes, bool inFile = false);
  bool ImageInFile() const { return inFile_; }
  // Whether a page of the image in the file was lost since StartImage: its
  // bytes are zeros now, and neither the file nor what was read from the
  // image can be trusted.
  bool LostPages() const { return faults_.load(std::memory_order_relaxed) != 0; }
  void KeepImageAsCopy();
  // An image whose bytes [0, end) are those of `other`'s image, lent: this
  // store reads and writes them in place and never frees them; past them it
  // makes chunks of its own, without a thread ahead. Again after `other`
  // grew: the lent part follows it. `other` keeps its chunks meanwhile.
  void Borrow(const PageStore& other, std::uint64_t end);
  // No group may still be mapped onto the image.
  void DropImage();
  Mode CurrentMode() const { return mode_; }

  // With an image: its bytes [offset, offset + n), zeros where nothing was
  // written, to be used in place; the range lies inside one group. Null in
  // FileOnly mode.
  std::uint8_t* Map(std::uint64_t offset, std::size_t n) {
    // Every page a tree reads goes through here: a chunk already made, of a
    // power-of-two size, is found with a shift and a mask.
    if (chunkShift_ >= 0 && (mode_ == Mode::ImageOnly ||
                             (mode_ == Mode::ImageCopy &&
                              (!inFile_ || offset + n <= std::min(imageSize_, mappedEnd_))))) {
      const std::uint64_t c = offset >> chunkShift_;
      const std::uint64_t within = offset & (chunkBytes_ - 1);
      if (c < chunks_.size() && within + n <= chunkBytes_)
        if (std::uint8_t* chunk = chunks_[static_cast<std::size_t>(c)].get()) return chunk + within;
    }
    return MapMaking(offset, n);
  }
  // Whether Map gives every page of [0, end) as it stands, without making
  // anything: then threads may map pages at once.
  bool MapsWhole(std::uint64_t end) const;
  // Reads n bytes at offset into dst; bytes past the end read as zeros.
  void Read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const;
  // Bytes [offset, offset + n) now hold `src` (which may be their own mapped
  // bytes): into the image and/or the file by mode. A failed file write
  // raises the write error naming the file.
  void Write(std::uint64_t offset, const std::uint8_t* src, std::size_t n);
  // Bytes [offset, offset + n) were written in place, into what Map gave:
  // the image reaches over them, and a copy's file takes them now.
  void WrittenInPlace(std::uint64_t offset, const std::uint8_t* bytes, std::size_t n) {
    if (mode_ == Mode::ImageOnly)
      imageSize_ = offset + n > imageSize_ ? offset + n : imageSize_;
    else
      Write(offset, bytes, n);
  }
  // Writes image bytes [from, image size) to the file in large blocks. An
  // image in the file is there already: the file is only cut to its size.
  void WriteImageToFile(std::uint64_t from);

  // What a writer on another thread needs to copy the image to a file
  // without the store: the chunks' addresses (their memory stays where it is
  // until the image is dropped or the store detached) and the image size.
  struct ImageView {
    std::vector<const std::uint8_t*> chunks;  // null: never written, zeros
    std::size_t chunkBytes = 0;
    std::uint64_t size = 0;
  };
  ImageView View() const;
  // Writes the view's bytes [from, size) to `file` in large blocks: 0, or the
  // errno of the write that failed. Uses nothing of any store.
  static int WriteView(const ImageView& view, const SystemFile& file, std::uint64_t from);

  std::uint64_t ImageSize() const { return imageSize_; }
  // The image's bytes [0, image size), copied out.
  std::vector<std::uint8_t> Snapshot() const;
  const std::string& FileName() const { return fileName_; }

 private:
  std::uint8_t* Chunk(std::size_t i);
  std::uint8_t* MapMaking(std::uint64_t offset, std::size_t n);

  // Unmaps a chunk: its length is the one rounded up at allocation.
  struct Unmap {
    std::size_t length = 0;
    bool inFile = false;
    bool lent = false;  // another store's chunk
    void operator()(std::uint8_t* p) const;
  };
  using ChunkPtr = std::unique_ptr<std::uint8_t[], Unmap>;
  static ChunkPtr NewChunk(std::size_t chunkBytes);
  ChunkPtr NewFileChunk(std::size_t i) const;
  class ChunkMaker;
  void StopMaker();

  // Pages of the file's chunks that faulted (the file cut short under the
  // process, a failed disk) and were replaced by zeros. Declared before the
  // chunks: the guard counts here until the last of them is unmapped.
  mutable std::atomic<int> faults_{0};
  const SystemFile* file_ = nullptr;
  std::string fileName_;
  Mode mode_ = Mode::FileOnly;
  std::size_t chunkBytes_ = 0;
  int chunkShift_ = -1;  // log2 of chunkBytes_ when it is a power of two
  std::vector<ChunkPtr> chunks_;
  // While a build fills the image: chunks made ahead by a second thread.
  std::unique_ptr<ChunkMaker> maker_;
  bool makeAhead_ = false;  // a build fills the image: start the maker at its second chunk
  bool inFile_ = false;     // the chunks map the file's own pages
  std::uint64_t imageSize_ = 0;
  // How far the chunks of an image in the file map it after its build: all
  // of it, or, where the file was mapped again after being cut, its bytes up
  // to the cut.
  std::uint64_t mappedEnd_ = ~std::uint64_t{0};
};

}  // namespace tolk
