#include "dbf/field_conversion.h"

#include <gtest/gtest.h>

#include <locale>

#include "dataset/number_format.h"
#include "dbf/TXQSmartDBF.h"
#include "test_support.h"

namespace tolk {
namespace {

using tools::DbfWriter;

// One column, one raw value per record; returns the opened table.
class OneColumn {
 public:
  OneColumn(char type, int width, int decimals, const std::vector<std::string>& raw) {
    DbfWriter w({{"F", type, width, decimals}});
    for (const auto& r : raw) w.AddRawRecord(r);
    w.WriteFile(dir_.File("t.dbf"));
    table_.DBFFileName = dir_.File("t.dbf");
    table_.Open();
  }
  TField& At(int recno) {
    table_.GoToRecord(static_cast<std::uint32_t>(recno));
    return table_.Fields()[0];
  }

 private:
  testing::TempDir dir_;
  TXQSmartDBF table_;
};

TEST(FieldConversionTest, CharacterKeepsBlanksAndStopsAtNul) {
  OneColumn c('C', 5, 0, {"AB   ", "     ", std::string("AB\0CD", 5)});
  EXPECT_EQ(c.At(1).AsVariant().Str(), "AB   ");
  EXPECT_FALSE(c.At(2).IsNull());
  EXPECT_EQ(c.At(2).AsString(), "     ");
  EXPECT_EQ(c.At(3).AsString(), "AB");
  EXPECT_EQ(c.At(1).DataType(), TFieldType::ftString);
}

TEST(FieldConversionTest, IntegersAndTheLargeintQuirk) {
  OneColumn n('N', 7, 0, {"    123", "    -45", "123    ", "       ", "    $1F", " 1A    "});
  EXPECT_EQ(n.At(1).AsVariant().Int(), 123);
  EXPECT_EQ(n.At(2).AsVariant().Int(), -45);
  for (int r : {3, 6}) {  // not a number: has a value, but it reads as nothing
    EXPECT_FALSE(n.At(r).IsNull()) << r;
    EXPECT_TRUE(n.At(r).AsVariant().IsNull()) << r;
    EXPECT_EQ(n.At(r).AsString(), "") << r;
    EXPECT_EQ(n.At(r).AsFloat(), 0.0) << r;
  }
  EXPECT_TRUE(n.At(4).IsNull());
  EXPECT_TRUE(n.At(4).AsVariant().IsNull());
  EXPECT_EQ(n.At(5).AsVariant().Int(), 31);

  OneColumn big('N', 12, 0, {"123456789012", "ABCDEFGHIJKL", "            "});
  EXPECT_EQ(big.At(1).DataType(), TFieldType::ftLargeint);
  EXPECT_EQ(big.At(1).AsVariant().Int64(), 123456789012);
  Variant quirk = big.At(2).AsVariant();  // letters: Int64 0, but no text
  EXPECT_EQ(quirk.Type(), VarType::Int64);
  EXPECT_EQ(quirk.Int64(), 0);
  EXPECT_EQ(big.At(2).AsString(), "");
  EXPECT_TRUE(big.At(3).AsVariant().IsNull());
}

TEST(FieldConversionTest, FloatsParseWithAPointWhateverTheLocale) {
  struct Comma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  std::locale before = std::locale::global(std::locale(std::locale::classic(), new Comma));
  OneColumn f('F', 16, 4,
              {"       1234.5000", "       1234,5000", "           1.5E3", std::string(16, ' '),
               std::string("1234.") + std::string(7, ' ') + std::string(4, '\0'), "+-5", "-+5"});
  EXPECT_EQ(f.At(1).AsVariant().Dbl(), 1234.5);
  for (int r : {2, 6, 7}) {  // not a number (one sign at most): has a value that reads as nothing
    EXPECT_TRUE(f.At(r).AsVariant().IsNull()) << r;
    EXPECT_FALSE(f.At(r).IsNull()) << r;
  }
  EXPECT_EQ(f.At(3).AsFloat(), 1500.0);
  EXPECT_TRUE(f.At(4).IsNull());
  EXPECT_TRUE(f.At(5).AsVariant().IsNull());  // NUL padding is not a number
  std::locale::global(before);
}

TEST(FieldConversionTest, DatesMustBeCalendarDates) {
  OneColumn d('D', 8, 0,
              {"20160229", "20170229", "2017    ", "     101", "00000000", "        ", "2017-8-1"});
  Variant v = d.At(1).AsVariant();
  ASSERT_EQ(v.Type(), VarType::Date);
  int y, m, dd;
  DecodeDate(v.Dbl(), y, m, dd);
  EXPECT_EQ(y * 10000 + m * 100 + dd, 20160229);
  for (int r : {2, 3, 4, 5, 7}) {
    EXPECT_FALSE(d.At(r).IsNull()) << r;
    EXPECT_TRUE(d.At(r).AsVariant().IsNull()) << r;
  }
  EXPECT_TRUE(d.At(6).IsNull());
}

TEST(FieldConversionTest, LogicalsAreTOrF) {
  OneColumn l('L', 1, 0, {"T", "F", "t", "Y", "?", " "});
  EXPECT_TRUE(l.At(1).AsVariant().Bool());
  EXPECT_FALSE(l.At(2).AsVariant().Bool());
  EXPECT_EQ(l.At(1).AsString(), "True");
  for (int r : {3, 4, 5}) {
    EXPECT_FALSE(l.At(r).IsNull()) << r;
    EXPECT_TRUE(l.At(r).AsVariant().IsNull()) << r;
  }
  EXPECT_TRUE(l.At(6).IsNull());
}

TEST(FieldConversionTest, MemoIsNeverNull) {
  OneColumn m('M', 10, 0, {"         1", "          "});
  EXPECT_EQ(m.At(1).AsVariant().Type(), VarType::String);
  EXPECT_TRUE(m.At(2).IsNull());
  EXPECT_EQ(m.At(2).AsVariant().Type(), VarType::String);
}

}  // namespace
}  // namespace tolk
