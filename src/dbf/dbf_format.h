// The dBASE table layout, as far as reading depends on it.
//
// File header, 32 bytes at offset 0, little-endian:
//
//   OFFSET SIZE CONTENT
//        0    1 version byte: selects the table and memo dialects
//        1    3 date of last update (YY-1900, MM, DD), not interpreted
//        4    4 record count, not used: the file size decides
//        8    2 header length: the first record starts here
//       10    2 record length, deletion flag included
//       12   16 reserved
//       28    1 table flags: 1 has index, 2 has memo, 4 is database
//       29    1 language driver mark, not interpreted
//       30    2 reserved
//
// dBASE V/VII tables carry 36 more header bytes and 48-byte descriptors from
// offset 68; every other dialect 32-byte descriptors from offset 32:
//
//   OFFSET SIZE CONTENT (32-byte descriptor)   (48-byte descriptor)
//        0   11 name, NUL padded               0 32 name
//       11    1 type letter                   32  1 type letter
//       16    1 width (C: low byte)           33  1 width
//       17    1 decimals (C: high byte)       34  1 decimals
//       18    1 field flags (FoxPro)
//
// The list ends at an entry whose first byte is 0x0D; records begin at the
// header length, not necessarily right after it. A record is the deletion
// flag (' ' live, '*' deleted) followed by the fields without gaps.
//
// Invariants an open table guarantees (checked at open, so no read of a
// field can leave its record):
//   1. record length >= 1 and <= the read-ahead buffer size;
//   2. the descriptors and their terminator lie inside the header length,
//      and the header length inside the file;
//   3. the data widths of all fields add up to at most record length - 1.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolk::dbf {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kHeaderVersion = 0;
constexpr std::size_t kHeaderUpdate = 1;
constexpr std::size_t kHeaderRecordCount = 4;
constexpr std::size_t kHeaderLength = 8;
constexpr std::size_t kHeaderRecordLength = 10;
constexpr std::size_t kHeaderFlags = 28;
constexpr std::size_t kHeaderLanguage = 29;

constexpr std::size_t kExtendedHeaderSize = 36;  // dBASE V/VII, after the 32 bytes

constexpr std::size_t kDescriptorSize = 32;
constexpr std::size_t kDescriptorStart = 32;
constexpr std::size_t kDescName = 0;
constexpr std::size_t kDescNameSize = 11;
constexpr std::size_t kDescType = 11;
constexpr std::size_t kDescWidth = 16;
constexpr std::size_t kDescDecimals = 17;
constexpr std::size_t kDescFlags = 18;

constexpr std::size_t kDescriptorSize7 = 48;
constexpr std::size_t kDescriptorStart7 = 68;
constexpr std::size_t kDesc7Name = 0;
constexpr std::size_t kDesc7NameSize = 32;
constexpr std::size_t kDesc7Type = 32;
constexpr std::size_t kDesc7Width = 33;
constexpr std::size_t kDesc7Decimals = 34;

constexpr std::uint8_t kTerminator = 0x0D;
constexpr std::uint8_t kEndOfFile = 0x1A;
constexpr std::uint8_t kDeletedFlag = '*';
constexpr std::uint8_t kLiveFlag = ' ';

constexpr std::uint8_t kFlagHasIndex = 1;
constexpr std::uint8_t kFlagHasMemo = 2;
constexpr std::uint8_t kFlagIsDatabase = 4;

// Data widths of the types whose descriptor width is not used.
constexpr std::uint16_t kDateWidth = 8;
constexpr std::uint16_t kLogicalWidth = 1;
constexpr std::uint16_t kMemoWidth = 10;

// Memo files: block size of a 0x83 table; dBASE IV/VII keep it in the memo
// header at kDbtBlockSizeOffset (little-endian), FoxPro at kFptBlockSizeOffset
// (big-endian).
constexpr std::uint32_t kDbtDefaultBlockSize = 512;
constexpr std::size_t kMemoHeaderSize = 512;
constexpr std::size_t kDbtBlockSizeOffset = 20;
constexpr std::size_t kFptBlockSizeOffset = 6;

}  // namespace tolk::dbf
