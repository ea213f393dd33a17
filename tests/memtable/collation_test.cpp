#include "memtable/collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tolk {
namespace {

bool Before(const std::string& a, const std::string& b) { return CompareCollated(a, b) < 0; }

TEST(CompareCollatedTest, SortsMixedCaseAndAccentedNamesLikeADesktopUser) {
  // Windows-1252 bytes: \xE7 c cedilla, \xE3 a tilde, \xC1 A acute, \xE9 e acute,
  // \xC9 E acute, \xF1 n tilde, \xD1 N tilde.
  const std::vector<std::string> expected = {
      "1 LUGAR",         // digits before letters
      "abc",     "ABD",  // case does not count before the letters do
      "acao",    "Acao",      "ACAO",    "a\xE7\xE3o", "A\xE7\xE3o", "A\xC7\xC3O",
      "alvaro",  "\xC1lvaro",
      "COD_SEG",             // a symbol sorts before every letter
      "CODIGO",  "CODIGO ",  // a trailing blank makes a longer text
      "jose",    "Jose",      "jos\xE9", "Jos\xE9",    "JOS\xC9",    "nino",
      "ni\xF1o", "NI\xD1O",   "ze",      "z\xE9",      "Z\xE9",      "zebra",
  };
  std::vector<std::string> names = expected;
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::shuffle(names.begin(), names.end(), rng);
    std::sort(names.begin(), names.end(), Before);
    ASSERT_EQ(names, expected);
  }
}

TEST(CompareCollatedTest, UpperCaseAsciiNamesSortAlphabetically) {
  std::vector<std::string> names = {"SINISTROS", "RISCOS", "ANEXOS", "TABELAS",
                                    "RISCO",     "A",      "AB",     "B"};
  std::vector<std::string> bytes = names;
  std::sort(names.begin(), names.end(), Before);
  std::sort(bytes.begin(), bytes.end());
  EXPECT_EQ(names, bytes);
}

TEST(CompareCollatedTest, EqualOnlyForIdenticalBytes) {
  EXPECT_EQ(CompareCollated("", ""), 0);
  EXPECT_EQ(CompareCollated("A    ", "A    "), 0);
  EXPECT_LT(CompareCollated("A", "A    "), 0);
  EXPECT_GT(CompareCollated("a    ", "A"), 0);
  EXPECT_LT(CompareCollated("a    ", "A    "), 0);
  // Every pair of distinct single bytes differs, in one direction only.
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) {
      const std::string a(1, static_cast<char>(x)), b(1, static_cast<char>(y));
      const int c = CompareCollated(a, b);
      ASSERT_EQ(c == 0, x == y) << x << " " << y;
      ASSERT_EQ(c, -CompareCollated(b, a)) << x << " " << y;
    }
}

TEST(CompareCollatedTest, IsATotalOrderOnRandomTexts) {
  // Texts over letters that tie at the first levels (case, accents, blanks),
  // so that every level has to decide somewhere.
  const std::string alphabet = std::string("aAbB \xE1\xC1\xE3\xE7\xC7_1\xB9\xFF\x01", 15) + '\0';
  std::mt19937 rng(11);
  std::vector<std::string> texts;
  for (int i = 0; i < 400; ++i) {
    std::string s(rng() % 5, ' ');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    texts.push_back(s);
  }
  std::sort(texts.begin(), texts.end(), Before);
  for (std::size_t i = 0; i < texts.size(); ++i)
    for (std::size_t j = i; j < texts.size(); ++j) {
      const int c = CompareCollated(texts[i], texts[j]);
      ASSERT_LE(c, 0) << i << " " << j;
      ASSERT_EQ(c == 0, texts[i] == texts[j]);
      // The prefix that index entries carry never contradicts the order.
      ASSERT_LE(CollatedPrefix(texts[i]), CollatedPrefix(texts[j])) << i << " " << j;
    }
}

}  // namespace
}  // namespace tolk
