// Read access to one page (layout in ntx_format.h). The count and the slot
// values come from the file: callers check them with CountValid and
// SlotValid before following them, so a damaged page is reported and never
// read outside its 1024 bytes.
#pragma once

#include <cstdint>

#include "dataset/coding.h"
#include "ntx/ntx_format.h"

namespace tolk::ntx {

class PageReader {
 public:
  PageReader(coding::Bytes page, const Geometry& g) : page_(page), g_(g) {}

  std::uint16_t Count() const { return coding::Load16(page_, kPageCount); }
  bool CountValid(std::uint16_t count) const { return count <= g_.maxItems; }

  // The entry offset held by slot i (0 <= i <= maximum).
  std::uint16_t Slot(std::size_t i) const {
    return coding::Load16(page_, kPageSlots + kSlotSize * i);
  }
  // Whether an entry may start at `entry`: past the slots, and whole inside the page.
  bool SlotValid(std::uint16_t entry) const {
    return entry >= FirstEntryOffset(g_) && entry + std::size_t{g_.entrySize} <= kBlockSize;
  }

  // Fields of the entry at a valid offset.
  std::uint32_t Child(std::uint16_t entry) const {
    return coding::Load32(page_, entry + kEntryChild);
  }
  std::uint32_t RecNo(std::uint16_t entry) const {
    return coding::Load32(page_, entry + kEntryRecNo);
  }
  const std::uint8_t* Key(std::uint16_t entry) const {
    return page_.subspan(entry + kEntryKey, g_.keySize).data();
  }

 private:
  coding::Bytes page_;
  const Geometry& g_;
};

}  // namespace tolk::ntx
