// Bounds-checked little-endian loads and stores over byte spans. Every access
// to file bytes in the dBASE and NTX layers goes through these; an offset
// outside the span is a program error caught by the caller's own checks, so
// here it only asserts and never reads or writes outside.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tolk::coding {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

inline bool Fits(std::size_t size, std::size_t offset, std::size_t width) {
  return offset <= size && width <= size - offset;
}

inline std::uint8_t Load8(Bytes b, std::size_t off) {
  assert(Fits(b.size(), off, 1));
  return Fits(b.size(), off, 1) ? b[off] : 0;
}

inline std::uint16_t Load16(Bytes b, std::size_t off) {
  assert(Fits(b.size(), off, 2));
  if (!Fits(b.size(), off, 2)) return 0;
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

inline std::uint32_t Load32(Bytes b, std::size_t off) {
  assert(Fits(b.size(), off, 4));
  if (!Fits(b.size(), off, 4)) return 0;
  return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
         (static_cast<std::uint32_t>(b[off + 2]) << 16) |
         (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

inline std::uint16_t Load16BE(Bytes b, std::size_t off) {
  assert(Fits(b.size(), off, 2));
  if (!Fits(b.size(), off, 2)) return 0;
  return static_cast<std::uint16_t>((b[off] << 8) | b[off + 1]);
}

inline void Store8(MutableBytes b, std::size_t off, std::uint8_t v) {
  assert(Fits(b.size(), off, 1));
  if (Fits(b.size(), off, 1)) b[off] = v;
}

inline void Store16(MutableBytes b, std::size_t off, std::uint16_t v) {
  assert(Fits(b.size(), off, 2));
  if (!Fits(b.size(), off, 2)) return;
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Store32(MutableBytes b, std::size_t off, std::uint32_t v) {
  assert(Fits(b.size(), off, 4));
  if (!Fits(b.size(), off, 4)) return;
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
  b[off + 2] = static_cast<std::uint8_t>(v >> 16);
  b[off + 3] = static_cast<std::uint8_t>(v >> 24);
}

// Copies width bytes at off into dst; false (and nothing copied) when they do not fit.
inline bool LoadBytes(Bytes b, std::size_t off, std::size_t width, void* dst) {
  if (!Fits(b.size(), off, width)) return false;
  if (width) std::memcpy(dst, b.data() + off, width);
  return true;
}

inline bool StoreBytes(MutableBytes b, std::size_t off, const void* src, std::size_t width) {
  if (!Fits(b.size(), off, width)) return false;
  if (width) std::memcpy(b.data() + off, src, width);
  return true;
}

}  // namespace tolk::coding
