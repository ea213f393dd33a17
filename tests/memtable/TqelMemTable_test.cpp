#include "memtable/TqelMemTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <iterator>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "dataset/Exceptions.h"
#include "memtable/EMemTableError.h"
#include "memtable/collation.h"
#include "test_support.h"

namespace tolk {
namespace {

using TFT = TFieldType;

// The dictionary's domain table: one row per admissible value.
void DefineAnexos(TqelMemTable& t) {
  t.FieldDefs.Clear();
  t.FieldDefs.Add("tabela", TFT::ftInteger, 0, false);
  t.FieldDefs.Add("campo", TFT::ftInteger, 0, false);
  t.FieldDefs.Add("valor1", TFT::ftString, 5, false);
  t.FieldDefs.Add("valor2", TFT::ftString, 7, false);
  t.IndexDefs.Clear();
  t.IndexDefs.Add("index1", "tabela;campo;valor1;valor2");
  t.CreateTable();
  t.Open();
  t.SetIndexName("index1");
}

// A field list in the shape of the dictionary's field table, with two indexes.
void DefineEstrut(TqelMemTable& t) {
  t.FieldDefs.Clear();
  t.FieldDefs.Add("tabela", TFT::ftInteger);
  t.FieldDefs.Add("campo", TFT::ftString, 10);
  t.FieldDefs.Add("erroDom", TFT::ftInteger);
  t.FieldDefs.Add("ordem", TFT::ftInteger);
  t.FieldDefs.Add("total", TFT::ftFloat);
  t.IndexDefs.Clear();
  t.IndexDefs.Add("index1", "tabela;campo");
  t.IndexDefs.Add("index2", "tabela;ordem");
  t.CreateTable();
  t.Open();
}

void AddRow(TqelMemTable& t, std::initializer_list<Variant> values) {
  t.Append();
  int i = 0;
  for (const Variant& v : values) t.Fields()[i++].SetAsVariant(v);
  t.Post();
}

// The walk from First, one "a,b,..." text per record over the named fields.
std::vector<std::string> Walk(TqelMemTable& t, std::vector<std::string> names) {
  std::vector<std::string> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    std::string row;
    for (const std::string& n : names)
      row += (row.empty() ? "" : ",") + t.FieldByName(n).AsString();
    rows.push_back(row);
  }
  return rows;
}

TEST(TqelMemTableTest, WalksFollowTheCurrentIndex) {
  TqelMemTable t("qelEstrutTab");
  DefineEstrut(t);
  EXPECT_TRUE(t.Bof() && t.Eof());
  AddRow(t, {2, "B", 0, 1});
  AddRow(t, {1, "Z", 0, 1});
  AddRow(t, {2, "A", 0, 2});
  AddRow(t, {1, "Y", 0, 2});
  EXPECT_EQ(t.RecordCount(), 4);

  // No index chosen yet: insertion order.
  EXPECT_EQ(Walk(t, {"tabela", "ordem"}), (std::vector<std::string>{"2,1", "1,1", "2,2", "1,2"}));
  t.SetIndexName("index2");
  EXPECT_EQ(Walk(t, {"tabela", "ordem"}), (std::vector<std::string>{"1,1", "1,2", "2,1", "2,2"}));
  t.SetIndexName("INDEX1");  // names ignore letter case
  EXPECT_EQ(t.IndexName(), "index1");
  EXPECT_EQ(Walk(t, {"tabela", "campo"}), (std::vector<std::string>{"1,Y", "1,Z", "2,A", "2,B"}));
  t.SetIndexName("index9");  // unknown: the current index stays
  EXPECT_EQ(t.IndexName(), "index1");
  EXPECT_EQ(Walk(t, {"campo"}), (std::vector<std::string>{"Y", "Z", "A", "B"}));

  // Switching keeps the current record, and a walk goes on from it.
  ASSERT_TRUE(t.FindKey({1, "Z"}));
  t.SetIndexName("index2");
  EXPECT_EQ(t.FieldByName("campo").AsString(), "Z");
  t.Next();
  EXPECT_EQ(t.FieldByName("campo").AsString(), "Y");
  t.Next();
  t.Next();
  t.Next();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.FieldByName("campo").AsString(), "A");  // the last record stays current
  t.SetIndexName("");
  EXPECT_EQ(Walk(t, {"campo"}), (std::vector<std::string>{"B", "Z", "A", "Y"}));
}

