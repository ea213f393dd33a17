// Every message the dBASE layer raises, in one place. All of them are the
// general error class (tolk::Exception); the texts name the class and the
// operation first, and the table file by the name it was given, in quotes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolk::dbf {

// The file cannot be opened (missing, no regular file, locked by another
// open) or read.
[[noreturn]] void RaiseOpenError(const std::string& fileName);
[[noreturn]] void RaiseReadError(const std::string& fileName);
// A version byte of no dialect this layer reads.
[[noreturn]] void RaiseNotDbfFile(const std::string& fileName);
// A record longer than the read-ahead buffer.
[[noreturn]] void RaiseBufferTooSmall();

// Header bytes that contradict each other or the file ("... is damaged: ").
[[noreturn]] void RaiseEmptyFile(const std::string& fileName);
[[noreturn]] void RaiseHeaderCut(const std::string& fileName, std::int64_t got);
[[noreturn]] void RaiseExtendedHeaderCut(const std::string& fileName);
[[noreturn]] void RaiseRecordLengthZero(const std::string& fileName);
[[noreturn]] void RaiseHeaderPastEnd(const std::string& fileName, std::uint32_t headerLength,
                                     std::uint64_t fileSize);
[[noreturn]] void RaiseNoTerminator(const std::string& fileName, std::size_t headerLength);
[[noreturn]] void RaiseWidthsPastRecord(const std::string& fileName, std::uint32_t recordLength,
                                        const std::string& fieldName);

// Descriptors: a type letter of a later dialect than the table's (`type` is
// one of B G P T Y + I O @), and a letter of no dialect.
[[noreturn]] void RaiseTypeOfLaterDialect(char type);
[[noreturn]] void RaiseUnknownType(const std::string& fileName, const std::string& fieldName,
                                   std::uint8_t letter);

}  // namespace tolk::dbf
