// Turning the bytes of one field of a record into its has-value answer and
// its value. Both read only [offset, offset + width) of the record, which the
// open has checked to lie inside it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dataset/TField.h"
#include "dataset/TFieldType.h"
#include "dataset/Variant.h"
#include "dataset/byte_scan.h"

namespace tolk {

// How a field's bytes are read, decided once at open.
enum class DbfValueKind : std::uint8_t { Text, Int32, Int64, Float, Date, Logical, Unread };

// A field as the descriptor gives it, with its place in the record.
struct DbfFieldDef {
  std::string name;           // trimmed, a-z in upper case
  char type = 'C';            // descriptor type letter
  std::uint16_t width = 0;    // data width in the record
  std::uint8_t length = 0;    // descriptor byte 16 as stored
  std::uint8_t decimals = 0;  // descriptor byte 17 as stored
  std::uint8_t flags = 0;
  std::uint32_t offset = 0;  // from the record start (the deletion flag is byte 0)
  TFieldType fieldType = TFieldType::ftUnknown;
  DbfValueKind kind = DbfValueKind::Unread;
};

DbfValueKind DbfKindOf(char type, TFieldType fieldType);

// The field type of a dBASE column: C ftString; N/F ftFloat with decimals,
// else ftInteger below width 10 and ftLargeint from 10; D ftDate; L
// ftBoolean; M ftMemo; the letters of the later dialects their own kinds.
TFieldType DbfFieldType(char type, std::uint16_t width, std::uint8_t decimals, bool visualFoxPro);

// Has-value test: C always (unless trimC and all blanks); every other type
// unless all of its bytes are blanks.
inline bool DbfFieldHasValue(const DbfFieldDef& f, const std::uint8_t* record, bool trimC) {
  if (f.kind == DbfValueKind::Text && !trimC) return true;
  return !AllBlanks(record + f.offset, f.width);
}

// Value read; false when the bytes form no value of the type.
bool DbfReadValue(const DbfFieldDef& f, const std::uint8_t* record, bool trimC, Variant& out);

// Where the fields of a table read its current record. A key seek moves the
// table without reading the record; `load` is then set, and the first field
// read has the table read it (filling `bytes`, or clearing it when the record
// can no longer be read).
struct DbfRecordView {
  const std::uint8_t* bytes = nullptr;  // nullptr: no current record
  void (*load)(void* owner) = nullptr;
  void* owner = nullptr;
  const std::uint8_t* Get() const {
    if (load) [[unlikely]]
      load(owner);
    return bytes;
  }
};

// A field of a dBASE table: answers its own reads from the table's record
// view (null when the table has no current record).
class DbfField : public TField {
 public:
  DbfField(TDataSet& owner, const DbfFieldDef& def, int index, const DbfRecordView* view,
           const bool* trimC)
      : TField(owner, def.name, def.fieldType,
               def.fieldType == TFieldType::ftString ? def.width : 0, index),
        def_(def),
        view_(view),
        trimC_(trimC) {}
  bool IsNull() const override {
    const std::uint8_t* rec = view_->Get();
    return !rec || !DbfFieldHasValue(def_, rec, *trimC_);
  }
  bool GetData(Variant& out) const override;
  // The field's value in one step, with the null rules of each type.
  void GetVariant(Variant& out) const override;
  // A character field's text without a copy: the stored bytes up to the
  // first NUL, valid until the record view moves. Requires a current record
  // and TrimCType off (then the text is the field's whole value).
  std::string_view TextView() const {
    const std::uint8_t* p = view_->Get() + def_.offset;
    return {reinterpret_cast<const char*>(p), BytesBeforeNul(p, def_.width)};
  }
  // `f` as a character field of a dBASE table that does not trim: never
  // Null, and its value is exactly its stored text, read in place through
  // TextView. Null for any other field.
  static const DbfField* InPlaceText(const TField& f) {
    const auto* d = dynamic_cast<const DbfField*>(&f);
    return d && d->def_.kind == DbfValueKind::Text && !d->TrimsText() ? d : nullptr;
  }
  bool HasRecord() const { return view_->Get() != nullptr; }
  bool TrimsText() const { return *trimC_; }
  const DbfFieldDef& Def() const { return def_; }

 private:
  DbfFieldDef def_;
  const DbfRecordView* view_;  // the table's record view
  const bool* trimC_;          // the table's TrimCType, which may change while open
};

}  // namespace tolk