TEST(TqelMemTableTest, FindKeyComparesWholeTextsWithCaseAndTrailingBlanks) {
  TqelMemTable t("qelAnexos");
  DefineAnexos(t);
  EXPECT_FALSE(t.FindKey({1, 2, "A    ", "X      "}));  // empty table
  AddRow(t, {1, 2, "A    ", "X      "});
  AddRow(t, {1, 2, "A", "X"});
  AddRow(t, {1, 3, "a    ", "X      "});

  EXPECT_TRUE(t.FindKey({1, 2, "A    ", "X      "}));
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_TRUE(t.FindKey({1, 2, "A", "X"}));
  EXPECT_EQ(t.RecNo(), 2);
  EXPECT_FALSE(t.FindKey({1, 2, "A", "X      "}));
  EXPECT_FALSE(t.FindKey({1, 2, "a    ", "X      "}));
  EXPECT_FALSE(t.FindKey({1, 2, "A  ", "X      "}));
  EXPECT_FALSE(t.FindKey({1, 3, "A    ", "X      "}));
  EXPECT_EQ(t.RecNo(), 2);  // a miss leaves the cursor alone
  EXPECT_FALSE(t.Bof() || t.Eof());

  // Fewer values than key fields: the first record in index order with them.
  EXPECT_TRUE(t.FindKey({1, 2}));
  EXPECT_EQ(t.FieldByName("valor1").AsString(), "A");
  // Numeric text for an integer field.
  EXPECT_TRUE(t.FindKey({Variant(std::int32_t{1}), Variant("3")}));
  EXPECT_EQ(t.RecNo(), 3);
}

TEST(TqelMemTableTest, ValuesAreConvertedAndCutToTheFieldSize) {
  TqelMemTable t("qelAnexos");
  DefineAnexos(t);
  AddRow(t, {Variant("7"), 2.0, "ABCDEFG", 1234567890});
  t.First();
  EXPECT_EQ(t.FieldByName("tabela").AsVariant().Int(), 7);
  EXPECT_EQ(t.FieldByName("campo").AsVariant().Int(), 2);
  EXPECT_EQ(t.FieldByName("valor1").AsString(), "ABCDE");
  EXPECT_EQ(t.FieldByName("valor2").AsString(), "1234567");

  for (int i = 0; i < 30; ++i) AddRow(t, {8, i, "V", "W"});  // large enough to bisect
  EXPECT_TRUE(t.FindKey({7, 2, "ABCDEXY", 12345678}));
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_FALSE(t.FindKey({7, 2, "ABCDF"}));

  // A value that does not convert changes nothing.
  t.Edit();
  EXPECT_THROW(t.FieldByName("tabela").SetAsVariant("abc"), EVariantError);
  EXPECT_EQ(t.FieldByName("tabela").AsVariant().Int(), 7);
  t.Cancel();
  EXPECT_THROW(t.FindKey({"abc"}), EVariantError);
}

