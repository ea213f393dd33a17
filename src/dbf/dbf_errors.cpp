#include "dbf/dbf_errors.h"

#include "dataset/Exceptions.h"

namespace tolk::dbf {

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// A type letter as it may appear in a message: printable as itself, else \xNN.
std::string LetterText(std::uint8_t c) {
  if (c >= 0x21 && c < 0x7F) return std::string(1, static_cast<char>(c));
  static const char* hex = "0123456789ABCDEF";
  return std::string("\\x") + hex[c >> 4] + hex[c & 15];
}

[[noreturn]] void RaiseDamaged(const std::string& fileName, const std::string& what) {
  RaiseError("TXQSmartDBF.InternalOpen: File " + Quoted(fileName) + " is damaged: " + what);
}

[[noreturn]] void RaiseFieldDefsError(const std::string& text) {
  RaiseError("TXQSmartDBF.HiddenInitFieldDefs: " + text);
}

}  // namespace

void RaiseOpenError(const std::string& fileName) {
  RaiseError("TXQSmartDBF.InternalOpen: Open error " + Quoted(fileName));
}

void RaiseReadError(const std::string& fileName) {
  RaiseError("TXQSmartDBF.InternalOpen: Read error " + Quoted(fileName));
}

void RaiseNotDbfFile(const std::string& fileName) {
  RaiseError("TXQSmartDBF.InternalOpen: File " + Quoted(fileName) + " is not DBF file");
}

void RaiseBufferTooSmall() { RaiseError("TXQSmartDBF.InternalOpen: BufferSize too small!"); }

void RaiseEmptyFile(const std::string& fileName) { RaiseDamaged(fileName, "the file is empty"); }

void RaiseHeaderCut(const std::string& fileName, std::int64_t got) {
  RaiseDamaged(fileName, "the header is cut short (" + std::to_string(got) + " of 32 bytes)");
}

void RaiseExtendedHeaderCut(const std::string& fileName) {
  RaiseDamaged(fileName, "the extended header is cut short");
}

void RaiseRecordLengthZero(const std::string& fileName) {
  RaiseDamaged(fileName, "the record length is 0");
}

void RaiseHeaderPastEnd(const std::string& fileName, std::uint32_t headerLength,
                        std::uint64_t fileSize) {
  RaiseDamaged(fileName, "the header length " + std::to_string(headerLength) +
                             " is past the end of the file (" + std::to_string(fileSize) +
                             " bytes)");
}

void RaiseNoTerminator(const std::string& fileName, std::size_t headerLength) {
  RaiseDamaged(fileName, "the field descriptors have no 0x0D terminator inside the header length " +
                             std::to_string(headerLength));
}

void RaiseWidthsPastRecord(const std::string& fileName, std::uint32_t recordLength,
                           const std::string& fieldName) {
  RaiseDamaged(fileName, "the field widths add up to more than the record length " +
                             std::to_string(recordLength) + " minus the deletion flag (at field " +
                             Quoted(fieldName) + ")");
}

void RaiseTypeOfLaterDialect(char type) {
  switch (type) {
    case 'B':
    case 'G':
      RaiseFieldDefsError(
          "DBF Version must be greater then xBaseIII for field type \"B\" and \"G\"!");
    case 'P':
      RaiseFieldDefsError("DBF Version must be xFoxPro or greater for field type \"P\"!");
    case 'T':
    case 'Y':
      RaiseFieldDefsError("DBF Version must be xVisualFoxPro or greater for field type \"" +
                          std::string(1, type) + "\"!");
    default:  // + I O @
      RaiseFieldDefsError(
          "DBF Version must be greater then xBaseV for field type \"+\", \"I\", \"O\" and "
          "\"@\"!");
  }
}

void RaiseUnknownType(const std::string& fileName, const std::string& fieldName,
                      std::uint8_t letter) {
  RaiseFieldDefsError("Field " + Quoted(fieldName) + " of " + Quoted(fileName) +
                      " has the unknown type letter \"" + LetterText(letter) + "\"");
}

}  // namespace tolk::dbf
