// Turning the bytes of one field of a record into its has-value answer and
// its value. Both read only [offset, offset + width) of the record, which the
// open has checked to lie inside it.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/TFieldType.h"
#include "dataset/Variant.h"

namespace tolk {

// A field as the descriptor gives it, with its place in the record.
struct DbfFieldDef {
  std::string name;      // trimmed, a-z in upper case
  char type = 'C';       // descriptor type letter
  std::uint16_t width = 0;    // data width in the record
  std::uint8_t length = 0;    // descriptor byte 16 as stored
  std::uint8_t decimals = 0;  // descriptor byte 17 as stored
  std::uint8_t flags = 0;
  std::uint32_t offset = 0;   // from the record start (the deletion flag is byte 0)
  TFieldType fieldType = TFieldType::ftUnknown;
};

// The field type of a dBASE column: C ftString; N/F ftFloat with decimals,
// else ftInteger below width 10 and ftLargeint from 10; D ftDate; L
// ftBoolean; M ftMemo; the letters of the later dialects their own kinds.
TFieldType DbfFieldType(char type, std::uint16_t width, std::uint8_t decimals, bool visualFoxPro);

// Has-value test: C always (unless trimC and all blanks); every other type
// unless all of its bytes are blanks.
bool DbfFieldHasValue(const DbfFieldDef& f, const std::uint8_t* record, bool trimC);

// Value read; false when the bytes form no value of the type.
bool DbfReadValue(const DbfFieldDef& f, const std::uint8_t* record, bool trimC, Variant& out);

}  // namespace tolk