TEST(TqelMemTableTest, NullFields) {
  TqelMemTable t("qelEstrutTab");
  DefineEstrut(t);
  AddRow(t, {1, "A", 5, 1, 2.5});
  t.Edit();
  t.FieldByName("erroDom").SetAsVariant(Variant::Null());
  t.Post();
  t.Append();
  t.FieldByName("tabela").SetAsVariant(1);
  t.Post();

  t.SetIndexName("index1");
  t.First();  // the record without campo sorts first
  EXPECT_TRUE(t.FieldByName("campo").IsNull());
  EXPECT_TRUE(t.FieldByName("total").AsVariant().IsNull());
  EXPECT_EQ(t.FieldByName("ordem").AsString(), "");
  t.Next();
  EXPECT_TRUE(t.FieldByName("erroDom").IsNull());
  EXPECT_TRUE(t.FieldByName("erroDom").AsVariant().IsNull());
  EXPECT_EQ(t.FieldByName("total").AsVariant().Dbl(), 2.5);
}

TEST(TqelMemTableTest, EditAndPostKeepTheIndexesInStep) {
  TqelMemTable t("qelEstrutTab");
  DefineEstrut(t);
  for (int tab = 3; tab >= 1; --tab)
    for (int ord = 1; ord <= 10; ++ord) AddRow(t, {tab, "C" + std::to_string(ord), 0, ord, 0.0});
  t.SetIndexName("index2");
  const std::vector<std::string> order = Walk(t, {"tabela", "ordem"});

  // A counter raised in place: same key, same walk.
  for (int round = 1; round <= 3; ++round) {
    ASSERT_TRUE(t.FindKey({2, 7}));
    t.Edit();
    t.FieldByName("erroDom").SetAsVariant(t.FieldByName("erroDom").AsVariant().Int() + 1);
    t.Post();
    EXPECT_EQ(t.FieldByName("ordem").AsString(), "7");
  }
  ASSERT_TRUE(t.FindKey({2, 7}));
  EXPECT_EQ(t.FieldByName("erroDom").AsString(), "3");
  EXPECT_EQ(Walk(t, {"tabela", "ordem"}), order);

  // A changed key moves the record in every index it belongs to, and a walk
  // goes on from its new place.
  ASSERT_TRUE(t.FindKey({2, 7}));
  t.Edit();
  t.FieldByName("ordem").SetAsVariant(11);
  t.FieldByName("campo").SetAsVariant("A0");
  t.Post();
  t.Next();
  EXPECT_EQ(t.FieldByName("tabela").AsString() + "," + t.FieldByName("ordem").AsString(), "3,1");
  EXPECT_FALSE(t.FindKey({2, 7}));
  EXPECT_TRUE(t.FindKey({2, 11}));
  t.SetIndexName("index1");
  EXPECT_TRUE(t.FindKey({2, "A0"}));
  EXPECT_FALSE(t.FindKey({2, "C7"}));
  const std::vector<std::string> byName = Walk(t, {"tabela", "campo"});
  ASSERT_EQ(byName.size(), 30u);
  EXPECT_EQ(byName[10], "2,A0");
  EXPECT_EQ(byName[11], "2,C1");
}

TEST(TqelMemTableTest, PendingRecords) {
  TqelMemTable t("qelTabelas");
  t.FieldDefs.Add("ordem", TFT::ftInteger, 0, true);
  t.FieldDefs.Add("tabela", TFT::ftString, 20);
  t.IndexDefs.Add("index1", "tabela");
  t.Open();  // creates the table from its definitions
  t.SetIndexName("index1");
  AddRow(t, {1, "RISCOS"});

  // Moving away posts a written record and drops an untouched one.
  t.Append();
  EXPECT_EQ(t.RecNo(), 0);
  EXPECT_TRUE(t.FieldByName("tabela").IsNull());
  t.First();
  EXPECT_EQ(t.RecordCount(), 1);
  t.Append();
  t.FieldByName("ordem").SetAsVariant(2);
  t.FieldByName("tabela").SetAsVariant("ANEXOS");
  EXPECT_TRUE(t.FindKey({"RISCOS"}));
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(Walk(t, {"tabela"}), (std::vector<std::string>{"ANEXOS", "RISCOS"}));

  t.Edit();
  t.FieldByName("tabela").SetAsVariant("SINISTROS");
  t.Cancel();
  EXPECT_EQ(t.FieldByName("tabela").AsString(), "RISCOS");

  t.Append();
  t.FieldByName("tabela").SetAsVariant("X");
  EXPECT_THROW_MSG(t.Post(), EDatabaseError, "qelTabelas: Field 'ordem' must have a value");
  t.Cancel();
  EXPECT_THROW_MSG(t.FieldByName("ordem").SetAsVariant(3), EDatabaseError,
                   "qelTabelas: Dataset not in edit or insert mode");
  EXPECT_EQ(t.RecordCount(), 2);
}

