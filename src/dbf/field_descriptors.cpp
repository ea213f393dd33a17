#include "dbf/field_descriptors.h"

#include <string_view>

#include "dataset/coding.h"
#include "dataset/text.h"
#include "dbf/dbf_errors.h"
#include "dbf/dbf_format.h"

namespace tolk::dbf {

namespace {

// Whether dialect `v` knows one of the letters that only later dialects
// have (B G P T Y + I O @).
bool AllowedIn(char type, xBaseVersion v) {
  using enum xBaseVersion;
  switch (type) {
    case 'B':
    case 'G':
      return v != xClipper && v != xBaseIII;
    case 'P':
      return v >= xFoxPro;
    case 'T':
    case 'Y':
      return v >= xVisualFoxPro;
    default:  // + I O @
      return v == xBaseVII || v == xVisualFoxPro;
  }
}

// Name, type letter, length and decimals of one descriptor (`d` is one
// whole descriptor of the dialect's size).
DbfFieldDef Decode(coding::Bytes d, bool seven) {
  namespace c = coding;
  DbfFieldDef f;
  const c::Bytes name =
      d.subspan(seven ? kDesc7Name : kDescName, seven ? kDesc7NameSize : kDescNameSize);
  std::size_t n = 0;
  while (n < name.size() && name[n] != 0) ++n;
  f.name =
      UpperCaseAscii(TrimView(std::string_view(reinterpret_cast<const char*>(name.data()), n)));
  f.type = static_cast<char>(c::Load8(d, seven ? kDesc7Type : kDescType));
  f.length = c::Load8(d, seven ? kDesc7Width : kDescWidth);
  f.decimals = c::Load8(d, seven ? kDesc7Decimals : kDescDecimals);
  f.flags = seven ? 0 : c::Load8(d, kDescFlags);
  return f;
}

// The data width: a C field keeps the high byte of its width in the
// decimals byte; D, L and M are as wide in every dialect whatever their
// length byte says; the other letters take the length byte.
void SetDataWidth(DbfFieldDef& f, xBaseVersion v, const std::string& fileName) {
  switch (f.type) {
    case 'C':
      f.width = static_cast<std::uint16_t>(f.length | (f.decimals << 8));
      return;
    case 'D':
      f.width = kDateWidth;
      return;
    case 'L':
      f.width = kLogicalWidth;
      return;
    case 'M':
      f.width = kMemoWidth;
      return;
    case 'N':
    case 'F':
      f.width = f.length;
      return;
    case 'B':
    case 'G':
    case 'P':
    case 'T':
    case 'Y':
    case '+':
    case 'I':
    case 'O':
    case '@':
      if (!AllowedIn(f.type, v)) RaiseTypeOfLaterDialect(f.type);
      f.width = f.length;
      return;
    default:
      RaiseUnknownType(fileName, f.name, static_cast<std::uint8_t>(f.type));
  }
}

}  // namespace

std::vector<DbfFieldDef> ReadFieldDescriptors(std::span<const std::uint8_t> header,
                                              xBaseVersion version, std::uint32_t recordLength,
                                              const std::string& fileName) {
  const bool seven = version == xBaseVersion::xBaseV || version == xBaseVersion::xBaseVII;
  const std::size_t step = seven ? kDescriptorSize7 : kDescriptorSize;
  const bool vfp = version == xBaseVersion::xVisualFoxPro;
  std::vector<DbfFieldDef> defs;
  std::uint64_t offset = 1;  // after the deletion flag
  for (std::size_t pos = seven ? kDescriptorStart7 : kDescriptorStart;; pos += step) {
    if (pos >= header.size()) RaiseNoTerminator(fileName, header.size());
    if (coding::Load8(header, pos) == kTerminator) break;
    if (!coding::Fits(header.size(), pos, step)) RaiseNoTerminator(fileName, header.size());
    DbfFieldDef f = Decode(header.subspan(pos, step), seven);
    SetDataWidth(f, version, fileName);
    f.fieldType = DbfFieldType(f.type, f.width, f.type == 'C' ? 0 : f.decimals, vfp);
    f.kind = DbfKindOf(f.type, f.fieldType);
    f.offset = static_cast<std::uint32_t>(offset);
    offset += f.width;
    if (offset > recordLength) RaiseWidthsPastRecord(fileName, recordLength, f.name);
    defs.push_back(std::move(f));
  }
  return defs;
}

}  // namespace tolk::dbf
