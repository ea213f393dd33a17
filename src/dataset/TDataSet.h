// The record cursor every table is read through: open, walk from the first
// record to the end, read fields by name or position, close.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/TField.h"
#include "dataset/Variant.h"
#include "dataset/format_settings.h"

namespace tolk {

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// The ordered field list of an open table.
class TFields {
 public:
  int Count() const { return static_cast<int>(fields_.size()); }
  TField& operator[](int i) const { return *fields_[static_cast<std::size_t>(i)]; }
  TField* Find(std::string_view name) const;  // ignoring letter case
  void Add(std::unique_ptr<TField> f) { fields_.push_back(std::move(f)); }
  void Clear() { fields_.clear(); }
  auto begin() const { return fields_.begin(); }
  auto end() const { return fields_.end(); }

 private:
  std::vector<std::unique_ptr<TField>> fields_;
};

class TDataSet {
 public:
  explicit TDataSet(std::string name = {}) : Name(std::move(name)) {}
  virtual ~TDataSet() = default;
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  // The component name that prefixes database errors ("tbRiscos: ...").
  std::string Name;
  // Separators and date patterns for the text of floats and dates.
  TFormatSettings FormatSettings;

  void Open();   // positions on the first visible record; no-op when open
  void Close();  // no-op when closed
  bool Active() const { return state_ != TDataSetState::dsInactive; }
  TDataSetState State() const { return state_; }

  void First();
  void Next();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }

  virtual int RecordCount() = 0;
  virtual int RecNo() = 0;
  // True when the current record carries the deletion mark.
  virtual bool Deleted() { return false; }

  int FieldCount() const { return fields_.Count(); }
  const TFields& Fields() const { return fields_; }
  TField* FindField(std::string_view name) const { return fields_.Find(name); }
  // Fails with "Field '<name>' not found".
  TField& FieldByName(std::string_view name) const;
  // The value of one field, or an array of values for a ";" list of names.
  Variant FieldValues(std::string_view names) const;

  // Raises EDatabaseError with this table's name in front of the message.
  [[noreturn]] void DatabaseError(std::string_view message) const;

 protected:
  friend class TField;

  // Storage hooks. InternalOpen builds the fields; InternalFirst and
  // InternalNext answer whether a record became current.
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual bool InternalFirst() = 0;
  virtual bool InternalNext() = 0;

  // Has-value test (bytes only) and value read of the current record; the
  // read answers false, leaving `out` Null, when there is no value.
  virtual bool FieldIsNull(const TField& f) = 0;
  virtual bool FieldGetValue(const TField& f, Variant& out) = 0;
  virtual void FieldSetValue(TField& f, const Variant& v);

  void CheckActive() const;
  void SetState(TDataSetState s) { state_ = s; }
  void SetEof(bool eof) { eof_ = eof; }
  void SetBof(bool bof) { bof_ = bof; }
  TFields& MutableFields() { return fields_; }

 private:
  TFields fields_;
  TDataSetState state_ = TDataSetState::dsInactive;
  bool eof_ = true;
  bool bof_ = true;
};

}  // namespace tolk