TEST(TqelMemTableTest, CreateTableEmptiesAFilledTable) {
  TqelMemTable t("qelAnexos");
  DefineAnexos(t);
  for (int i = 0; i < 40; ++i) AddRow(t, {1, i, "A", "B"});
  t.CreateTable();
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.IndexName(), "");
  t.Open();
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_TRUE(t.Bof() && t.Eof());
  EXPECT_TRUE(t.FieldByName("valor1").IsNull());
  t.SetIndexName("index1");
  EXPECT_FALSE(t.FindKey({1, 5, "A", "B"}));

  // Closing keeps the records; a new structure replaces the fields.
  AddRow(t, {1, 5, "A", "B"});
  t.Close();
  t.Open();
  EXPECT_EQ(t.RecordCount(), 1);
  t.FieldDefs.Clear();
  t.FieldDefs.Add("nome", TFT::ftString, 3);
  t.IndexDefs.Clear();
  t.CreateTable();
  EXPECT_EQ(t.FieldCount(), 1);
  EXPECT_EQ(t.FieldByName("NOME").Size(), 3);
  EXPECT_EQ(t.FindField("valor1"), nullptr);
}

TEST(TqelMemTableTest, Errors) {
  TqelMemTable t("qelAnexos");
  for (int i = 0; i < 256; ++i) t.FieldDefs.Add("f" + std::to_string(i), TFT::ftInteger);
  t.CreateTable();
  EXPECT_EQ(t.FieldCount(), 256);
  t.FieldDefs.Add("f256", TFT::ftInteger);
  EXPECT_THROW_MSG(t.CreateTable(), EMemTableError,
                   "Too many fields: 257 defined, a memory table holds at most 256");

  t.FieldDefs.Clear();
  t.FieldDefs.Add("tabela", TFT::ftInteger);
  t.IndexDefs.Add("index1", " ; ");
  EXPECT_THROW_MSG(t.CreateTable(), EMemTableError, "Missing Name or FieldNames in IndexDef!");
  t.IndexDefs.Clear();
  t.IndexDefs.Add("", "tabela");
  EXPECT_THROW_MSG(t.CreateTable(), EMemTableError, "Missing Name or FieldNames in IndexDef!");
  t.IndexDefs.Clear();
  t.IndexDefs.Add("index1", "tabela;campo");
  EXPECT_THROW_MSG(t.CreateTable(), EDatabaseError, "qelAnexos: Field 'campo' not found");
  t.IndexDefs.Clear();
  t.FieldDefs.Add("data", TFT::ftDate);
  EXPECT_THROW(t.CreateTable(), EMemTableError);

  TqelMemTable a("qelAnexos");
  DefineAnexos(a);
  a.Close();
  EXPECT_THROW_MSG(a.FindKey({1}), EDatabaseError,
                   "qelAnexos: Cannot perform this operation on a closed dataset");
  a.Open();
  a.SetIndexName("");
  EXPECT_THROW_MSG(a.FindKey({1}), EMemTableError, "There must be at least one field");
  a.SetIndexName("index1");
  EXPECT_THROW_MSG(a.FindKey({}), EMemTableError, "There must be at least one field");
  EXPECT_THROW(a.FindKey({1, 2, "A", "B", "C"}), EMemTableError);
  EXPECT_THROW_MSG(a.Edit(), EDatabaseError,
                   "qelAnexos: Cannot perform this operation on an empty dataset");
}

