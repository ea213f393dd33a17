// One field of the current record, read the way every stage of a run reads
// it: a character column of a dBASE table in place (its stored bytes, never
// Null), any other field through its value.
#pragma once

#include <string>
#include <string_view>

#include "dataset/TField.h"
#include "dataset/Variant.h"
#include "dataset/format_settings.h"
#include "dbf/field_conversion.h"

namespace tolk {

class CampoLido {
 public:
  explicit CampoLido(const TField& f) : field_(&f), inPlace_(DbfField::InPlaceText(f)) {}

  // Reads the current record's value. Call it once a record before asking.
  void Le() {
    if (inPlace_)
      view_ = inPlace_->TextView();
    else
      field_->GetVariant(value_);
  }
  bool Nulo() const { return !inPlace_ && value_.IsNull(); }
  // The value as text: the stored bytes in place, a string's own bytes, or
  // a conversion (which fails for Null, as every text conversion does).
  // Valid until the next call or record.
  std::string_view Texto(const TFormatSettings& fs) {
    if (inPlace_) return view_;
    if (value_.Type() == VarType::String) return value_.Str();
    VarToStr(value_, buf_, fs);
    return buf_;
  }
  // Whether the value equals `text` as two values compare; `valor` is
  // Variant(text), made once by the caller instead of once a record.
  bool Igual(std::string_view text, const Variant& valor) const {
    return inPlace_ ? view_ == text : VarEquals(value_, valor);
  }
  bool NoLugar() const { return inPlace_ != nullptr; }
  const TField& Campo() const { return *field_; }

 private:
  const TField* field_;
  const DbfField* inPlace_;
  std::string_view view_;  // in place: the stored text, until the record moves
  Variant value_;
  std::string buf_;
};

}  // namespace tolk
