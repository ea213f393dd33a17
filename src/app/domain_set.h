// The admissible values of the dictionary as exact 20-byte keys (table
// number, field position, valor1 of 5 and valor2 of 7 characters), in an
// open-addressing table: one probe of inline keys per search on the record
// rules' hot path, instead of a keyed search of the memory table.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tolk {

class DomainSet {
 public:
  using Key = std::array<char, 20>;

  void Clear() {
    slots_.clear();
    used_.clear();
    count_ = 0;
  }
  void Insert(const Key& k) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    if (Place(slots_, used_, k)) ++count_;
  }
  bool Contains(const Key& k) const {
    if (slots_.empty()) return false;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Hash(k) & mask;; i = (i + 1) & mask) {
      if (!used_[i]) return false;
      if (Same(slots_[i], k)) return true;
    }
  }
  std::size_t Size() const { return count_; }

 private:
  static bool Same(const Key& a, const Key& b) {
    std::uint64_t a0, a1, b0, b1;
    std::uint32_t a2, b2;
    std::memcpy(&a0, a.data(), 8);
    std::memcpy(&a1, a.data() + 8, 8);
    std::memcpy(&a2, a.data() + 16, 4);
    std::memcpy(&b0, b.data(), 8);
    std::memcpy(&b1, b.data() + 8, 8);
    std::memcpy(&b2, b.data() + 16, 4);
    return ((a0 ^ b0) | (a1 ^ b1) | (a2 ^ b2)) == 0;
  }
  static std::size_t Hash(const Key& k) {
    std::uint64_t a, b;
    std::uint32_t c;
    std::memcpy(&a, k.data(), 8);
    std::memcpy(&b, k.data() + 8, 8);
    std::memcpy(&c, k.data() + 16, 4);
    std::uint64_t h = (a ^ 0x9E3779B97F4A7C15ULL) * 0xBF58476D1CE4E5B9ULL;
    h = (h ^ (h >> 31) ^ b) * 0x94D049BB133111EBULL;
    h = (h ^ (h >> 29) ^ c) * 0xBF58476D1CE4E5B9ULL;
    return static_cast<std::size_t>(h ^ (h >> 32));
  }
  // False when the key was already there.
  static bool Place(std::vector<Key>& table, std::vector<std::uint8_t>& occupied, const Key& k) {
    const std::size_t mask = table.size() - 1;
    for (std::size_t i = Hash(k) & mask;; i = (i + 1) & mask) {
      if (!occupied[i]) {
        table[i] = k;
        occupied[i] = 1;
        return true;
      }
      if (table[i] == k) return false;
    }
  }
  void Grow() {
    std::size_t cap = slots_.empty() ? 64 : slots_.size() * 2;
    std::vector<Key> table(cap);
    std::vector<std::uint8_t> occupied(cap, 0);
    for (std::size_t i = 0; i < slots_.size(); ++i)
      if (used_[i]) Place(table, occupied, slots_[i]);
    slots_.swap(table);
    used_.swap(occupied);
  }

  std::vector<Key> slots_;
  std::vector<std::uint8_t> used_;
  std::size_t count_ = 0;
};

}  // namespace tolk