// ---- Searches and walks against a brute-force model --------------------------

// A model row: std::monostate for a field without value.
using Cell = std::variant<std::monostate, int, std::string>;
using Row = std::array<Cell, 4>;

Variant ToVariant(const Cell& c) {
  if (const int* i = std::get_if<int>(&c)) return *i;
  if (const std::string* s = std::get_if<std::string>(&c)) return *s;
  return Variant::Null();
}

Cell FromField(const TField& f) {
  if (f.IsNull()) return {};
  const Variant v = f.AsVariant();
  if (v.Type() == VarType::Integer) return v.Int();
  return v.Str();
}

// The index order on the first `fields` fields: no value first, integers by
// value, texts by the collation.
int CompareRows(const Row& a, const Row& b, int fields) {
  for (int i = 0; i < fields; ++i) {
    const Cell& x = a[static_cast<std::size_t>(i)];
    const Cell& y = b[static_cast<std::size_t>(i)];
    if (x.index() != y.index()) return x.index() == 0 ? -1 : 1;
    int c = 0;
    if (const int* xi = std::get_if<int>(&x))
      c = *xi < std::get<int>(y) ? -1 : (*xi > std::get<int>(y) ? 1 : 0);
    if (const std::string* xs = std::get_if<std::string>(&x))
      c = CompareCollated(*xs, std::get<std::string>(y));
    if (c) return c;
  }
  return 0;
}

// Integers that meet the edges of the entry summaries (INT32_MIN and a
// missing value share one summary word), and texts that tie at every
// collation level but the last somewhere: case, trailing blanks, accents,
// values longer than the field.
Cell RandomInt(std::mt19937& rng) {
  static const int values[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, 2, 2, 2, INT32_MAX};
  if (rng() % 8 == 0) return {};
  return values[rng() % std::size(values)];
}

Cell RandomText(std::mt19937& rng, std::size_t width) {
  static const std::string alphabet = "aAbB \xE1\xC1";
  if (rng() % 8 == 0) return {};
  std::string s(rng() % (width + 3), ' ');
  for (char& c : s) c = alphabet[rng() % alphabet.size()];
  return s;
}

Row RandomRow(std::mt19937& rng) {
  return {RandomInt(rng), RandomInt(rng), RandomText(rng, 5), RandomText(rng, 7)};
}

// The row as the table stores it: texts cut to the field sizes.
Row Stored(Row r) {
  for (std::size_t i = 2; i < 4; ++i)
    if (auto* s = std::get_if<std::string>(&r[i]))
      s->resize(std::min<std::size_t>(s->size(), i == 2 ? 5 : 7));
  return r;
}

Row Current(const TqelMemTable& t) {
  return {FromField(t.Fields()[0]), FromField(t.Fields()[1]), FromField(t.Fields()[2]),
          FromField(t.Fields()[3])};
}

// The record a search must land on: the first by (key, insertion number) whose
// first `fields` values equal the key; -1 when none does.
int ModelFind(const std::vector<Row>& rows, const Row& key, int fields) {
  int best = -1;
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    if (CompareRows(rows[static_cast<std::size_t>(i)], key, fields) != 0) continue;
    if (best < 0 ||
        CompareRows(rows[static_cast<std::size_t>(i)], rows[static_cast<std::size_t>(best)], 4) < 0)
      best = i;
  }
  return best;
}

// The record after record `recno` in index order; -1 at the end.
int ModelNext(const std::vector<Row>& rows, int recno) {
  auto after = [&](int a, int b) {  // a after b
    const int c =
        CompareRows(rows[static_cast<std::size_t>(a)], rows[static_cast<std::size_t>(b)], 4);
    return c > 0 || (c == 0 && a > b);
  };
  int best = -1;
  for (int i = 0; i < static_cast<int>(rows.size()); ++i)
    if (after(i, recno) && (best < 0 || after(best, i))) best = i;
  return best;
}

