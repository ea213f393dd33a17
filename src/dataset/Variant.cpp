#include "dataset/Variant.h"

#include <cmath>
#include <limits>

#include "dataset/Exceptions.h"
#include "dataset/number_format.h"
#include "dataset/text.h"

namespace tolk {

const char* VarTypeName(VarType t) {
  switch (t) {
    case VarType::Unassigned:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::String:
      return "String";
    case VarType::Integer:
      return "Integer";
    case VarType::Int64:
      return "Int64";
    case VarType::Double:
      return "Double";
    case VarType::Date:
      return "Date";
    case VarType::Boolean:
      return "Boolean";
    case VarType::Array:
      return "Array";
  }
  return "Unknown";
}

Variant Variant::Array(std::vector<Variant> elements) {
  Variant v;
  v.type_ = VarType::Array;
  v.array_ = std::make_shared<const std::vector<Variant>>(std::move(elements));
  return v;
}

const std::vector<Variant>& Variant::Elements() const {
  static const std::vector<Variant> empty;
  return array_ ? *array_ : empty;
}

void VarToStr(const Variant& v, std::string& out, const TFormatSettings& fs) {
  switch (v.Type()) {
    case VarType::Unassigned:
      out.clear();
      return;
    case VarType::String:
      out.assign(v.Str());
      return;
    case VarType::Integer:
      out = std::to_string(v.Int());
      return;
    case VarType::Int64:
      out = std::to_string(v.Int64());
      return;
    case VarType::Double:
      out = FloatToStrGeneral(v.Dbl(), fs.DecimalSeparator);
      return;
    case VarType::Date:
      out = DateTimeToStr(v.Dbl(), fs);
      return;
    case VarType::Boolean:
      out = v.Bool() ? "True" : "False";
      return;
    case VarType::Null:
    case VarType::Array:
      break;
  }
  RaiseVariantTypeCast(VarTypeName(v.Type()), "String");
}

std::string VarToStr(const Variant& v, const TFormatSettings& fs) {
  std::string out;
  VarToStr(v, out, fs);
  return out;
}

namespace {

std::optional<double> TextToDouble(const std::string& s) { return ParseFloat(TrimView(s)); }

std::optional<bool> TextToBoolean(const std::string& s) {
  std::string_view t = TrimView(s);
  if (SameTextAscii(t, "True")) return true;
  if (SameTextAscii(t, "False")) return false;
  if (auto d = ParseFloat(t)) return *d != 0;
  return std::nullopt;
}

}  // namespace

double VarToDouble(const Variant& v) {
  switch (v.Type()) {
    case VarType::Unassigned:
      return 0;
    case VarType::Integer:
      return v.Int();
    case VarType::Int64:
      return static_cast<double>(v.Int64());
    case VarType::Double:
    case VarType::Date:
      return v.Dbl();
    case VarType::Boolean:
      return v.Bool() ? -1 : 0;
    case VarType::String:
      if (auto d = TextToDouble(v.Str())) return *d;
      break;
    case VarType::Null:
    case VarType::Array:
      break;
  }
  RaiseVariantTypeCast(VarTypeName(v.Type()), "Double");
}

std::int64_t VarToInt64(const Variant& v) {
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  switch (v.Type()) {
    case VarType::Unassigned:
      return 0;
    case VarType::Integer:
      return v.Int();
    case VarType::Int64:
      return v.Int64();
    case VarType::Boolean:
      return v.Bool() ? -1 : 0;
    case VarType::Double:
    case VarType::Date: {
      double r = std::nearbyint(v.Dbl());  // rounds half to even
      if (r >= -9.2e18 && r <= 9.2e18) return static_cast<std::int64_t>(r);
      break;
    }
    case VarType::String: {
      std::string_view t = TrimView(v.Str());
      if (auto i = ParseInteger(t, kMin, kMax)) return *i;
      if (auto d = ParseFloat(t)) {
        double r = std::nearbyint(*d);
        if (r >= -9.2e18 && r <= 9.2e18) return static_cast<std::int64_t>(r);
      }
      break;
    }
    case VarType::Null:
    case VarType::Array:
      break;
  }
  RaiseVariantTypeCast(VarTypeName(v.Type()), "Int64");
}

std::int32_t VarToInteger(const Variant& v) {
  if (v.Type() == VarType::Integer) return v.Int();
  if (v.IsNull() || v.Type() == VarType::Array)
    RaiseVariantTypeCast(VarTypeName(v.Type()), "Integer");
  std::int64_t wide = 0;
  try {
    wide = VarToInt64(v);
  } catch (const EVariantError&) {
    RaiseVariantTypeCast(VarTypeName(v.Type()), "Integer");
  }
  if (wide < std::numeric_limits<std::int32_t>::min() ||
      wide > std::numeric_limits<std::int32_t>::max())
    RaiseVariantTypeCast(VarTypeName(v.Type()), "Integer");
  return static_cast<std::int32_t>(wide);
}

bool VarToBoolean(const Variant& v) {
  switch (v.Type()) {
    case VarType::Unassigned:
      return false;
    case VarType::Boolean:
      return v.Bool();
    case VarType::Integer:
      return v.Int() != 0;
    case VarType::Int64:
      return v.Int64() != 0;
    case VarType::Double:
    case VarType::Date:
      return v.Dbl() != 0;
    case VarType::String:
      if (auto b = TextToBoolean(v.Str())) return *b;
      break;
    case VarType::Null:
    case VarType::Array:
      break;
  }
  RaiseVariantTypeCast(VarTypeName(v.Type()), "Boolean");
}

namespace {

int Sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

int CompareBytes(const std::string& a, const std::string& b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool IsEmptyLike(const Variant& v) { return v.IsNull() || v.IsUnassigned(); }

int CompareArrays(const Variant& a, const Variant& b) {
  const auto& x = a.Elements();
  const auto& y = b.Elements();
  for (std::size_t i = 0; i < x.size() && i < y.size(); ++i)
    if (int c = VarCompare(x[i], y[i])) return c;
  return x.size() < y.size() ? -1 : (x.size() > y.size() ? 1 : 0);
}

}  // namespace

int VarCompare(const Variant& a, const Variant& b) {
  const VarType ta = a.Type(), tb = b.Type();
  if (ta == VarType::Null || tb == VarType::Null) {
    if (ta == tb) return 0;
    return ta == VarType::Null ? -1 : 1;
  }
  if (ta == VarType::Array || tb == VarType::Array) {
    if (ta != tb) RaiseVariantTypeCast(VarTypeName(ta == VarType::Array ? tb : ta), "Array");
    return CompareArrays(a, b);
  }
  if (ta == VarType::Unassigned && tb == VarType::Unassigned) return 0;
  if (ta == VarType::String && tb == VarType::String) return CompareBytes(a.Str(), b.Str());
  if (ta == VarType::Unassigned && tb == VarType::String)
    return CompareBytes(std::string(), b.Str());
  if (ta == VarType::String && tb == VarType::Unassigned)
    return CompareBytes(a.Str(), std::string());
  if (ta == VarType::Boolean || tb == VarType::Boolean) {
    bool x = VarToBoolean(a), y = VarToBoolean(b);
    return x == y ? 0 : (x ? 1 : -1);  // False orders before True
  }
  auto isInt = [](VarType t) { return t == VarType::Integer || t == VarType::Int64; };
  if (isInt(ta) && isInt(tb)) {
    std::int64_t x = VarToInt64(a), y = VarToInt64(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  // Numbers and dates, with text converted to a number (failing when it is not one).
  return Sign(VarToDouble(a) - VarToDouble(b));
}

bool VarEquals(const Variant& a, const Variant& b) {
  if (IsEmptyLike(a) || IsEmptyLike(b)) return a.Type() == b.Type();
  return VarCompare(a, b) == 0;
}

}  // namespace tolk
