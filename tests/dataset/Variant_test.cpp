#include "dataset/Variant.h"

#include <gtest/gtest.h>

#include "dataset/Exceptions.h"
#include "test_support.h"

namespace tolk {
namespace {

TEST(VariantTest, StrictNullConversionNamesBothTypes) {
  EXPECT_THROW_MSG(VarToStr(Variant::Null()), EVariantError,
                   "Could not convert variant of type (Null) into type (String)");
  EXPECT_THROW_MSG(VarToDouble(Variant::Null()), EVariantError,
                   "Could not convert variant of type (Null) into type (Double)");
  EXPECT_THROW_MSG(VarToInteger(Variant("12a")), EVariantError,
                   "Could not convert variant of type (String) into type (Integer)");
  EXPECT_EQ(VarToStr(Variant()), "");  // Unassigned reads as empty text
}

TEST(VariantTest, TextOfEachKind) {
  TFormatSettings br;
  br.DecimalSeparator = ',';
  EXPECT_EQ(VarToStr(Variant(std::int32_t{-45})), "-45");
  EXPECT_EQ(VarToStr(Variant(std::int64_t{123456789012})), "123456789012");
  EXPECT_EQ(VarToStr(Variant(1234.5), br), "1234,5");
  EXPECT_EQ(VarToStr(Variant(12.0), br), "12");
  EXPECT_EQ(VarToStr(Variant(true)), "True");
  EXPECT_EQ(VarToStr(Variant::Date(42948.0), br), "01/08/2017");
}

TEST(VariantTest, ComparisonHandlesNullWithoutError) {
  EXPECT_FALSE(VarEquals(Variant::Null(), Variant("00000")));
  EXPECT_FALSE(VarEquals(Variant("00000"), Variant::Null()));
  EXPECT_TRUE(VarEquals(Variant::Null(), Variant::Null()));
  EXPECT_LT(VarCompare(Variant::Null(), Variant(std::int32_t{0})), 0);
}

TEST(VariantTest, TextComparesExactlyAndAgainstNumbersByValue) {
  EXPECT_TRUE(VarEquals(Variant("AB   "), Variant("AB   ")));
  EXPECT_FALSE(VarEquals(Variant("AB   "), Variant("AB")));  // trailing blanks count
  EXPECT_FALSE(VarEquals(Variant("ab"), Variant("AB")));
  EXPECT_TRUE(VarEquals(Variant(std::int32_t{123}), Variant("00123")));
  EXPECT_TRUE(VarEquals(Variant(std::int64_t{5}), Variant(5.0)));
  EXPECT_LT(VarCompare(Variant("2017080"), Variant("20170801")), 0);
  // Text that is no number cannot be compared with one.
  EXPECT_THROW_MSG(VarEquals(Variant(std::int32_t{5}), Variant("")), EVariantError,
                   "Could not convert variant of type (String) into type (Double)");
}

TEST(VariantTest, NumericTextConvertsToIntegers) {
  EXPECT_EQ(VarToInteger(Variant("  42")), 42);
  EXPECT_EQ(VarToInteger(Variant(2.5)), 2);  // half to even
  EXPECT_EQ(VarToInteger(Variant(3.5)), 4);
  EXPECT_THROW(VarToInteger(Variant(std::int64_t{1} << 40)), EVariantError);
  EXPECT_THROW(VarToInteger(Variant::Null()), EVariantError);
}

TEST(VariantTest, ReusedStringKeepsItsStorage) {
  Variant v;
  v.SetString("a text of some twenty chars");
  const char* before = v.Str().data();
  v.SetInteger(3);
  v.SetString("short");
  EXPECT_EQ(v.Str().data(), before);
  EXPECT_EQ(v.Str(), "short");
}

}  // namespace
}  // namespace tolk
