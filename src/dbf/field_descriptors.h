// A table's field descriptors read into field definitions: where the list
// lies in each dialect, which type letters a dialect allows, and how wide
// each type's data is in a record.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dbf/TXQSmartDBF.h"
#include "dbf/field_conversion.h"

namespace tolk::dbf {

// The fields described in `header` (the file's first header-length bytes) of
// a table of dialect `version`, in order, each with its data width, field
// type and offset in a record of `recordLength` bytes. Only `header` is read.
// Raises the damage errors naming `fileName` when the list has no terminator
// inside `header` or the widths run past the record, and the type errors for
// a letter the dialect does not know.
std::vector<DbfFieldDef> ReadFieldDescriptors(std::span<const std::uint8_t> header,
                                              xBaseVersion version, std::uint32_t recordLength,
                                              const std::string& fileName);

}  // namespace tolk::dbf
