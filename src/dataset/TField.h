// One column of a table as the record cursor exposes it. A field owns no
// data: reads and writes go to its table's current record.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/TFieldType.h"
#include "dataset/Variant.h"

namespace tolk {

class TDataSet;

class TField {
 public:
  TField(TDataSet& owner, std::string name, TFieldType type, int size, int index)
      : owner_(&owner), name_(std::move(name)), type_(type), size_(size), index_(index) {}
  virtual ~TField() = default;

  const std::string& FieldName() const { return name_; }
  TFieldType DataType() const { return type_; }
  int Size() const { return size_; }  // width for ftString, 0 otherwise
  int Index() const { return index_; }
  TDataSet& DataSet() const { return *owner_; }

  // True when the current record holds no value (also on an empty table).
  // Storage kinds may answer it themselves; by default the table does.
  virtual bool IsNull() const;
  // The value read: false, leaving `out` Null, when the record holds no value
  // or its bytes form none. By default the table answers.
  virtual bool GetData(Variant& out) const;
  // Null when IsNull, and for most types when the stored bytes form no valid
  // value; ftLargeint gives Int64 0 for such bytes, ftMemo is never Null.
  Variant AsVariant() const;
  // The same into a caller's variant, reusing its string storage.
  virtual void GetVariant(Variant& out) const;
  // Text of the value; the empty string when the field has no value.
  std::string AsString() const;
  // The value as a double for the numeric kinds; 0 when there is none.
  double AsFloat() const;
  // Writes the current record's value (tables that can be edited).
  void SetAsVariant(const Variant& value);

 private:
  TDataSet* owner_;
  std::string name_;
  TFieldType type_;
  int size_;
  int index_;
};

}  // namespace tolk
