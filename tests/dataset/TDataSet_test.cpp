#include "dataset/TDataSet.h"

#include <gtest/gtest.h>

#include "dataset/Exceptions.h"
#include "test_support.h"

namespace tolk {
namespace {

// A fixed three-row table whose cells are variants, to drive the cursor.
class RowsTable : public TDataSet {
 public:
  explicit RowsTable(std::string name) : TDataSet(std::move(name)) {}
  std::vector<std::vector<Variant>> rows = {{Variant("A"), Variant(std::int32_t{1})},
                                            {Variant("B"), Variant::Null()},
                                            {Variant("C"), Variant(std::int32_t{3})}};
  int RecordCount() override { return static_cast<int>(rows.size()); }
  int RecNo() override { return pos_ + 1; }

 protected:
  void InternalOpen() override {
    MutableFields().Add(std::make_unique<TField>(*this, "COD_SEG", TFieldType::ftString, 5, 0));
    MutableFields().Add(std::make_unique<TField>(*this, "VALOR", TFieldType::ftInteger, 0, 1));
  }
  void InternalClose() override { MutableFields().Clear(); }
  bool InternalFirst() override { return !rows.empty() && (pos_ = 0, true); }
  bool InternalNext() override {
    if (pos_ + 1 >= static_cast<int>(rows.size())) return false;
    ++pos_;
    return true;
  }
  bool FieldIsNull(const TField& f) override { return Cell(f).IsNull(); }
  bool FieldGetValue(const TField& f, Variant& out) override {
    out = Cell(f);
    return !out.IsNull();
  }

 private:
  const Variant& Cell(const TField& f) {
    return rows[static_cast<std::size_t>(pos_)][static_cast<std::size_t>(f.Index())];
  }
  int pos_ = 0;
};

TEST(TDataSetTest, WalkStopsOnTheLastRecord) {
  RowsTable t("tbRiscos");
  t.Open();
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.Eof());
  t.Next();
  t.Next();
  EXPECT_EQ(t.RecNo(), 3);
  t.Next();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.RecNo(), 3);  // the last record stays current
  t.Next();
  EXPECT_EQ(t.FieldByName("cod_seg").AsString(), "C");
}

TEST(TDataSetTest, ErrorsCarryTheComponentName) {
  RowsTable t("tbRiscos");
  EXPECT_THROW_MSG(t.First(), EDatabaseError,
                   "tbRiscos: Cannot perform this operation on a closed dataset");
  EXPECT_THROW_MSG(t.FieldByName("COD_SEG"), EDatabaseError, "tbRiscos: Field 'COD_SEG' not found");
  t.Open();
  EXPECT_THROW_MSG(t.FieldByName("XYZ"), EDatabaseError, "tbRiscos: Field 'XYZ' not found");
  RowsTable unnamed("");
  unnamed.Open();
  EXPECT_THROW_MSG(unnamed.FieldByName("XYZ"), EDatabaseError, "Field 'XYZ' not found");
}

TEST(TDataSetTest, FieldValuesListsAndNullFields) {
  RowsTable t("t");
  t.Open();
  Variant both = t.FieldValues("cod_seg; valor");
  ASSERT_EQ(both.Type(), VarType::Array);
  ASSERT_EQ(both.Elements().size(), 2u);
  EXPECT_EQ(both.Elements()[0].Str(), "A");
  EXPECT_EQ(both.Elements()[1].Int(), 1);
  t.Next();
  EXPECT_TRUE(t.FieldByName("VALOR").IsNull());
  EXPECT_TRUE(t.FieldValues("VALOR").IsNull());
  EXPECT_EQ(t.FieldByName("VALOR").AsString(), "");  // no value: empty text, no error
  EXPECT_EQ(t.FieldByName("VALOR").AsFloat(), 0.0);
}

}  // namespace
}  // namespace tolk
