// The project's own dBASE III writer: test fixtures, the shipped dictionary,
// the sample delivery and benchmark data are all made with it. It can also
// write the header quirks real files have (a wrong record count, a gap after
// the terminator, no end-of-file byte, contradictory lengths), and the
// descriptor layout of the later dialects that keep 48-byte descriptors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_format.h"

namespace tolk::tools {

struct FieldSpec {
  std::string name;  // up to 10 characters are written
  char type = 'C';   // C N F D L M, or any letter for hostile files
  int width = 1;     // C up to 65535 (high byte in the decimals byte)
  int decimals = 0;
};

class DbfWriter {
 public:
  explicit DbfWriter(std::vector<FieldSpec> fields);
  ~DbfWriter();

  // Header settings and quirks; set before the first record when streaming.
  std::uint8_t version = 0x03;
  std::uint8_t tableFlags = 0;
  std::uint8_t languageDriver = 0;
  std::optional<std::uint32_t> headerRecordCount;  // default: the real count
  std::optional<std::uint16_t> headerLength;       // default: computed
  std::optional<std::uint16_t> recordLength;       // default: 1 + sum of widths
  // Version 0x04 and 0x8C tables (set `version` too): 36 more header bytes,
  // then 48-byte descriptors.
  bool longDescriptors = false;
  std::uint8_t terminator = dbf::kTerminator;
  bool writeTerminator = true;
  std::size_t gapAfterTerminator = 0;  // zero bytes before the first record
  bool eofMarker = true;
  std::string trailingBytes;  // appended after the records (and the 0x1A)

  // A record from one text per field, laid out by type: C left-aligned and
  // cut to the width; N and F right-aligned ("*" fill when too wide); D, L
  // and others left-aligned. Missing values are blanks.
  void AddRecord(const std::vector<std::string>& values, bool deleted = false);
  // A record from the bytes after the deletion flag, padded with blanks or
  // cut to the record length.
  void AddRawRecord(std::string_view fieldBytes, bool deleted = false);
  // Bytes written as they are, without any record framing.
  void AddRawBytes(std::string_view bytes);

  std::uint32_t RecordCount() const { return count_; }

  // Whole-file use: the bytes, or a file (throws std::runtime_error on failure).
  std::string Bytes() const;
  void WriteFile(const std::string& path) const;

  // Streaming use for large files: records go straight to `path`; Finish
  // writes the record count into the header and the end bytes.
  void StreamTo(const std::string& path);
  void Finish();

  std::size_t RecordLengthValue() const;
  std::size_t HeaderLengthValue() const;

 private:
  std::string HeaderBytes() const;
  void Emit(std::string_view bytes);

  std::vector<FieldSpec> fields_;
  std::string body_;
  std::uint32_t count_ = 0;
  std::FILE* stream_ = nullptr;
  std::string streamPath_;
  std::string record_;  // scratch
  std::vector<char> streamBuffer_;
};

}  // namespace tolk::tools
