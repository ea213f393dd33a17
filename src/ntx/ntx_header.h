// The header block of an NTX file as values: decoding (header_reader.cpp)
// and encoding (header_writer.cpp). Layout in ntx_format.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dataset/coding.h"
#include "ntx/ntx_format.h"

namespace tolk::ntx {

// The first 12 bytes: what a reader refreshes before each seek.
struct HeaderPrefix {
  std::uint16_t signature = kSignature;
  std::uint16_t version = 1;
  std::uint32_t root = 0;
  std::uint32_t freePage = 0;
};

struct HeaderFields {
  HeaderPrefix prefix;
  Geometry geometry;
  std::uint16_t keyDecimals = 0;
  std::string keyExpr;  // at most 255 characters are stored
  std::string forExpr;
  bool unique = false;
  bool desc = false;
  std::string orderName;  // at most 8 characters are stored
};

// --- Reading (`header` is the 1024-byte block) ---------------------------------

HeaderPrefix ReadHeaderPrefix(coding::Bytes header);
HeaderFields ReadHeader(coding::Bytes header);
std::string ReadOrderName(coding::Bytes header);
bool IsNtxSignature(std::uint16_t signature);
// Empty when pages of this geometry can be read safely; otherwise what is
// wrong with it. Checks what the page accessors rely on: 1 <= key size <= 330,
// entry size = key size + 8, 1 <= half <= maximum, and slots 0..maximum plus
// two entries inside a page.
std::string GeometryProblem(const Geometry& g);

// --- Writing ----------------------------------------------------------------------

// The whole block: the fields, both reserved bytes 0, every other byte 0.
void WriteHeader(const HeaderFields& fields, coding::MutableBytes header);
void WriteHeaderPrefix(const HeaderPrefix& prefix, coding::MutableBytes header);
// An order name holding a character below 32 is stored as empty; otherwise
// at most 8 characters, NUL-terminated when fewer.
void WriteOrderName(coding::MutableBytes header, std::string_view name);
void WriteUniqueFlag(coding::MutableBytes header, bool unique);
void WriteDescFlag(coding::MutableBytes header, bool desc);
void WriteRoot(coding::MutableBytes header, std::uint32_t root);
void WriteFreePage(coding::MutableBytes header, std::uint32_t freePage);

}  // namespace tolk::ntx
