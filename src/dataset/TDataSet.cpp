#include "dataset/TDataSet.h"

#include "dataset/Exceptions.h"
#include "dataset/number_format.h"
#include "dataset/text.h"

namespace tolk {

TField* TFields::Find(std::string_view name) const {
  for (const auto& f : fields_)
    if (SameTextAscii(f->FieldName(), name)) return f.get();
  return nullptr;
}

void TDataSet::DatabaseError(std::string_view message) const { RaiseDatabaseError(Name, message); }

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::Open() {
  if (Active()) return;
  try {
    InternalOpen();
  } catch (...) {
    InternalClose();
    fields_.Clear();
    throw;
  }
  state_ = TDataSetState::dsBrowse;
  First();
}

void TDataSet::Close() {
  if (!Active()) return;
  InternalClose();
  state_ = TDataSetState::dsInactive;
  eof_ = bof_ = true;
}

void TDataSet::First() {
  CheckActive();
  bool has = InternalFirst();
  bof_ = true;
  eof_ = !has;
}

void TDataSet::Next() {
  CheckActive();
  if (eof_) return;
  if (InternalNext())
    bof_ = false;
  else
    eof_ = true;
}

TField& TDataSet::FieldByName(std::string_view name) const {
  if (TField* f = FindField(name)) return *f;
  std::string msg = "Field '";
  msg += name;
  msg += "' not found";
  DatabaseError(msg);
}

Variant TDataSet::FieldValues(std::string_view names) const {
  if (names.find(';') == std::string_view::npos) return FieldByName(names).AsVariant();
  std::vector<Variant> values;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    std::string_view one = TrimView(names.substr(start, end - start));
    if (!one.empty()) values.push_back(FieldByName(one).AsVariant());
    start = end + 1;
  }
  return Variant::Array(std::move(values));
}

void TDataSet::FieldSetValue(TField&, const Variant&) {
  DatabaseError("Cannot modify a read-only dataset");
}

// --- TField -----------------------------------------------------------------

bool TField::IsNull() const { return owner_->FieldIsNull(*this); }

bool TField::GetData(Variant& out) const { return owner_->FieldGetValue(*this, out); }

void TField::GetVariant(Variant& out) const {
  switch (type_) {
    case TFieldType::ftLargeint:
      // Bytes that are not all blanks but parse to nothing read as 0.
      if (IsNull())
        out.SetNull();
      else if (!GetData(out))
        out.SetInt64(0);
      return;
    case TFieldType::ftMemo:
      if (!GetData(out)) out.SetString({});
      return;
    default:
      if (!GetData(out)) out.SetNull();
      return;
  }
}

Variant TField::AsVariant() const {
  Variant v;
  GetVariant(v);
  return v;
}

std::string TField::AsString() const {
  Variant v;
  if (!GetData(v)) return {};
  if (type_ == TFieldType::ftDate && v.Type() == VarType::Date)
    return DateToStr(v.Dbl(), owner_->FormatSettings);
  return VarToStr(v, owner_->FormatSettings);
}

double TField::AsFloat() const {
  Variant v;
  if (!GetData(v)) return 0;
  return VarToDouble(v);
}

void TField::SetAsVariant(const Variant& value) { owner_->FieldSetValue(*this, value); }

}  // namespace tolk
