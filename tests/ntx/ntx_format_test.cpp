// The header layout, key texts and key order.
#include "ntx/ntx_format.h"

#include <gtest/gtest.h>

#include <random>

#include "dataset/number_format.h"
#include "ntx/key_compare.h"
#include "ntx/key_text.h"
#include "ntx/ntx_header.h"

namespace tolk {
namespace {

using namespace ntx;

TEST(NtxHeaderTest, WriteAndRereadKeepsEveryField) {
  std::array<std::uint8_t, kBlockSize> block;
  block.fill(0xEE);  // every byte not written must come back 0
  HeaderFields f;
  f.prefix = {kSignatureLater, 9, 3072, 5120};
  f.geometry = GeometryFor(20);
  f.keyDecimals = 2;
  f.keyExpr = "bilhete";
  f.forExpr = "ATIVO";
  f.unique = true;
  f.desc = true;
  f.orderName = "ORDEM";
  WriteHeader(f, block);

  EXPECT_EQ(coding::Load16(block, 0), 7);
  EXPECT_EQ(coding::Load16(block, 12), 28);
  EXPECT_EQ(coding::Load16(block, 18), 32);
  EXPECT_EQ(coding::Load16(block, 20), 16);
  EXPECT_EQ(block[278], 1);
  EXPECT_EQ(block[279], 0);
  EXPECT_EQ(block[281], 0);
  for (std::size_t i = 546; i < kBlockSize; ++i) ASSERT_EQ(block[i], 0) << i;

  HeaderFields r = ReadHeader(block);
  EXPECT_EQ(r.prefix.signature, 7);
  EXPECT_EQ(r.prefix.version, 9);
  EXPECT_EQ(r.prefix.root, 3072u);
  EXPECT_EQ(r.prefix.freePage, 5120u);
  EXPECT_EQ(r.geometry.keySize, 20);
  EXPECT_EQ(r.keyDecimals, 2);
  EXPECT_EQ(r.keyExpr, "bilhete");
  EXPECT_EQ(r.forExpr, "ATIVO");
  EXPECT_TRUE(r.unique);
  EXPECT_TRUE(r.desc);
  EXPECT_EQ(r.orderName, "ORDEM");
  EXPECT_EQ(GeometryProblem(r.geometry), "");
}

TEST(NtxHeaderTest, TextsAreCutToTheirFields) {
  std::array<std::uint8_t, kBlockSize> block{};
  HeaderFields f;
  f.keyExpr = std::string(300, 'x');
  WriteHeader(f, block);
  EXPECT_EQ(ReadHeader(block).keyExpr.size(), 255u);
  EXPECT_EQ(block[22 + 255], 0);
  EXPECT_EQ(block[282], 0) << "the key text must not run into the FOR text";

  WriteOrderName(block, "ABCDEFGHIJ");  // 8 kept, no terminator
  EXPECT_EQ(ReadOrderName(block), "ABCDEFGH");
  EXPECT_EQ(block[546], 0);
  WriteOrderName(block, "AB");
  EXPECT_EQ(ReadOrderName(block), "AB");
  WriteOrderName(block, "A\tB");  // a control character empties the name
  EXPECT_EQ(ReadOrderName(block), "");
}

TEST(NtxHeaderTest, GeometryOfForeignHeadersIsChecked) {
  EXPECT_EQ(GeometryProblem(GeometryFor(1)), "");
  EXPECT_EQ(GeometryProblem(GeometryFor(330)), "");
  EXPECT_NE(GeometryProblem(GeometryFor(331)), "");
  Geometry g = GeometryFor(10);
  g.maxItems = 600;  // the slots alone would overrun the page
  EXPECT_NE(GeometryProblem(g), "");
  g = GeometryFor(10);
  g.entrySize = 30;
  EXPECT_NE(GeometryProblem(g), "");
  g = GeometryFor(10);
  g.halfPage = 0;
  EXPECT_NE(GeometryProblem(g), "");
}

std::string Numeric(double v, int w, int d) {
  std::string s;
  NumericKeyText(v, w, d, s);
  return s;
}

TEST(KeyTextTest, NumericRule) {
  EXPECT_EQ(Numeric(3.4, 6, 2), "003.40");
  EXPECT_EQ(Numeric(-3.4, 6, 2), ",,).(,");
  EXPECT_EQ(Numeric(12345.6, 6, 2), "000.00");  // too wide: no sign either
  EXPECT_EQ(Numeric(-12345.6, 6, 2), "000.00");
  EXPECT_EQ(Numeric(0, 6, 2), "000.00");
  EXPECT_EQ(Numeric(2.675, 6, 2), "002.68");  // as printed: the 15-digit decimal form
  EXPECT_EQ(Numeric(42, 5, 0), "00042");
  EXPECT_EQ(Numeric(-9, 3, 0), ",,#");
  EXPECT_EQ(Numeric(1e20, 6, 0), "000000");
  // Negative keys order before non-negative ones, larger magnitudes first.
  EXPECT_LT(Numeric(-10, 5, 1), Numeric(-2, 5, 1));
  EXPECT_LT(Numeric(-2, 5, 1), Numeric(0, 5, 1));
  EXPECT_LT(Numeric(0, 5, 1), Numeric(3, 5, 1));
}

TEST(KeyTextTest, IntegerRule) {
  std::string s;
  IntegerKeyText(1234567890123, 15, s);
  EXPECT_EQ(s, "001234567890123");
  IntegerKeyText(-12, 4, s);
  EXPECT_EQ(s, ",,+*");
  IntegerKeyText(123456, 5, s);
  EXPECT_EQ(s, "00000");
  IntegerKeyText(INT64_MIN, 20, s);
  EXPECT_EQ(s.size(), 20u);
}

TEST(KeyTextTest, ResultKinds) {
  std::string s;
  KeyFieldInfo date{TFieldType::ftDate, 8, 8, 0};
  KeyTextOf(Variant::Date(EncodeDate(2017, 8, 1)), date, ' ', s);
  EXPECT_EQ(s, "20170801");
  KeyTextOf(Variant::Null(), date, ' ', s);
  EXPECT_EQ(s, "        ");
  KeyFieldInfo logical{TFieldType::ftBoolean, 1, 1, 0};
  KeyTextOf(Variant(true), logical, ' ', s);
  EXPECT_EQ(s, "T");
  KeyTextOf(Variant(false), logical, ' ', s);
  EXPECT_EQ(s, "F");
  KeyFieldInfo text{TFieldType::ftString, 10, 10, 0};
  KeyTextOf(Variant("AB        "), text, ' ', s);
  EXPECT_EQ(s, "AB        ");
  KeyTextOf(Variant(), text, '*', s);
  EXPECT_EQ(s, "**********");
  KeyFieldInfo wide{TFieldType::ftLargeint, 12, 12, 0};
  KeyTextOf(Variant(std::int64_t{-5}), wide, ' ', s);
  EXPECT_EQ(s, ",,,,,,,,,,,'");
}

int Cmp(const KeyOrder& o, const std::string& a, const std::string& b, std::size_t n) {
  return o.Compare(reinterpret_cast<const std::uint8_t*>(a.data()),
                   reinterpret_cast<const std::uint8_t*>(b.data()), n);
}

TEST(KeyCompareTest, BytesWithoutFoldingStoppingAtTheSecondKeysNul) {
  KeyOrder o;
  o.Configure({}, false);
  EXPECT_LT(Cmp(o, "ABC", "abc", 3), 0);
  EXPECT_GT(Cmp(o, "abc", "ABC", 3), 0);
  EXPECT_EQ(Cmp(o, "ABX", "ABY", 2), 0);                 // only L bytes take part
  EXPECT_GT(Cmp(o, std::string("\xE9", 1), "z", 1), 0);  // unsigned bytes
  EXPECT_EQ(Cmp(o, std::string("A\0X", 3), std::string("A\0Y", 3), 3), 0);
  EXPECT_LT(Cmp(o, std::string("A\0X", 3), "ABC", 3), 0);

  KeyOrder desc;
  desc.Configure({}, true);
  EXPECT_GT(Cmp(desc, "ABC", "abc", 3), 0);
  EXPECT_LT(desc.FirstByteRank('b'), desc.FirstByteRank('a'));
}

TEST(KeyCompareTest, WordAtATimeAgreesWithTheByteRule) {
  KeyOrder o;
  o.Configure({}, false);
  auto byteRule = [](const std::string& a, const std::string& b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x != y) return x < y ? -1 : 1;
      if (y == 0) break;
    }
    return 0;
  };
  std::mt19937 rng(5);
  const char alphabet[] = {'\0', 'A', 'B', '\x01', '\x80', '\xFF'};
  for (int k = 0; k < 20000; ++k) {
    const std::size_t n = 1 + rng() % 20;
    std::string a(n, 'A'), b(n, 'A');
    for (std::size_t i = 0; i < n; ++i) {
      a[i] = alphabet[rng() % 6];
      b[i] = rng() % 3 ? a[i] : alphabet[rng() % 6];
    }
    const int got = Cmp(o, a, b, n);
    ASSERT_EQ((got > 0) - (got < 0), byteRule(a, b, n)) << k;
  }
}

TEST(KeyCompareTest, CustomCollationWeighsBytes) {
  TXQCollation c;
  c.CollationType = TXQCollationTypes::cltCustom;
  // 'a' (97) weighs as 'A' (65): case-blind on that letter only.
  std::string seq;
  for (int i = 0; i < 256; ++i) seq += std::to_string(i == 97 ? 65 : i) + ";";
  c.CustomCollatingSequence = seq;
  KeyOrder o;
  o.Configure(c, false);
  EXPECT_EQ(Cmp(o, "aB", "AB", 2), 0);
  EXPECT_LT(Cmp(o, "aB", "b", 1), 0);
  EXPECT_EQ(o.FirstByteRank('a'), o.FirstByteRank('A'));

  c.CollationType = static_cast<TXQCollationTypes>(25);  // 20 and above weigh as none
  o.Configure(c, false);
  EXPECT_FALSE(o.Weighted());
}

}  // namespace
}  // namespace tolk
