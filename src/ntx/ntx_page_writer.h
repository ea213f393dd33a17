// Changes to one page (layout in ntx_format.h). Entries are written once
// into the entry a free slot names; logical order changes only by rotating
// slot values, so entry bytes never move. Callers pass entry offsets they
// have read from valid slots.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "dataset/coding.h"
#include "ntx/ntx_format.h"

namespace tolk::ntx {

class PageWriter {
 public:
  PageWriter(coding::MutableBytes page, const Geometry& g) : page_(page), g_(g) {}

  // Count 0, slot i naming the i-th entry back to back after the slots, the
  // child of the entry in slot 0 cleared.
  void Format() {
    SetCount(0);
    for (std::size_t i = 0; i <= g_.maxItems; ++i)
      SetSlot(i, static_cast<std::uint16_t>(FormattedSlot(g_, i)));
    SetChild(static_cast<std::uint16_t>(FormattedSlot(g_, 0)), 0);
  }

  void SetCount(std::uint16_t count) { coding::Store16(page_, kPageCount, count); }
  void SetSlot(std::size_t i, std::uint16_t entry) {
    coding::Store16(page_, kPageSlots + kSlotSize * i, entry);
  }
  std::uint16_t Slot(std::size_t i) const {
    return coding::Load16(page_, kPageSlots + kSlotSize * i);
  }

  void SetChild(std::uint16_t entry, std::uint32_t child) {
    coding::Store32(page_, entry + kEntryChild, child);
  }
  void WriteEntry(std::uint16_t entry, std::uint32_t child, std::uint32_t recno,
                  const std::uint8_t* key) {
    coding::Store32(page_, entry + kEntryChild, child);
    coding::Store32(page_, entry + kEntryRecNo, recno);
    coding::StoreBytes(page_, entry + kEntryKey, key, g_.keySize);
  }

  // Opens logical position `pos` in a page of `count` entries (count below
  // the maximum): slots pos..count move one place up and the free slot
  // count + 1 comes down to pos. Returns the entry offset now at pos.
  std::uint16_t OpenSlot(std::size_t pos, std::size_t count) {
    const std::uint16_t free = Slot(count + 1);
    // Slots pos..count are 2-byte fields side by side: one move of their bytes.
    const std::size_t from = kPageSlots + kSlotSize * pos;
    const std::size_t bytes = kSlotSize * (count + 1 - pos);
    if (coding::Fits(page_.size(), from, bytes + kSlotSize))
      std::memmove(page_.data() + from + kSlotSize, page_.data() + from, bytes);
    SetSlot(pos, free);
    return free;
  }

  // Rotates slots 0..maximum down by n: logical positions 0..n-1 leave the
  // front and their slots become free ones at the end.
  void RotateDown(std::size_t n) {
    std::array<std::uint16_t, kMaxItemsLimit + 1> slots{};
    const std::size_t total = std::size_t{g_.maxItems} + 1;
    for (std::size_t i = 0; i < total; ++i) slots[i] = Slot(i);
    std::rotate(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(n % total),
                slots.begin() + static_cast<std::ptrdiff_t>(total));
    for (std::size_t i = 0; i < total; ++i) SetSlot(i, slots[i]);
  }

  coding::MutableBytes Bytes() const { return page_; }

 private:
  coding::MutableBytes page_;
  const Geometry& g_;
};

}  // namespace tolk::ntx