// A posted record stays current, and a walk goes on from its place.
void ExpectWalkGoesOnAfterPost(TqelMemTable& t, const std::vector<Row>& rows) {
  const int recno = t.RecNo() - 1;
  ASSERT_EQ(Current(t), rows[static_cast<std::size_t>(recno)]);
  const int next = ModelNext(rows, recno);
  t.Next();
  ASSERT_EQ(t.Eof(), next < 0);
  if (next >= 0) {
    ASSERT_EQ(t.RecNo(), next + 1);
  }
}

void CheckAgainstModel(TqelMemTable& t, const std::vector<Row>& rows, std::mt19937& rng) {
  // The walk visits every record once, in key order, equal keys in insertion order.
  std::vector<int> seen;
  Row prev;
  for (t.First(); !t.Eof(); t.Next()) {
    const Row r = Current(t);
    ASSERT_EQ(r, rows[static_cast<std::size_t>(t.RecNo() - 1)]);
    if (!seen.empty()) {
      const int c = CompareRows(prev, r, 4);
      ASSERT_TRUE(c < 0 || (c == 0 && seen.back() < t.RecNo()));
    }
    prev = r;
    seen.push_back(t.RecNo());
  }
  ASSERT_EQ(seen.size(), rows.size());

  for (int q = 0; q < 400; ++q) {
    const Row key = (q % 2 == 0 && !rows.empty()) ? rows[rng() % rows.size()] : RandomRow(rng);
    const int fields = 1 + static_cast<int>(rng() % 4);
    const int before = t.RecNo();
    const int expected = ModelFind(rows, Stored(key), fields);
    std::vector<Variant> values;
    for (int i = 0; i < fields; ++i) values.push_back(ToVariant(key[static_cast<std::size_t>(i)]));
    const bool found = t.FindKey(values);
    ASSERT_EQ(found, expected >= 0) << q;
    ASSERT_EQ(t.RecNo(), found ? expected + 1 : before) << q;
  }
}

TEST(TqelMemTableTest, SearchesAndWalksAgreeWithABruteForceModel) {
  std::mt19937 rng(2024);
  // Around the scan/bisect threshold and across several blocks of an index.
  for (int size : {0, 1, 20, 21, 1500}) {
    SCOPED_TRACE(size);
    TqelMemTable t("qelAnexos");
    DefineAnexos(t);
    std::vector<Row> rows;
    for (int i = 0; i < size; ++i) {
      const Row r = RandomRow(rng);
      AddRow(t, {ToVariant(r[0]), ToVariant(r[1]), ToVariant(r[2]), ToVariant(r[3])});
      rows.push_back(Stored(r));
      if (i % 7 == 0) ExpectWalkGoesOnAfterPost(t, rows);
    }
    CheckAgainstModel(t, rows, rng);

    // Edits that move records within the index, then the same checks.
    for (int e = 0; e < size / 3; ++e) {
      const Row& old = rows[rng() % rows.size()];
      ASSERT_TRUE(
          t.FindKey({ToVariant(old[0]), ToVariant(old[1]), ToVariant(old[2]), ToVariant(old[3])}));
      const Row r = RandomRow(rng);
      Row& edited = rows[static_cast<std::size_t>(t.RecNo() - 1)];
      t.Edit();
      t.FieldByName("campo").SetAsVariant(ToVariant(r[1]));
      t.FieldByName("valor2").SetAsVariant(ToVariant(r[3]));
      t.Post();
      edited[1] = r[1];
      edited[3] = Stored(r)[3];
      ExpectWalkGoesOnAfterPost(t, rows);
    }
    CheckAgainstModel(t, rows, rng);
  }
}

}  // namespace
}  // namespace tolk
