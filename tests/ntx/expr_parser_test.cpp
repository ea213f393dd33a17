// Key expressions over a table's fields.
#include <gtest/gtest.h>

#include "dataset/Exceptions.h"
#include "ntx/TXQDBFExprParser.h"
#include "ntx/TXQDBFNTX.h"
#include "test_support.h"

namespace tolk {
namespace {

using testing::TempDir;

class TXQDBFExprParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tools::DbfWriter w({{"BILHETE", 'C', 10},
                        {"VALOR", 'N', 6, 2},
                        {"QTD", 'N', 4},
                        {"GRANDE", 'N', 12},
                        {"DATA", 'D', 8},
                        {"ATIVO", 'L', 1}});
    w.AddRecord({"AB", "3.40", "12", "-5", "20170801", "T"});
    w.AddRecord({"", "-3.40", "", "", "", ""});
    w.AddRecord({"X", "12345.6", "1A", "", "2017", "?"});
    w.WriteFile(dir.File("t.dbf"));
    table.DBFFileName = dir.File("t.dbf");
    table.Open();
  }

  std::string KeyOf(const std::string& expr) {
    TXQDBFExprParser p(table);
    p.Parse(expr);
    return p.EvaluateKey();
  }

  TempDir dir;
  TXQDBFNTX table{"tbRiscos"};
};

TEST_F(TXQDBFExprParserTest, KeyTextPerFieldType) {
  EXPECT_EQ(KeyOf("bilhete"), "AB        ");  // full width, letter case of the name ignored
  EXPECT_EQ(KeyOf("valor"), "003.40");
  EXPECT_EQ(KeyOf("qtd"), "0012");
  EXPECT_EQ(KeyOf("grande"), ",,,,,,,,,,,'");
  EXPECT_EQ(KeyOf("data"), "20170801");
  EXPECT_EQ(KeyOf("ativo"), "T");
  table.Next();  // blanks everywhere
  EXPECT_EQ(KeyOf("bilhete"), "          ");
  EXPECT_EQ(KeyOf("valor"), ",,).(,");
  EXPECT_EQ(KeyOf("qtd"), "0000");
  EXPECT_EQ(KeyOf("data"), "        ");
  EXPECT_EQ(KeyOf("ativo"), "F");
  table.Next();  // bytes that form no value read like blanks
  EXPECT_EQ(KeyOf("valor"), "000.00");
  EXPECT_EQ(KeyOf("qtd"), "0000");
  EXPECT_EQ(KeyOf("data"), "        ");
  EXPECT_EQ(KeyOf("ativo"), "F");
}

TEST_F(TXQDBFExprParserTest, KeyModeReadsUntrimmedWhateverTheTableSays) {
  table.TrimCType = true;
  EXPECT_EQ(KeyOf("BILHETE"), "AB        ");
  EXPECT_TRUE(table.TrimCType);
}

TEST_F(TXQDBFExprParserTest, SuppliedValuesAreFilledUnlessPartial) {
  TXQDBFExprParser p(table);
  p.Parse("bilhete");
  EXPECT_EQ(p.KeyFieldCount(), 1);
  const Variant ab[] = {Variant("AB")};
  EXPECT_EQ(p.EvaluateKeyWith(ab, false), "AB        ");
  EXPECT_EQ(p.EvaluateKeyWith(ab, true), "AB");
  const Variant longer[] = {Variant("ABCDEFGHIJKL")};
  EXPECT_EQ(p.EvaluateKeyWith(longer, false), "ABCDEFGHIJKL");
  const Variant null[] = {Variant::Null()};
  EXPECT_EQ(p.EvaluateKeyWith(null, false), "          ");
  EXPECT_EQ(p.EvaluateKeyWith({}, false), "          ");

  p.Parse("valor");
  const Variant number[] = {Variant(-3.4)};
  EXPECT_EQ(p.EvaluateKeyWith(number, false), ",,).(,");
}

TEST_F(TXQDBFExprParserTest, ConditionsAndConstants) {
  TXQDBFExprParser p(table);
  p.Parse("ativo");
  EXPECT_TRUE(p.EvaluateCondition());
  table.Next();
  EXPECT_FALSE(p.EvaluateCondition());
  p.Parse(".T.");
  EXPECT_TRUE(p.EvaluateCondition());
  p.Parse("  ");
  EXPECT_TRUE(p.Empty());
  EXPECT_EQ(p.KeyFieldCount(), 0);
}

TEST_F(TXQDBFExprParserTest, Errors) {
  TXQDBFExprParser p(table);
  EXPECT_THROW_MSG(p.Parse("xyz"), EDatabaseError, "tbRiscos: Field 'XYZ' not found");
  EXPECT_THROW_MSG(p.Parse("bilhete + valor"), EDatabaseError,
                   "Filter expression incorrectly terminated");
  EXPECT_THROW_MSG(p.Parse("UPPER(bilhete)"), EDatabaseError,
                   "Filter expression incorrectly terminated");
  EXPECT_THROW_MSG(p.Parse("+ bilhete"), EDatabaseError, "Expression expected but '+' found");
  EXPECT_TRUE(p.Empty()) << "a failed parse leaves no expression behind";
}

}  // namespace
}  // namespace tolk
