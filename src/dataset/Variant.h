// Tagged values handed out by fields. Null is distinct from an empty string
// and from zero; converting Null to anything fails (strict null conversion),
// comparing with Null does not.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/format_settings.h"

namespace tolk {

enum class VarType : std::uint8_t {
  Unassigned,
  Null,
  String,
  Integer,
  Int64,
  Double,
  Date,
  Boolean,
  Array
};

const char* VarTypeName(VarType t);

class Variant {
 public:
  Variant() = default;  // Unassigned
  Variant(std::string_view s) : type_(VarType::String), str_(s) {}
  Variant(const std::string& s) : type_(VarType::String), str_(s) {}
  Variant(std::string&& s) : type_(VarType::String), str_(std::move(s)) {}
  Variant(const char* s) : type_(VarType::String), str_(s) {}
  Variant(std::int32_t v) : type_(VarType::Integer) { num_.i = v; }
  Variant(std::int64_t v) : type_(VarType::Int64) { num_.l = v; }
  Variant(double v) : type_(VarType::Double) { num_.d = v; }
  Variant(bool v) : type_(VarType::Boolean) { num_.b = v; }

  static Variant Null() {
    Variant v;
    v.type_ = VarType::Null;
    return v;
  }
  static Variant Date(double dateTime) {
    Variant v;
    v.type_ = VarType::Date;
    v.num_.d = dateTime;
    return v;
  }
  static Variant Array(std::vector<Variant> elements);

  VarType Type() const { return type_; }
  bool IsNull() const { return type_ == VarType::Null; }
  bool IsUnassigned() const { return type_ == VarType::Unassigned; }
  bool IsNumeric() const {
    return type_ == VarType::Integer || type_ == VarType::Int64 || type_ == VarType::Double;
  }

  // Raw access; the caller has checked the type.
  const std::string& Str() const { return str_; }
  std::int32_t Int() const { return num_.i; }
  std::int64_t Int64() const { return num_.l; }
  double Dbl() const { return num_.d; }
  bool Bool() const { return num_.b; }
  const std::vector<Variant>& Elements() const;

  // In-place setters: a string keeps its capacity, so a variant reused for
  // every record of a walk does not allocate once it is wide enough.
  void SetUnassigned() { type_ = VarType::Unassigned; }
  void SetNull() { type_ = VarType::Null; }
  void SetString(std::string_view s) {
    type_ = VarType::String;
    // resize + copy: no reallocation once the capacity suffices, and no
    // overlap handling, which the general assign pays for.
    str_.resize(s.size());
    if (!s.empty()) std::memcpy(str_.data(), s.data(), s.size());
  }
  void SetInteger(std::int32_t v) { type_ = VarType::Integer, num_.i = v; }
  void SetInt64(std::int64_t v) { type_ = VarType::Int64, num_.l = v; }
  void SetDouble(double v) { type_ = VarType::Double, num_.d = v; }
  void SetDate(double v) { type_ = VarType::Date, num_.d = v; }
  void SetBoolean(bool v) { type_ = VarType::Boolean, num_.b = v; }

 private:
  VarType type_ = VarType::Unassigned;
  union {
    std::int32_t i;
    std::int64_t l;
    double d;
    bool b;
  } num_{};
  std::string str_;
  std::shared_ptr<const std::vector<Variant>> array_;
};

// Conversions. Null fails with "Could not convert variant of type (Null) into
// type (<target>)"; text that does not convert fails the same way with (String).
std::string VarToStr(const Variant& v, const TFormatSettings& fs = DefaultFormatSettings());
void VarToStr(const Variant& v, std::string& out,
              const TFormatSettings& fs = DefaultFormatSettings());
double VarToDouble(const Variant& v);
std::int32_t VarToInteger(const Variant& v);
std::int64_t VarToInt64(const Variant& v);
bool VarToBoolean(const Variant& v);

// Comparison. Null equals only Null and orders before every value; text
// against a number converts the text (and fails as a conversion when it is
// not a number); text against text compares bytes.
bool VarEquals(const Variant& a, const Variant& b);
int VarCompare(const Variant& a, const Variant& b);

}  // namespace tolk
