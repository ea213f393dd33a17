#include "dbf/field_conversion.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "dataset/number_format.h"

namespace tolk {

TFieldType DbfFieldType(char type, std::uint16_t width, std::uint8_t decimals, bool visualFoxPro) {
  switch (type) {
    case 'C':
      return TFieldType::ftString;
    case 'N':
    case 'F':
      if (decimals > 0) return TFieldType::ftFloat;
      return width < 10 ? TFieldType::ftInteger : TFieldType::ftLargeint;
    case 'D':
      return TFieldType::ftDate;
    case 'L':
      return TFieldType::ftBoolean;
    case 'M':
      return TFieldType::ftMemo;
    case 'B':
      return visualFoxPro ? TFieldType::ftFloat : TFieldType::ftBlob;
    case 'G':
      return TFieldType::ftDBaseOle;
    case 'P':
      return TFieldType::ftGraphic;
    case 'T':
      return TFieldType::ftDateTime;
    case 'Y':
      return TFieldType::ftCurrency;
    case '+':
      return TFieldType::ftAutoInc;
    case 'I':
      return TFieldType::ftInteger;
    case 'O':
      return TFieldType::ftFloat;
    case '@':
      return TFieldType::ftTimeStamp;
    default:
      return TFieldType::ftUnknown;
  }
}

namespace {

int Digit(std::uint8_t c) { return (c >= '0' && c <= '9') ? c - '0' : -1; }

bool ReadDate(const std::uint8_t* p, Variant& out) {
  int v[8];
  for (int i = 0; i < 8; ++i)
    if ((v[i] = Digit(p[i])) < 0) return false;
  int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  int m = v[4] * 10 + v[5];
  int d = v[6] * 10 + v[7];
  if (!IsValidDate(y, m, d)) return false;
  out.SetDate(EncodeDate(y, m, d));
  return true;
}

}  // namespace

DbfValueKind DbfKindOf(char type, TFieldType t) {
  switch (type) {
    case 'C':
      return DbfValueKind::Text;
    case 'N':
    case 'F':
      if (t == TFieldType::ftFloat) return DbfValueKind::Float;
      return t == TFieldType::ftInteger ? DbfValueKind::Int32 : DbfValueKind::Int64;
    case 'D':
      return DbfValueKind::Date;
    case 'L':
      return DbfValueKind::Logical;
    default:
      return DbfValueKind::Unread;  // memo contents and later binary types
  }
}

bool DbfReadValue(const DbfFieldDef& f, const std::uint8_t* record, bool trimC, Variant& out) {
  const std::uint8_t* p = record + f.offset;
  const std::size_t w = f.width;
  std::string_view text(reinterpret_cast<const char*>(p), w);
  switch (f.kind) {
    case DbfValueKind::Text: {
      // The text ends at the first NUL inside the field.
      std::size_t n = BytesBeforeNul(p, w);
      if (trimC) {
        while (n > 0 && p[n - 1] == ' ') --n;
        if (n == 0) return false;
      }
      out.SetString(text.substr(0, n));
      return true;
    }
    case DbfValueKind::Float: {
      if (AllBlanks(p, w)) return false;
      auto d = ParseFloat(text);
      if (!d) return false;
      out.SetDouble(*d);
      return true;
    }
    case DbfValueKind::Int32: {
      auto i = ParseInteger(text, std::numeric_limits<std::int32_t>::min(),
                            std::numeric_limits<std::int32_t>::max());
      if (!i) return false;
      out.SetInteger(static_cast<std::int32_t>(*i));
      return true;
    }
    case DbfValueKind::Int64: {
      auto i = ParseInteger(text, std::numeric_limits<std::int64_t>::min(),
                            std::numeric_limits<std::int64_t>::max());
      if (!i) return false;
      out.SetInt64(*i);
      return true;
    }
    case DbfValueKind::Date:
      if (w < 8 || AllBlanks(p, w)) return false;
      return ReadDate(p, out);
    case DbfValueKind::Logical:
      if (w < 1) return false;
      if (p[0] == 'T') return out.SetBoolean(true), true;
      if (p[0] == 'F') return out.SetBoolean(false), true;
      return false;
    case DbfValueKind::Unread:
      break;
  }
  return false;
}

// --- DbfField -------------------------------------------------------------------

void DbfField::GetVariant(Variant& out) const {
  const std::uint8_t* rec = view_->Get();
  if (rec && DbfReadValue(def_, rec, *trimC_, out)) return;
  // No value: Null, except that a memo reads as empty text and that a
  // large integer whose bytes are not all blanks reads as 0.
  if (def_.fieldType == TFieldType::ftMemo)
    out.SetString({});
  else if (def_.kind == DbfValueKind::Int64 && rec && DbfFieldHasValue(def_, rec, *trimC_))
    out.SetInt64(0);
  else
    out.SetNull();
}

bool DbfField::GetData(Variant& out) const {
  const std::uint8_t* rec = view_->Get();
  if (rec && DbfReadValue(def_, rec, *trimC_, out)) return true;
  out.SetNull();
  return false;
}

}  // namespace tolk
